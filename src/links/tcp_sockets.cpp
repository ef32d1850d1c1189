#include "links/tcp_sockets.h"

#include <stdexcept>

namespace noxa {

TcpSockets::~TcpSockets() {
    // Sockets still connected close as they are destroyed; their events must not reach
    // handlers of a station that is going away.
    for (QTcpSocket& socket : sockets_) {
        disconnect(&socket, nullptr, this, nullptr);
        socket.abort();
    }
}

std::size_t TcpSockets::Index(int number) {
    if (number < 1 || number > static_cast<int>(kCount)) {
        throw std::out_of_range("TCP socket number out of range");
    }
    return static_cast<std::size_t>(number - 1);
}

void TcpSockets::Wire() {
    for (int number = 1; number <= static_cast<int>(kCount); ++number) Wire(number);
}

void TcpSockets::Wire(int number) {
    QTcpSocket& socket = sockets_[Index(number)];
    connect(&socket, &QAbstractSocket::stateChanged, this,
            [this, number](QAbstractSocket::SocketState state) {
                QAbstractSocket::SocketState& last = lastState_[Index(number)];
                // Several addresses of one host name each pass through the connecting state;
                // the event is reported once per connection attempt.
                const bool starting = state == QAbstractSocket::ConnectingState &&
                                      last != QAbstractSocket::ConnectingState;
                last = state;
                if (starting) emit connecting(number);
                if (state == QAbstractSocket::UnconnectedState)
                    resetProbes_[Index(number)].Release();
            });
    connect(&socket, &QAbstractSocket::connected, this, [this, number, &socket] {
        resetProbes_[Index(number)].Watch(socket.socketDescriptor());
        emit connected(number);
    });
    connect(&socket, &QAbstractSocket::disconnected, this,
            [this, number] { emit disconnected(number); });
    connect(&socket, &QAbstractSocket::errorOccurred, this,
            [this, number](QAbstractSocket::SocketError error) {
                // The far end closing is a disconnect, reported by its own event; a far end
                // that resets the connection is an error all the same.
                if (error == QAbstractSocket::RemoteHostClosedError &&
                    !resetProbes_[Index(number)].WasReset()) {
                    return;
                }
                emit failed(number);
            });
    connect(&socket, &QIODevice::readyRead, this, [this, number, &socket] {
        const QByteArray text = socket.readAll();
        if (text.isEmpty()) return;
        emit received(number, text);
    });
}

void TcpSockets::Open() {
    if (!Enabled()) return;
    for (std::size_t i = 0; i < kCount; ++i) {
        QTcpSocket& socket = sockets_[i];
        if (socket.state() != QAbstractSocket::UnconnectedState) continue;
        socket.connectToHost(host_, ports_[i]);
    }
}

bool TcpSockets::SendText(int number, std::string_view text) {
    QTcpSocket& socket = sockets_[Index(number)];
    if (socket.state() != QAbstractSocket::ConnectedState) return false;
    const QByteArray bytes(text.data(), static_cast<qsizetype>(text.size()));
    const bool taken = socket.write(bytes) == bytes.size();
    socket.flush();
    emit textSent(number, bytes);
    return taken;
}

}  // namespace noxa
