#include "outputs/alpaca/alpaca_discovery.h"

#include <QNetworkDatagram>
#include <QUdpSocket>

namespace noxa {

AlpacaDiscovery::AlpacaDiscovery(quint16 alpacaPort, QObject* parent)
    : QObject(parent), answer_("{\"AlpacaPort\":" + QByteArray::number(alpacaPort) + '}') {}

bool AlpacaDiscovery::Listen(const QHostAddress& address, quint16 port, QString& error) {
    auto* socket = new QUdpSocket(this);
    if (!socket->bind(address, port, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
        error = socket->errorString();
        delete socket;
        return false;
    }
    connect(socket, &QUdpSocket::readyRead, this, &AlpacaDiscovery::Received);
    socket_ = socket;
    return true;
}

quint16 AlpacaDiscovery::Port() const {
    return socket_ ? socket_->localPort() : 0;
}

void AlpacaDiscovery::Received() {
    while (socket_->hasPendingDatagrams()) {
        // A discovery request is a few bytes; anything longer is read no further.
        const QNetworkDatagram datagram = socket_->receiveDatagram(256);
        if (datagram.data().contains("alpacadiscovery1") && datagram.senderPort() > 0)
            socket_->writeDatagram(answer_, datagram.senderAddress(), datagram.senderPort());
    }
}

}  // namespace noxa
