#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>

class QUdpSocket;

namespace noxa {

// Alpaca's discovery: a datagram that contains "alpacadiscovery1" on UDP port 32227 is answered
// to its sender with the port of the web server, {"AlpacaPort": <port>}.
class AlpacaDiscovery : public QObject {
    Q_OBJECT

public:
    static constexpr quint16 kPort = 32227;

    explicit AlpacaDiscovery(quint16 alpacaPort, QObject* parent = nullptr);

    // Listens on `address`, `port` (0: a free one), shared with other Alpaca servers on the
    // same computer. False, with the reason, when it cannot.
    bool Listen(const QHostAddress& address, quint16 port, QString& error);
    quint16 Port() const;

private:
    void Received();

    const QByteArray answer_;
    QUdpSocket* socket_ = nullptr;
};

}  // namespace noxa
