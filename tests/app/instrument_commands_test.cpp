#include "app/instrument_commands.h"

#include "core/station_config.h"
#include "links/serial_link.h"
#include "socket_fixture.h"
#include "support/pty_pair.h"

#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace noxa {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Sent = std::vector<std::pair<int, std::string>>;

// Network mode: the commands go out on the four loopback links.
class NetworkCommandsTest : public test::SocketFixture {
protected:
    StationConfig config;  // port number 0: network mode
    SerialLink serial{framing.Framing()};
    InstrumentCommands commands{form, config, state, serial, &sockets};
};

TEST_F(NetworkCommandsTest, EachButtonSendsItsTextsOnItsSockets) {
    ASSERT_TRUE(net.ConnectAll());
    form.ClearLog();

    commands.FastReadings();
    EXPECT_EQ(sent, (Sent{{1, "<P001>"}, {2, "<P001>"}, {3, "<P001>"}, {4, "<P001>"}}));
    sent.clear();
    commands.SlowReadings();
    EXPECT_EQ(sent, (Sent{{1, "<P010>"}, {1, "<s>"}, {2, "<P010>"}, {3, "<P010>"}, {4, "<P010>"}}));
    sent.clear();
    commands.AskVersion();
    EXPECT_EQ(sent, (Sent{{1, "<V>"}, {2, "<V>"}, {3, "<V>"}, {4, "<V>"}}));
    sent.clear();
    commands.AskBurst();
    EXPECT_EQ(sent, (Sent{{1, "<S>"}}));

    // What the instrument's ends receive, in order, and nothing more.
    EXPECT_EQ(net.ReceiveAtPeer(1, 21), "<P001><P010><s><V><S>");
    for (int n = 2; n <= 4; ++n) EXPECT_EQ(net.ReceiveAtPeer(n, 15), "<P001><P010><V>") << n;
    EXPECT_THAT(form.LogLines(), ElementsAre("Lectura rapida", "Lectura lenta"));
}

TEST_F(NetworkCommandsTest, SocketsThatAreNotConnectedSendNothing) {
    for (int n = 2; n <= 4; ++n) net.Close(n);
    sockets.Open();
    ASSERT_TRUE(net.AwaitConnection(1));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return sockets.ClientSocket(2).state() == QAbstractSocket::UnconnectedState &&
                   sockets.ClientSocket(3).state() == QAbstractSocket::UnconnectedState &&
                   sockets.ClientSocket(4).state() == QAbstractSocket::UnconnectedState;
        },
        10000));
    form.ClearLog();
    commands.FastReadings();
    EXPECT_EQ(sent, (Sent{{1, "<P001>"}}));
    EXPECT_EQ(net.ReceiveAtPeer(1, 6), "<P001>");
    EXPECT_THAT(form.LogLines(), ElementsAre("Lectura rapida"));
}

TEST_F(NetworkCommandsTest, AClosedLinkIgnoresEveryClick) {
    ASSERT_TRUE(net.ConnectAll());
    state.linkOpen = false;  // as after an error on socket 1
    form.ClearLog();
    commands.FastReadings();
    commands.SlowReadings();
    commands.AskVersion();
    commands.AskBurst();
    EXPECT_THAT(sent, IsEmpty());
    EXPECT_THAT(form.LogLines(), IsEmpty());

    // Socket 1 alone decides: connected again, the commands go out.
    state.linkOpen = true;
    commands.AskBurst();
    EXPECT_EQ(net.ReceiveAtPeer(1, 3), "<S>");
}

TEST_F(NetworkCommandsTest, WithoutSocketsTheLinesAreStillLogged) {
    state.linkOpen = true;
    InstrumentCommands bare(form, config, state, serial, nullptr);
    form.ClearLog();
    bare.SlowReadings();
    bare.FastReadings();
    bare.AskVersion();
    EXPECT_THAT(form.LogLines(), ElementsAre("Lectura lenta", "Lectura rapida"));
}

// Serial mode: the commands go out on the serial port, whatever the sockets do.
class SerialCommandsTest : public test::SocketFixture {
protected:
    void SetUp() override {
        SocketFixture::SetUp();
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(pty.Start()) << pty.Error();
        config.serialPortNumber = 2;
        serial.SetDeviceOverride(pty.StationEnd());
    }
    // Opens the port as the connect operation does, which decides the link's state.
    bool Open() {
        state.linkOpen = serial.OpenSerialPort(2);
        return state.linkOpen;
    }

    QTemporaryDir dir;
    test::PtyPair pty{dir.path()};
    StationConfig config;
    SerialLink serial{framing.Framing()};
    InstrumentCommands commands{form, config, state, serial, &sockets};
};

TEST_F(SerialCommandsTest, SlowReadingsWritesExactlyItsNineBytes) {
    ASSERT_TRUE(Open());
    form.ClearLog();
    commands.SlowReadings();
    EXPECT_EQ(pty.ReadFar(9), "<P010><s>");
    EXPECT_THAT(form.LogLines(), ElementsAre("Lectura lenta"));

    commands.AskVersion();
    commands.AskBurst();
    commands.FastReadings();
    EXPECT_EQ(pty.ReadFar(12), "<V><S><P001>");
    EXPECT_THAT(form.LogLines(), ElementsAre("Lectura lenta", "Lectura rapida"));
}

TEST_F(SerialCommandsTest, APortThatFailedToOpenSendsAndLogsNothing) {
    serial.SetDeviceOverride(dir.filePath("missing"));
    ASSERT_FALSE(Open());
    form.ClearLog();
    commands.FastReadings();
    commands.SlowReadings();
    commands.AskVersion();
    commands.AskBurst();
    EXPECT_THAT(form.LogLines(), IsEmpty());

    // Open again: the far end receives the next command and nothing from before.
    serial.SetDeviceOverride(pty.StationEnd());
    ASSERT_TRUE(Open());
    commands.AskBurst();
    EXPECT_EQ(pty.ReadFar(3), "<S>");
}

TEST_F(SerialCommandsTest, ConnectedSocketsGetNothingInSerialMode) {
    ASSERT_TRUE(net.ConnectAll());
    ASSERT_TRUE(Open());
    commands.FastReadings();
    EXPECT_EQ(pty.ReadFar(6), "<P001>");
    EXPECT_THAT(sent, IsEmpty());
}

}  // namespace
}  // namespace noxa
