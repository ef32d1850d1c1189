#include "outputs/alpaca/alpaca_discovery.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QUdpSocket>

namespace noxa {

AlpacaDiscovery::AlpacaDiscovery(quint16 alpacaPort, QObject* parent)
    : QObject(parent), answer_("{\"AlpacaPort\":" + QByteArray::number(alpacaPort) + '}') {}

QUdpSocket* AlpacaDiscovery::Bind(const QHostAddress& address, quint16 port, QString& error) {
    auto* socket = new QUdpSocket(this);
    if (!socket->bind(address, port, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
        error = address.toString() + ": " + socket->errorString();
        delete socket;
        return nullptr;
    }
    connect(socket, &QUdpSocket::readyRead, this, [this, socket] { Received(socket); });
    return socket;
}

bool AlpacaDiscovery::Listen(const QHostAddress& address, quint16 port, QString& error) {
    address_ = address;
    socket_ = Bind(address, port, error);
    if (!socket_) return false;
    const QHostAddress broadcast = BroadcastAddressOf(address);
    if (broadcast.isNull()) return true;
    broadcast_ = Bind(broadcast, socket_->localPort(), error);
    if (broadcast_) return true;
    delete socket_;
    socket_ = nullptr;
    return false;
}

quint16 AlpacaDiscovery::Port() const {
    return socket_ ? socket_->localPort() : 0;
}

QHostAddress AlpacaDiscovery::BroadcastAddress() const {
    return broadcast_ ? broadcast_->localAddress() : QHostAddress();
}

QHostAddress AlpacaDiscovery::BroadcastAddressOf(const QHostAddress& address) {
    if (address.protocol() != QAbstractSocket::IPv4Protocol) return {};
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
            if (!entry.ip().isEqual(address)) continue;
            if (!entry.broadcast().isNull()) return entry.broadcast();
            // Loopback has no broadcast flag, yet its net has a broadcast address.
            const int prefix = entry.prefixLength();
            if (!(interface.flags() & QNetworkInterface::IsLoopBack) || prefix <= 0 || prefix >= 31)
                return {};
            return QHostAddress(address.toIPv4Address() | ~entry.netmask().toIPv4Address());
        }
    }
    return {};
}

void AlpacaDiscovery::Received(QUdpSocket* socket) {
    while (socket->hasPendingDatagrams()) {
        // A discovery request is a few bytes; anything longer is read no further.
        const QNetworkDatagram datagram = socket->receiveDatagram(256);
        if (!datagram.data().contains("alpacadiscovery1") || datagram.senderPort() <= 0) continue;
        // A server on loopback is of no use to another computer.
        if (address_.isLoopback() && !datagram.senderAddress().isLoopback()) continue;
        socket_->writeDatagram(answer_, datagram.senderAddress(), datagram.senderPort());
    }
}

}  // namespace noxa
