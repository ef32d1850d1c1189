#include "links/instrument_commands.h"

#include "core/station_config.h"
#include "links/serial_link.h"
#include "support/pty_pair.h"
#include "tcp_fixture.h"

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
class NetworkCommandsTest : public test::TcpFixture {
protected:
    StationConfig config;  // port number 0: network mode
    SerialLink serial{form, readings, config, state, nullptr};
    InstrumentCommands commands{form, config, state, serial, &sockets};
};

TEST_F(NetworkCommandsTest, EachButtonSendsItsTextsOnItsSockets) {
    ASSERT_TRUE(ConnectAll());
    form.ClearLog();

    commands.B4xClick();
    EXPECT_EQ(sent, (Sent{{1, "<P001>"}, {2, "<P001>"}, {3, "<P001>"}, {4, "<P001>"}}));
    sent.clear();
    commands.B1xClick();
    EXPECT_EQ(sent, (Sent{{1, "<P010>"}, {1, "<s>"}, {2, "<P010>"}, {3, "<P010>"}, {4, "<P010>"}}));
    sent.clear();
    commands.BVersionClick();
    EXPECT_EQ(sent, (Sent{{1, "<V>"}, {2, "<V>"}, {3, "<V>"}, {4, "<V>"}}));
    sent.clear();
    commands.BTempMagClick();
    EXPECT_EQ(sent, (Sent{{1, "<S>"}}));

    // What the instrument's ends receive, in order, and nothing more.
    EXPECT_EQ(ReceiveAtPeer(1, 21), "<P001><P010><s><V><S>");
    for (int n = 2; n <= 4; ++n) EXPECT_EQ(ReceiveAtPeer(n, 15), "<P001><P010><V>") << n;
    EXPECT_THAT(form.LogLines(), ElementsAre("Lectura rapida", "Lectura lenta"));
}

TEST_F(NetworkCommandsTest, SocketsThatAreNotConnectedSendNothing) {
    std::array<quint16, 4> ports = sockets.Ports();
    for (std::size_t i = 1; i < 4; ++i) ports[i] = ClosedPort();
    sockets.SetPorts(ports);
    sockets.Open();
    ASSERT_TRUE(AwaitConnection(1));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return sockets.ClientSocket(2).state() == QAbstractSocket::UnconnectedState &&
                   sockets.ClientSocket(3).state() == QAbstractSocket::UnconnectedState &&
                   sockets.ClientSocket(4).state() == QAbstractSocket::UnconnectedState;
        },
        10000));
    form.ClearLog();
    commands.B4xClick();
    EXPECT_EQ(sent, (Sent{{1, "<P001>"}}));
    EXPECT_EQ(ReceiveAtPeer(1, 6), "<P001>");
    EXPECT_THAT(form.LogLines(), ElementsAre("Lectura rapida"));
}

TEST_F(NetworkCommandsTest, AClosedLinkIgnoresEveryClick) {
    ASSERT_TRUE(ConnectAll());
    state.linkOpen = false;  // as after an error on socket 1
    form.ClearLog();
    commands.B4xClick();
    commands.B1xClick();
    commands.BVersionClick();
    commands.BTempMagClick();
    EXPECT_THAT(sent, IsEmpty());
    EXPECT_THAT(form.LogLines(), IsEmpty());

    // Socket 1 alone decides: connected again, the commands go out.
    state.linkOpen = true;
    commands.BTempMagClick();
    EXPECT_EQ(ReceiveAtPeer(1, 3), "<S>");
}

TEST_F(NetworkCommandsTest, WithoutSocketsTheLinesAreStillLogged) {
    state.linkOpen = true;
    InstrumentCommands bare(form, config, state, serial, nullptr);
    form.ClearLog();
    bare.B1xClick();
    bare.B4xClick();
    bare.BVersionClick();
    EXPECT_THAT(form.LogLines(), ElementsAre("Lectura lenta", "Lectura rapida"));
}

// Serial mode: the commands go out on the serial port, whatever the sockets do.
class SerialCommandsTest : public test::TcpFixture {
protected:
    void SetUp() override {
        TcpFixture::SetUp();
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(pty.Start()) << pty.Error();
        config.serialPortNumber = 2;
        serial.SetDeviceOverride(pty.StationEnd());
    }

    QTemporaryDir dir;
    test::PtyPair pty{dir.path()};
    StationConfig config;
    SerialLink serial{form, readings, config, state, nullptr};
    InstrumentCommands commands{form, config, state, serial, &sockets};
};

TEST_F(SerialCommandsTest, B1xWritesExactlyItsNineBytes) {
    ASSERT_TRUE(serial.OpenSerialPort(2));
    form.ClearLog();
    commands.B1xClick();
    EXPECT_EQ(pty.ReadFar(9), "<P010><s>");
    EXPECT_THAT(form.LogLines(), ElementsAre("Lectura lenta"));

    commands.BVersionClick();
    commands.BTempMagClick();
    commands.B4xClick();
    EXPECT_EQ(pty.ReadFar(12), "<V><S><P001>");
    EXPECT_THAT(form.LogLines(), ElementsAre("Lectura lenta", "Lectura rapida"));
}

TEST_F(SerialCommandsTest, APortThatFailedToOpenSendsAndLogsNothing) {
    serial.SetDeviceOverride(dir.filePath("missing"));
    ASSERT_FALSE(serial.OpenSerialPort(2));
    form.ClearLog();
    commands.B4xClick();
    commands.B1xClick();
    commands.BVersionClick();
    commands.BTempMagClick();
    EXPECT_THAT(form.LogLines(), IsEmpty());

    // Open again: the far end receives the next command and nothing from before.
    serial.SetDeviceOverride(pty.StationEnd());
    ASSERT_TRUE(serial.OpenSerialPort(2));
    commands.BTempMagClick();
    EXPECT_EQ(pty.ReadFar(3), "<S>");
}

TEST_F(SerialCommandsTest, ConnectedSocketsGetNothingInSerialMode) {
    ASSERT_TRUE(ConnectAll());
    ASSERT_TRUE(serial.OpenSerialPort(2));
    commands.B4xClick();
    EXPECT_EQ(pty.ReadFar(6), "<P001>");
    EXPECT_THAT(sent, IsEmpty());
}

}  // namespace
}  // namespace noxa
