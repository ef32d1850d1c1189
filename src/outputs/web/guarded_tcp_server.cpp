#include "outputs/web/guarded_tcp_server.h"

#include <QTcpSocket>

namespace noxa {

ConnectionGuard::ConnectionGuard(QTcpSocket& socket, const WebLimits& limits)
    : QObject(&socket), socket_(socket), limits_(limits) {
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, &ConnectionGuard::CutOff);
    // Connected before the HTTP layer's own slot, so the bytes are counted before it reads.
    connect(&socket_, &QTcpSocket::readyRead, this, &ConnectionGuard::Received);
    deadline_.start(limits_.idleTimeoutMs);
}

ConnectionGuard* ConnectionGuard::Of(QTcpSocket* socket) {
    return socket->findChild<ConnectionGuard*>(QString(), Qt::FindDirectChildrenOnly);
}

void ConnectionGuard::Received() {
    // The HTTP layer reads everything on each signal, so what is there now is new.
    const qint64 fresh = socket_.bytesAvailable();
    if (fresh <= 0) return;
    if (requestBytes_ == 0) deadline_.start(limits_.requestTimeoutMs);
    requestBytes_ += fresh;
    if (requestBytes_ > limits_.maxRequestBytes) CutOff();
}

void ConnectionGuard::Answered() {
    requestBytes_ = 0;
    if (socket_.bytesToWrite() > limits_.maxUnsentBytes) {
        CutOff();
        return;
    }
    deadline_.start(limits_.idleTimeoutMs);
}

void ConnectionGuard::CutOff() {
    deadline_.stop();
    // The HTTP layer deletes a socket that disconnects, but not one whose request it could not
    // parse (it only drops its own connections to it then): deleting it here covers both.
    socket_.abort();
    socket_.deleteLater();
}

GuardedTcpServer::GuardedTcpServer(WebLimits limits, QObject* parent)
    : QTcpServer(parent), limits_(limits) {}

void GuardedTcpServer::incomingConnection(qintptr descriptor) {
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    if (open_ >= limits_.maxConnections) {
        socket->write(
            "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        socket->disconnectFromHost();
        QTimer::singleShot(1000, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        return;
    }
    ++open_;
    auto* guard = new ConnectionGuard(*socket, limits_);
    connect(guard, &QObject::destroyed, this, [this] { --open_; });
    addPendingConnection(socket);
}

}  // namespace noxa
