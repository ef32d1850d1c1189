#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>

class QUdpSocket;

namespace noxa {

// Alpaca's discovery: a datagram that contains "alpacadiscovery1" on the discovery port (32227
// unless set otherwise) is answered to its sender with the port of the web server,
// {"AlpacaPort": <port>}, from the web server's own address, so the asker can reach it.
class AlpacaDiscovery : public QObject {
    Q_OBJECT

public:
    static constexpr quint16 kPort = 32227;

    explicit AlpacaDiscovery(quint16 alpacaPort, QObject* parent = nullptr);

    // Listens on `address`, `port` (0: a free one), shared with other Alpaca servers on the
    // same computer. A socket bound to one address hears no broadcasts, so for an IPv4
    // address of an interface it also listens on that interface's broadcast address
    // (127.255.255.255 for loopback), and nowhere else. False, with the reason, when it cannot.
    bool Listen(const QHostAddress& address, quint16 port, QString& error);
    quint16 Port() const;
    // The broadcast address it listens on too; null when none.
    QHostAddress BroadcastAddress() const;

    // The broadcast address of the interface that holds `address`; null when there is none.
    static QHostAddress BroadcastAddressOf(const QHostAddress& address);

private:
    QUdpSocket* Bind(const QHostAddress& address, quint16 port, QString& error);
    void Received(QUdpSocket* socket);

    const QByteArray answer_;
    QHostAddress address_;
    QUdpSocket* socket_ = nullptr;     // the web server's address: answers go out here
    QUdpSocket* broadcast_ = nullptr;  // its interface's broadcast address
};

}  // namespace noxa
