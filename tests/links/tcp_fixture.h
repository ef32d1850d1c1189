#pragma once

#include "core/form_model.h"
#include "core/live_readings.h"
#include "core/station_locale.h"
#include "links/link_state.h"
#include "links/serial_stream_parser.h"
#include "links/tcp_sockets.h"
#include "time/station_clock.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace noxa::test {

// Four loopback servers on free ports standing in for the instrument's TCP links, and the
// station's four client sockets pointed at them.
class TcpFixture : public ::testing::Test {
protected:
    void SetUp() override {
        std::array<quint16, TcpSockets::kCount> ports{};
        for (std::size_t i = 0; i < servers.size(); ++i) {
            ASSERT_TRUE(servers[i].listen(QHostAddress::LocalHost, 0));
            ports[i] = servers[i].serverPort();
        }
        sockets.Enable("127.0.0.1");
        sockets.SetPorts(ports);
        QObject::connect(&sockets, &TcpSockets::textSent,
                         [this](int number, const QByteArray& text) {
                             sent.emplace_back(number, text.toStdString());
                         });
    }

    // A port on which nothing listens.
    static quint16 ClosedPort() {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0)) return 0;
        const quint16 port = probe.serverPort();
        probe.close();
        return port;
    }

    // Waits until client socket `number` is connected and its server holds the far end.
    [[nodiscard]] bool AwaitConnection(int number) {
        const std::size_t i = static_cast<std::size_t>(number - 1);
        const bool ok = QTest::qWaitFor(
            [&] {
                if (!peers[i] && servers[i].hasPendingConnections()) {
                    peers[i] = servers[i].nextPendingConnection();
                }
                return peers[i] != nullptr &&
                       sockets.ClientSocket(number).state() == QAbstractSocket::ConnectedState;
            },
            10000);
        return ok;
    }

    [[nodiscard]] bool ConnectAll() {
        sockets.Open();
        for (int n = 1; n <= 4; ++n) {
            if (!AwaitConnection(n)) return false;
        }
        return true;
    }

    // Sends from the instrument's end of link `number`.
    void SendFromPeer(int number, const std::string& text) {
        QTcpSocket* peer = peers[static_cast<std::size_t>(number - 1)];
        peer->write(text.data(), static_cast<qint64>(text.size()));
        peer->flush();
    }

    // Waits until `count` bytes arrived at the instrument's end of link `number`.
    std::string ReceiveAtPeer(int number, std::size_t count) {
        QTcpSocket* peer = peers[static_cast<std::size_t>(number - 1)];
        std::string got;
        (void)QTest::qWaitFor(
            [&] {
                got += peer->readAll().toStdString();
                return got.size() >= count;
            },
            10000);
        return got;
    }

    // Waits until the log's last line is `line`.
    [[nodiscard]] bool AwaitLogLine(const std::string& line) {
        return QTest::qWaitFor(
            [&] { return !form.LogLines().empty() && form.LogLines().back() == line; }, 10000);
    }

    // How many lines of the log read `line`.
    std::ptrdiff_t LogCount(const std::string& line) const {
        return std::count(form.LogLines().begin(), form.LogLines().end(), line);
    }

    std::vector<std::string> Log() const {
        return {form.LogLines().begin() + 1, form.LogLines().end()};
    }

    std::array<QTcpServer, TcpSockets::kCount> servers;
    std::array<QTcpSocket*, TcpSockets::kCount> peers{};
    FormModel form;
    LiveReadings readings;
    LinkState state;
    std::vector<std::string> frames;
    SerialStreamParser framing{form, readings,
                               [this](std::string_view frame) { frames.emplace_back(frame); }};
    ManualClock clock{QDateTime(QDate(2023, 4, 9), QTime(22, 0, 5))};
    StationLocale locale = StationLocale::Fixed("%d/%m/%Y", "%H:%M:%S", ".");
    // Each socket-1 read asks whether a record is due; the recorder answers elsewhere.
    int recordRequests = 0;
    TcpSockets sockets{form, readings, state, framing, clock, locale, [this] {
                           ++recordRequests;
                           form.AppendLog("record due?");
                       }};
    std::vector<std::pair<int, std::string>> sent;
};

}  // namespace noxa::test
