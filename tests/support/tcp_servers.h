#pragma once

#include "links/tcp_sockets.h"

#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <array>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace noxa::test {

// Four loopback servers on free ports standing in for the instrument's TCP links, with a set
// of client sockets pointed at them; records every text the sockets send.
class TcpServers {
public:
    explicit TcpServers(TcpSockets& sockets) : sockets_(sockets) {}

    // Starts the servers and points the sockets at them.
    [[nodiscard]] bool Listen() {
        std::array<quint16, TcpSockets::kCount> ports{};
        for (std::size_t i = 0; i < servers.size(); ++i) {
            if (!servers[i].listen(QHostAddress::LocalHost, 0)) return false;
            ports[i] = servers[i].serverPort();
        }
        sockets_.Enable("127.0.0.1");
        sockets_.SetPorts(ports);
        QObject::connect(&sockets_, &TcpSockets::textSent, &sockets_,
                         [this](int number, const QByteArray& text) {
                             sent.emplace_back(number, text.toStdString());
                         });
        return true;
    }

    // A port on which nothing listens.
    static quint16 ClosedPort() {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0)) return 0;
        const quint16 port = probe.serverPort();
        probe.close();
        return port;
    }

    // Points socket `number` at a port on which nothing listens.
    void Close(int number) {
        std::array<quint16, TcpSockets::kCount> ports = sockets_.Ports();
        ports[static_cast<std::size_t>(number - 1)] = ClosedPort();
        sockets_.SetPorts(ports);
    }

    // Waits until client socket `number` is connected and its server holds the far end.
    [[nodiscard]] bool AwaitConnection(int number) {
        const std::size_t i = static_cast<std::size_t>(number - 1);
        return QTest::qWaitFor(
            [&] {
                if (!peers[i] && servers[i].hasPendingConnections()) {
                    peers[i] = servers[i].nextPendingConnection();
                }
                return peers[i] != nullptr &&
                       sockets_.ClientSocket(number).state() == QAbstractSocket::ConnectedState;
            },
            10000);
    }

    [[nodiscard]] bool ConnectAll() {
        sockets_.Open();
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

    std::array<QTcpServer, TcpSockets::kCount> servers;
    std::array<QTcpSocket*, TcpSockets::kCount> peers{};
    // Texts the sockets sent, with their socket numbers.
    std::vector<std::pair<int, std::string>> sent;

private:
    TcpSockets& sockets_;
};

}  // namespace noxa::test
