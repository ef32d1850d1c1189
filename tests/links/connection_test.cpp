#include "links/connection.h"

#include "core/station_config.h"
#include "links/serial_link.h"
#include "links/udp_listener.h"
#include "support/pty_pair.h"
#include "tcp_fixture.h"

#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace noxa {
namespace {

using ::testing::ElementsAre;

// The connect operation with every link it can open: the broadcast listener on a free port,
// a serial link pointed at a device in a temporary folder, and the four TCP sockets aimed at
// loopback servers (enabled only where a test says so).
class ConnectionTest : public test::TcpFixture {
protected:
    void SetUp() override {
        TcpFixture::SetUp();
        ASSERT_TRUE(dir.isValid());
        serial.SetDeviceOverride(dir.filePath("no-such-device"));
    }
    void UsePty() {
        ASSERT_TRUE(pty.Start()) << pty.Error();
        serial.SetDeviceOverride(pty.StationEnd());
    }
    bool AllSocketsUnconnected() {
        for (int n = 1; n <= 4; ++n) {
            if (sockets.ClientSocket(n).state() != QAbstractSocket::UnconnectedState) return false;
        }
        return true;
    }

    QTemporaryDir dir;
    test::PtyPair pty{dir.path()};
    StationConfig config;
    UdpListener listener{form, [](std::string_view) {}, 0};
    SerialLink serial{form, readings, config, state, nullptr};
    TcpSockets unused{form, readings, state, framing, clock, locale, nullptr};
    ConnectionManager connection{form, config, listener, serial, &unused, clock, locale};
    ConnectionManager withTcp{form, config, listener, serial, &sockets, clock, locale};
};

TEST_F(ConnectionTest, NetworkModeStartsTheListenerAndSaysSoEveryTime) {
    connection.BAbrirPuertoClick();
    EXPECT_TRUE(listener.IsActive());
    const quint16 port = listener.LocalPort();
    connection.BAbrirPuertoClick();
    EXPECT_EQ(listener.LocalPort(), port);
    EXPECT_THAT(Log(), ElementsAre("22:00:05  Waiting NOXA-V4I broadcast on port 2255.",
                                   "22:00:05  Waiting NOXA-V4I broadcast on port 2255."));
    EXPECT_TRUE(AllSocketsUnconnected());
}

TEST_F(ConnectionTest, AnotherIpPortStartsNothing) {
    for (const char* text : {"2256", "abc", "", "2255x"}) {
        form.SetText(FormText::EPuertoEth, text);
        connection.BAbrirPuertoClick();
        EXPECT_FALSE(listener.IsActive()) << text;
    }
    EXPECT_THAT(Log(), ElementsAre());
}

TEST_F(ConnectionTest, AMissingSerialPortFailsEveryTime) {
    config.serialPortNumber = 4;
    form.SetRxColour(kIndicatorGray);
    connection.BAbrirPuertoClick();
    EXPECT_THAT(Log(), ElementsAre("Serial Port: 4 Fallo"));
    EXPECT_EQ(form.RxColour(), kIndicatorRed);
    EXPECT_FALSE(state.linkOpen);
    connection.BAbrirPuertoClick();
    EXPECT_THAT(Log(), ElementsAre("Serial Port: 4 Fallo", "Serial Port: 4 Fallo"));
    EXPECT_FALSE(listener.IsActive());
}

TEST_F(ConnectionTest, APresentSerialPortOpensEveryTime) {
    UsePty();
    config.serialPortNumber = 4;
    form.SetRxColour(kIndicatorRed);
    connection.BAbrirPuertoClick();
    EXPECT_THAT(Log(), ElementsAre("Serial Port: 4 OK"));
    EXPECT_EQ(form.RxColour(), kIndicatorGray);
    EXPECT_TRUE(state.linkOpen);
    EXPECT_TRUE(serial.IsOpen());
    // Each call closes the port and opens it again.
    connection.BAbrirPuertoClick();
    EXPECT_THAT(Log(), ElementsAre("Serial Port: 4 OK", "Serial Port: 4 OK"));
    EXPECT_TRUE(serial.IsOpen());
}

TEST_F(ConnectionTest, SwitchingToSerialKeepsTheListenerRunning) {
    UsePty();
    connection.BAbrirPuertoClick();
    ASSERT_TRUE(listener.IsActive());
    config.serialPortNumber = 5;
    connection.BAbrirPuertoClick();
    EXPECT_TRUE(listener.IsActive());
    EXPECT_TRUE(serial.IsOpen());
    EXPECT_EQ(Log().back(), "Serial Port: 5 OK");
}

TEST_F(ConnectionTest, NetworkModeClosesTheSerialPort) {
    UsePty();
    config.serialPortNumber = 5;
    connection.BAbrirPuertoClick();
    ASSERT_TRUE(serial.IsOpen());
    config.serialPortNumber = 0;
    connection.BAbrirPuertoClick();
    EXPECT_FALSE(serial.IsOpen());
    EXPECT_TRUE(listener.IsActive());
}

TEST_F(ConnectionTest, NetworkModeConnectsTheEnabledSocketsOnce) {
    withTcp.BAbrirPuertoClick();
    EXPECT_THAT(Log(), ElementsAre("22:00:05  Waiting NOXA-V4I broadcast on port 2255.",
                                   "09/04/2023 22:00:05  Connecting... "));
    for (int n = 1; n <= 4; ++n) ASSERT_TRUE(AwaitConnection(n)) << n;
    EXPECT_TRUE(state.linkOpen);

    // Connected sockets are left as they are: no new attempt, no new connection.
    form.ClearLog();
    withTcp.BAbrirPuertoClick();
    EXPECT_THAT(form.LogLines(), ElementsAre("22:00:05  Waiting NOXA-V4I broadcast on port 2255."));
    for (int n = 1; n <= 4; ++n) {
        EXPECT_EQ(sockets.ClientSocket(n).state(), QAbstractSocket::ConnectedState);
    }
    SendFromPeer(1, "x");  // a round trip, so a second connection would have been accepted
    ASSERT_TRUE(AwaitLogLine("Red  1"));
    for (QTcpServer& server : servers) EXPECT_FALSE(server.hasPendingConnections());
}

TEST_F(ConnectionTest, TheSocketsDoNotDependOnTheListenersPort) {
    form.SetText(FormText::EPuertoEth, "2256");
    withTcp.BAbrirPuertoClick();
    EXPECT_FALSE(listener.IsActive());
    EXPECT_THAT(Log(), ElementsAre("09/04/2023 22:00:05  Connecting... "));
    ASSERT_TRUE(AwaitConnection(1));
}

TEST_F(ConnectionTest, SerialModeLeavesTheSocketsAlone) {
    config.serialPortNumber = 4;
    withTcp.BAbrirPuertoClick();
    EXPECT_TRUE(AllSocketsUnconnected());
    EXPECT_THAT(Log(), ElementsAre("Serial Port: 4 Fallo"));
}

}  // namespace
}  // namespace noxa
