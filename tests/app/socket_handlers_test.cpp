#include "app/socket_handlers.h"

#include "socket_fixture.h"
#include "support/frames.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <string>
#include <vector>

namespace noxa {
namespace {

using test::MakeFrame;
using ::testing::ElementsAre;
using ::testing::Pair;
using ::testing::UnorderedElementsAre;
using SocketHandlersTest = test::SocketFixture;

TEST_F(SocketHandlersTest, ConnectionEventsWriteTheirLogLines) {
    ASSERT_TRUE(net.ConnectAll());
    EXPECT_TRUE(state.linkOpen);
    const std::vector<std::string> log = Log();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[0], "09/04/2023 22:00:05  Connecting... ");
    // The four links connect in any order.
    EXPECT_THAT(std::vector<std::string>(log.begin() + 1, log.end()),
                UnorderedElementsAre(
                    "09/04/2023 22:00:05 Connected 1 ok", "09/04/2023 22:00:05 Conectado 2 ok",
                    "09/04/2023 22:00:05 Conectado 3 ok", "09/04/2023 22:00:05 Conectado 4 ok"));

    // The instrument closing a link is a disconnect, not an error.
    form.ClearLog();
    for (QTcpSocket* peer : net.peers) peer->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.LogLines().size() == 4; }, 10000));
    EXPECT_THAT(form.LogLines(), UnorderedElementsAre("  Socket 1 Cerrado", "  Socket 2 Cerrado",
                                                      "  Socket 3 Cerrado", "  Socket 4 Cerrado"));
    EXPECT_TRUE(state.linkOpen);  // a disconnect leaves the link state alone
}

TEST_F(SocketHandlersTest, AnErrorOnSocket1ClosesTheLink) {
    state.linkOpen = true;
    net.Close(1);
    sockets.Open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return LogCount(" Socket error 1") > 0; }, 10000));
    EXPECT_FALSE(state.linkOpen);
    EXPECT_EQ(Log()[0], "09/04/2023 22:00:05  Connecting... ");
    EXPECT_EQ(LogCount(" Socket error 1"), 1);
    EXPECT_EQ(LogCount("  Socket 1 Cerrado"), 0);  // it never connected
}

TEST_F(SocketHandlersTest, AnErrorOnAChannelSocketLeavesTheLinkAlone) {
    net.Close(3);
    sockets.Open();
    ASSERT_TRUE(net.AwaitConnection(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return LogCount("  Error Socket 3") > 0; }, 10000));
    EXPECT_TRUE(state.linkOpen);
    EXPECT_EQ(LogCount("  Error Socket 3"), 1);
    EXPECT_EQ(LogCount(" Socket error 1"), 0);
}

TEST_F(SocketHandlersTest, Socket1LogsEachReadUpTo2000CharactersAndCallsMoreNoise) {
    ASSERT_TRUE(net.ConnectAll());
    form.ClearLog();
    net.SendFromPeer(1, std::string(2000, 'x'));
    ASSERT_TRUE(AwaitLogLine("Red  2000"));

    const std::uint32_t ringWrite = framing.Framing().RingWrite();
    handlers.ClientSocket1Read(std::string(2001, 'x'));
    // A read that is taken asks for a record before its log line; noise asks nothing.
    EXPECT_THAT(form.LogLines(), ElementsAre("record due?", "Red  2000", "Ruido "));
    EXPECT_EQ(recordRequests, 1);
    EXPECT_EQ(framing.Framing().RingWrite(), ringWrite);
}

TEST_F(SocketHandlersTest, Socket1TextGoesThroughTheSerialFramingAsSocketReports) {
    ASSERT_TRUE(net.ConnectAll());
    const std::string frame = MakeFrame(250);
    for (int i = 0; i < 12; ++i) readings.Tick();
    net.SendFromPeer(1, "noise" + frame.substr(0, 100));
    ASSERT_TRUE(AwaitLogLine("Red  105"));
    EXPECT_EQ(readings.TicksSinceReport(), 0);
    net.SendFromPeer(1, frame.substr(100) + MakeFrame(230, 'b'));
    ASSERT_TRUE(QTest::qWaitFor([&] { return reports.size() == 2; }, 10000));
    EXPECT_THAT(reports, ElementsAre(Pair(frame, ReportSource::Socket),
                                     Pair(MakeFrame(230, 'b'), ReportSource::Socket)));

    // Bytes parsed by anything else afterwards are the serial line's again.
    framing.Framing().AppendAndParse(MakeFrame(240, 'c'));
    EXPECT_EQ(reports.back().second, ReportSource::Serial);
}

TEST_F(SocketHandlersTest, ChannelSocketsFillTheirOwnRings) {
    ASSERT_TRUE(net.ConnectAll());
    std::string text;
    for (int i = 0; i < 350; ++i) text += static_cast<char>('A' + i % 26);
    net.SendFromPeer(2, text);
    ASSERT_TRUE(QTest::qWaitFor([&] { return handlers.Ring(2).pending == 350; }, 10000));
    const ChannelRing& red = handlers.Ring(2);
    EXPECT_EQ(red.write, 50u);
    // Positions 0 to 49 hold the last 50 bytes; the rest still the bytes 50 to 299.
    EXPECT_EQ(std::string(red.bytes.data(), 50), text.substr(300));
    EXPECT_EQ(std::string(red.bytes.data() + 50, 250), text.substr(50, 250));

    net.SendFromPeer(4, "blue");
    ASSERT_TRUE(QTest::qWaitFor([&] { return handlers.Ring(4).pending == 4; }, 10000));
    EXPECT_EQ(handlers.Ring(4).write, 4u);
    EXPECT_EQ(handlers.Ring(3).pending, 0u);
    EXPECT_EQ(handlers.Ring(2).pending, 350u);
    EXPECT_EQ(framing.Framing().RingPending(), 0u);
    EXPECT_EQ(framing.Framing().RingWrite(), 0u);
}

TEST_F(SocketHandlersTest, ChannelReadsOver2000CharactersAreNoise) {
    ASSERT_TRUE(net.ConnectAll());
    form.ClearLog();
    net.SendFromPeer(4, std::string(2001, 'n'));
    ASSERT_TRUE(AwaitLogLine("Ruido en Blue"));
    EXPECT_EQ(handlers.Ring(4).pending, 0u);

    // The other two channels name their colours.
    handlers.ChannelSocketRead(2, std::string(2001, 'n'));
    handlers.ChannelSocketRead(3, std::string(2001, 'n'));
    handlers.ChannelSocketRead(3, std::string(2000, 'n'));
    EXPECT_THAT(form.LogLines(), ElementsAre("Ruido en Blue", "Ruido en Rojo", "Ruido en Green"));
    EXPECT_EQ(handlers.Ring(3).pending, 2000u);
}

TEST_F(SocketHandlersTest, APeerThatResetsSocket1ClosesTheLink) {
    sockets.Open();
    ASSERT_TRUE(net.AwaitConnection(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return state.linkOpen; }, 10000));
    const linger reset{1, 0};
    ::setsockopt(static_cast<int>(net.peers[0]->socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset,
                 sizeof reset);
    net.peers[0]->abort();
    net.peers[0] = nullptr;
    // A reset is an error: the commands must not go out on a link that is gone.
    ASSERT_TRUE(QTest::qWaitFor([&] { return LogCount(" Socket error 1") == 1; }, 10000));
    EXPECT_FALSE(state.linkOpen);
    // The next connect operation opens the link again.
    sockets.Open();
    ASSERT_TRUE(net.AwaitConnection(1));
    EXPECT_TRUE(QTest::qWaitFor([&] { return state.linkOpen; }, 10000));
}

}  // namespace
}  // namespace noxa
