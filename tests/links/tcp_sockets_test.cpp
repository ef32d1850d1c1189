#include "links/tcp_sockets.h"

#include "frames.h"
#include "tcp_fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <string>

namespace noxa {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;
using TcpSocketsTest = test::TcpFixture;

TEST_F(TcpSocketsTest, ConnectionEventsWriteTheirLogLines) {
    ASSERT_TRUE(ConnectAll());
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
    for (QTcpSocket* peer : peers) peer->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.LogLines().size() == 4; }, 10000));
    EXPECT_THAT(form.LogLines(), UnorderedElementsAre("  Socket 1 Cerrado", "  Socket 2 Cerrado",
                                                      "  Socket 3 Cerrado", "  Socket 4 Cerrado"));
    EXPECT_TRUE(state.linkOpen);  // a disconnect leaves the link state alone
}

TEST_F(TcpSocketsTest, AnErrorOnSocket1ClosesTheLink) {
    state.linkOpen = true;
    std::array<quint16, 4> ports = sockets.Ports();
    ports[0] = ClosedPort();
    sockets.SetPorts(ports);
    sockets.Open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return LogCount(" Socket error 1") > 0; }, 10000));
    EXPECT_FALSE(state.linkOpen);
    EXPECT_EQ(Log()[0], "09/04/2023 22:00:05  Connecting... ");
    EXPECT_EQ(LogCount(" Socket error 1"), 1);
    EXPECT_EQ(LogCount("  Socket 1 Cerrado"), 0);  // it never connected
}

TEST_F(TcpSocketsTest, APeerThatResetsSocket1ClosesTheLinkUntilTheNextConnect) {
    sockets.Open();
    ASSERT_TRUE(AwaitConnection(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return state.linkOpen; }, 10000));
    // The instrument's end drops the connection with a reset, not a polite close.
    QTcpSocket* peer = peers[0];
    const linger reset{1, 0};
    ::setsockopt(static_cast<int>(peer->socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset,
                 sizeof reset);
    peer->abort();
    peers[0] = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return sockets.ClientSocket(1).state() == QAbstractSocket::UnconnectedState; },
        10000));
    // A reset is an error: the commands must not go out on a link that is gone.
    EXPECT_EQ(LogCount(" Socket error 1"), 1);
    EXPECT_FALSE(state.linkOpen);
    // The handlers reconnect nothing; the next connect operation opens the link again.
    sockets.Open();
    ASSERT_TRUE(AwaitConnection(1));
    EXPECT_TRUE(QTest::qWaitFor([&] { return state.linkOpen; }, 10000));
}

TEST_F(TcpSocketsTest, AnErrorOnAChannelSocketLeavesTheLinkAlone) {
    std::array<quint16, 4> ports = sockets.Ports();
    ports[2] = ClosedPort();
    sockets.SetPorts(ports);
    sockets.Open();
    ASSERT_TRUE(AwaitConnection(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return LogCount("  Error Socket 3") > 0; }, 10000));
    EXPECT_TRUE(state.linkOpen);
    EXPECT_EQ(LogCount("  Error Socket 3"), 1);
    EXPECT_EQ(LogCount(" Socket error 1"), 0);
}

TEST_F(TcpSocketsTest, Socket1LogsEachReadUpTo2000CharactersAndCallsMoreNoise) {
    ASSERT_TRUE(ConnectAll());
    form.ClearLog();
    SendFromPeer(1, std::string(2000, 'x'));
    ASSERT_TRUE(AwaitLogLine("Red  2000"));

    const std::uint32_t ringWrite = framing.RingWrite();
    SendFromPeer(1, std::string(2001, 'x'));
    ASSERT_TRUE(AwaitLogLine("Ruido "));
    // A read that is taken asks for a record before its log line; noise asks nothing.
    EXPECT_THAT(form.LogLines(), ElementsAre("record due?", "Red  2000", "Ruido "));
    EXPECT_EQ(recordRequests, 1);
    EXPECT_EQ(framing.RingWrite(), ringWrite);
}

TEST_F(TcpSocketsTest, Socket1TextGoesThroughTheSerialFraming) {
    ASSERT_TRUE(ConnectAll());
    const std::string frame = test::MakeFrame(250);
    readings.rxTicks = 12;
    SendFromPeer(1, "noise" + frame.substr(0, 100));
    ASSERT_TRUE(AwaitLogLine("Red  105"));
    EXPECT_EQ(readings.rxTicks, 0);
    SendFromPeer(1, frame.substr(100) + test::MakeFrame(230, 'b'));
    ASSERT_TRUE(QTest::qWaitFor([&] { return frames.size() == 2; }, 10000));
    EXPECT_THAT(frames, ElementsAre(frame, test::MakeFrame(230, 'b')));
}

TEST_F(TcpSocketsTest, ChannelSocketsFillTheirOwnRings) {
    ASSERT_TRUE(ConnectAll());
    std::string text;
    for (int i = 0; i < 350; ++i) text += static_cast<char>('A' + i % 26);
    SendFromPeer(2, text);
    ASSERT_TRUE(QTest::qWaitFor([&] { return sockets.Ring(2).pending == 350; }, 10000));
    const ChannelRing& red = sockets.Ring(2);
    EXPECT_EQ(red.write, 50u);
    // Positions 0 to 49 hold the last 50 bytes; the rest still the bytes 50 to 299.
    EXPECT_EQ(std::string(red.bytes.data(), 50), text.substr(300));
    EXPECT_EQ(std::string(red.bytes.data() + 50, 250), text.substr(50, 250));

    SendFromPeer(4, "blue");
    ASSERT_TRUE(QTest::qWaitFor([&] { return sockets.Ring(4).pending == 4; }, 10000));
    EXPECT_EQ(sockets.Ring(4).write, 4u);
    EXPECT_EQ(sockets.Ring(3).pending, 0u);
    EXPECT_EQ(sockets.Ring(2).pending, 350u);
    EXPECT_EQ(framing.RingPending(), 0u);
    EXPECT_EQ(framing.RingWrite(), 0u);
}

TEST_F(TcpSocketsTest, ChannelReadsOver2000CharactersAreNoise) {
    ASSERT_TRUE(ConnectAll());
    form.ClearLog();
    SendFromPeer(4, std::string(2001, 'n'));
    ASSERT_TRUE(AwaitLogLine("Ruido en Blue"));
    EXPECT_EQ(sockets.Ring(4).pending, 0u);

    // The other two channels name their colours.
    sockets.ChannelSocketRead(2, std::string(2001, 'n'));
    sockets.ChannelSocketRead(3, std::string(2001, 'n'));
    sockets.ChannelSocketRead(3, std::string(2000, 'n'));
    EXPECT_THAT(form.LogLines(), ElementsAre("Ruido en Blue", "Ruido en Rojo", "Ruido en Green"));
    EXPECT_EQ(sockets.Ring(3).pending, 2000u);
}

TEST_F(TcpSocketsTest, OpenLeavesConnectedSocketsAlone) {
    ASSERT_TRUE(ConnectAll());
    const std::size_t lines = form.LogLines().size();
    sockets.Open();
    for (int n = 1; n <= 4; ++n) {
        EXPECT_EQ(sockets.ClientSocket(n).state(), QAbstractSocket::ConnectedState);
    }
    EXPECT_EQ(form.LogLines().size(), lines);
}

TEST(TcpSocketsDisabled, NothingConnectsWithoutAHost) {
    FormModel form;
    LiveReadings readings;
    LinkState state;
    SerialStreamParser framing{form, readings, nullptr};
    ManualClock clock{QDateTime(QDate(2023, 4, 9), QTime(22, 0, 5))};
    const StationLocale locale = StationLocale::Fixed("%d/%m/%Y", "%H:%M:%S", ".");
    TcpSockets sockets(form, readings, state, framing, clock, locale, nullptr);
    EXPECT_FALSE(sockets.Enabled());
    EXPECT_EQ(sockets.Ports(), TcpSockets::kDefaultPorts);
    sockets.Open();
    for (int n = 1; n <= 4; ++n) {
        EXPECT_EQ(sockets.ClientSocket(n).state(), QAbstractSocket::UnconnectedState);
        EXPECT_FALSE(sockets.SendText(n, "<V>"));
    }
    EXPECT_THAT(form.LogLines(), ElementsAre("Log"));
}

}  // namespace
}  // namespace noxa
