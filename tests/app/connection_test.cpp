#include "app/connection.h"

#include "core/station_config.h"
#include "links/serial_link.h"
#include "links/udp_listener.h"
#include "socket_fixture.h"
#include "support/frames.h"
#include "support/pty_pair.h"

#include <QFile>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace noxa {
namespace {

using ::testing::ElementsAre;
using ::testing::MatchesRegex;

// The connect operation with every link it can open: the broadcast listener on a free port,
// a serial link pointed at a device in a temporary folder, and the four TCP sockets aimed at
// loopback servers (enabled only where a test says so).
class ConnectionTest : public test::SocketFixture {
protected:
    void SetUp() override {
        SocketFixture::SetUp();
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
    UdpListener listener{0};
    SerialLink serial{framing.Framing()};
    TcpSockets unused;
    ConnectionManager connection{form, config, state, listener, serial, &unused, clock, locale};
    ConnectionManager withTcp{form, config, state, listener, serial, &sockets, clock, locale};
};

TEST_F(ConnectionTest, NetworkModeStartsTheListenerAndSaysSoEveryTime) {
    connection.Connect();
    EXPECT_TRUE(listener.IsActive());
    const quint16 port = listener.LocalPort();
    connection.Connect();
    EXPECT_EQ(listener.LocalPort(), port);
    EXPECT_THAT(Log(), ElementsAre("22:00:05  Waiting NOXA-V4I broadcast on port 2255.",
                                   "22:00:05  Waiting NOXA-V4I broadcast on port 2255."));
    EXPECT_TRUE(AllSocketsUnconnected());
}

TEST_F(ConnectionTest, AnotherIpPortStartsNothing) {
    for (const char* text : {"2256", "abc", "", "2255x"}) {
        form.SetText(FormText::EPuertoEth, text);
        connection.Connect();
        EXPECT_FALSE(listener.IsActive()) << text;
    }
    EXPECT_THAT(Log(), ElementsAre());
}

TEST_F(ConnectionTest, AMissingSerialPortFailsEveryTime) {
    config.serialPortNumber = 4;
    form.SetRxColour(kIndicatorGray);
    connection.Connect();
    const std::string reason = "Serial device " + dir.filePath("no-such-device").toStdString() +
                               " cannot be opened: No such file or directory. Retrying.";
    EXPECT_THAT(Log(), ElementsAre(reason, "Serial Port: 4 Fallo"));
    EXPECT_EQ(form.RxColour(), kIndicatorRed);
    EXPECT_FALSE(state.linkOpen);
    // The same reason is not said again.
    connection.Connect();
    EXPECT_THAT(Log(), ElementsAre(reason, "Serial Port: 4 Fallo", "Serial Port: 4 Fallo"));
    EXPECT_FALSE(listener.IsActive());
}

TEST_F(ConnectionTest, EachNewReasonAndTheReturnAreSaidOnce) {
    config.serialPortNumber = 4;
    // A regular file is no terminal: another reason than a missing device.
    QFile notATerminal(dir.filePath("no-such-device"));
    connection.ReopenSerialPort(4);
    ASSERT_TRUE(notATerminal.open(QIODevice::WriteOnly));
    for (int i = 0; i < 3; ++i) connection.ReopenSerialPort(4);
    UsePty();
    for (int i = 0; i < 2; ++i) connection.ReopenSerialPort(4);
    EXPECT_THAT(Log(),
                ElementsAre(MatchesRegex(".*cannot be opened: No such file.*"),
                            MatchesRegex(".*cannot be opened: .*"),
                            "Serial device " + pty.StationEnd().toStdString() + " open again."));
}

TEST_F(ConnectionTest, APresentSerialPortOpensEveryTime) {
    UsePty();
    config.serialPortNumber = 4;
    form.SetRxColour(kIndicatorRed);
    connection.Connect();
    EXPECT_THAT(Log(), ElementsAre("Serial Port: 4 OK"));
    EXPECT_EQ(form.RxColour(), kIndicatorGray);
    EXPECT_TRUE(state.linkOpen);
    EXPECT_TRUE(serial.IsOpen());
    // Each call closes the port and opens it again.
    connection.Connect();
    EXPECT_THAT(Log(), ElementsAre("Serial Port: 4 OK", "Serial Port: 4 OK"));
    EXPECT_TRUE(serial.IsOpen());
}

TEST_F(ConnectionTest, SwitchingToSerialKeepsTheListenerRunning) {
    UsePty();
    connection.Connect();
    ASSERT_TRUE(listener.IsActive());
    config.serialPortNumber = 5;
    connection.Connect();
    EXPECT_TRUE(listener.IsActive());
    EXPECT_TRUE(serial.IsOpen());
    EXPECT_EQ(Log().back(), "Serial Port: 5 OK");
}

TEST_F(ConnectionTest, NetworkModeClosesTheSerialPort) {
    UsePty();
    config.serialPortNumber = 5;
    connection.Connect();
    ASSERT_TRUE(serial.IsOpen());
    config.serialPortNumber = 0;
    connection.Connect();
    EXPECT_FALSE(serial.IsOpen());
    EXPECT_TRUE(listener.IsActive());
}

TEST_F(ConnectionTest, NetworkModeConnectsTheEnabledSocketsOnce) {
    withTcp.Connect();
    EXPECT_THAT(Log(), ElementsAre("22:00:05  Waiting NOXA-V4I broadcast on port 2255.",
                                   "09/04/2023 22:00:05  Connecting... "));
    for (int n = 1; n <= 4; ++n) ASSERT_TRUE(net.AwaitConnection(n)) << n;
    EXPECT_TRUE(state.linkOpen);

    // Connected sockets are left as they are: no new attempt, no new connection.
    form.ClearLog();
    withTcp.Connect();
    EXPECT_THAT(form.LogLines(), ElementsAre("22:00:05  Waiting NOXA-V4I broadcast on port 2255."));
    for (int n = 1; n <= 4; ++n) {
        EXPECT_EQ(sockets.ClientSocket(n).state(), QAbstractSocket::ConnectedState);
    }
    net.SendFromPeer(1, "x");  // a round trip, so a second connection would have been accepted
    ASSERT_TRUE(AwaitLogLine("Red  1"));
    for (QTcpServer& server : net.servers) EXPECT_FALSE(server.hasPendingConnections());
}

TEST_F(ConnectionTest, TheSocketsDoNotDependOnTheListenersPort) {
    form.SetText(FormText::EPuertoEth, "2256");
    withTcp.Connect();
    EXPECT_FALSE(listener.IsActive());
    EXPECT_THAT(Log(), ElementsAre("09/04/2023 22:00:05  Connecting... "));
    ASSERT_TRUE(net.AwaitConnection(1));
}

TEST_F(ConnectionTest, TheReopenDecidesTheLinkState) {
    EXPECT_FALSE(connection.ReopenSerialPort(4));
    EXPECT_FALSE(state.linkOpen);
    UsePty();
    EXPECT_TRUE(connection.ReopenSerialPort(4));
    EXPECT_TRUE(state.linkOpen);
    state.linkOpen = false;
    EXPECT_TRUE(connection.ReopenSerialPort(0));  // no port: nothing to fail
    EXPECT_TRUE(state.linkOpen);
    // Only the reason and the return; no port number nor "Fallo".
    EXPECT_THAT(Log(), ElementsAre(MatchesRegex(".*cannot be opened: No such file.*"),
                                   MatchesRegex(".* open again.")));
}

TEST(ConnectionPortTaken, ABroadcastPortInUseIsLoggedOnceAndTriedAgain) {
    QUdpSocket holder;  // binds without sharing, as another program would
    ASSERT_TRUE(holder.bind(QHostAddress::AnyIPv4, 0, QAbstractSocket::DontShareAddress));
    FormModel form;
    StationConfig config;
    LinkState state;
    UdpListener listener(holder.localPort());
    test::FramingRecorder events;
    SerialStreamParser framing(events);
    SerialLink serial(framing);
    ManualClock clock{QDateTime(QDate(2023, 4, 9), QTime(22, 0, 5))};
    const StationLocale locale = StationLocale::Fixed("%d/%m/%Y", "%H:%M:%S", ".");
    ConnectionManager connection(form, config, state, listener, serial, nullptr, clock, locale);
    // The connect operation starts only a listener on 2255; this one is activated directly.
    EXPECT_FALSE(listener.Activate());
    ASSERT_EQ(form.LogLines().size(), 2u);
    EXPECT_THAT(form.LogLines()[1],
                MatchesRegex("UDP port " + std::to_string(holder.localPort()) +
                             " could not be opened: .+\\. No broadcasts will be received\\."));
    holder.close();
    EXPECT_TRUE(listener.Activate());
    EXPECT_EQ(form.LogLines().size(), 2u);
}

TEST_F(ConnectionTest, SerialModeLeavesTheSocketsAlone) {
    config.serialPortNumber = 4;
    withTcp.Connect();
    EXPECT_TRUE(AllSocketsUnconnected());
    EXPECT_EQ(Log().back(), "Serial Port: 4 Fallo");
}

}  // namespace
}  // namespace noxa
