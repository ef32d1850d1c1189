#include "outputs/web/guarded_tcp_server.h"

#include "outputs/web/gentle_close.h"
#include "outputs/web/http_connection.h"

#include <QTcpSocket>

namespace noxa {
namespace {

// How soon accepting is tried again after the system had no descriptor to give.
constexpr int kRetryMs = 1000;
// QTcpServer's own default.
constexpr int kPendingConnections = 30;

// Whom a connection counts against: its IPv4 address, or the /64 network of its IPv6 address
// (one machine commonly has a whole /64 to choose from).
QByteArray ClientOf(const QHostAddress& address) {
    bool v4 = false;
    const quint32 ipv4 = address.toIPv4Address(&v4);
    if (v4) return QByteArray::number(ipv4);
    const Q_IPV6ADDR ipv6 = address.toIPv6Address();
    return QByteArray(reinterpret_cast<const char*>(ipv6.c), 8);
}

}  // namespace

GuardedTcpServer::GuardedTcpServer(WebLimits limits, Log log, QObject* parent)
    : QTcpServer(parent), limits_(limits), log_(std::move(log)) {
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &GuardedTcpServer::ResumeIfRoom);
    connect(this, &QTcpServer::acceptError, this, &GuardedTcpServer::AcceptFailed);
}

GuardedTcpServer::~GuardedTcpServer() {
    // The connections tell the server when they go: they go while it is still whole.
    qDeleteAll(findChildren<HttpConnection*>(Qt::FindDirectChildrenOnly));
}

void GuardedTcpServer::incomingConnection(qintptr descriptor) {
    if (outOfDescriptors_) {
        outOfDescriptors_ = false;
        if (log_) log_("Web server accepts connections again.");
    }
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    const QByteArray client = ClientOf(socket->peerAddress());
    if (open_ >= limits_.maxConnections ||
        perClient_.value(client) >= limits_.maxConnectionsPerClient) {
        Refuse(socket);
    } else {
        ++open_;
        ++perClient_[client];
        addPendingConnection(new HttpConnection(
            socket, limits_, [this, client] { Released(client); }, [this] { Closed(); }, this));
    }
    PauseIfFull();
}

void GuardedTcpServer::Refuse(QTcpSocket* socket) {
    ++refusing_;
    connect(socket, &QObject::destroyed, this, [this] {
        --refusing_;
        ResumeIfRoom();
    });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->write(
        "HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain; charset=utf-8\r\n"
        "Content-Length: 20\r\nRetry-After: 1\r\nConnection: close\r\n\r\n"
        "Too many connections");
    CloseGently(*socket, limits_.lingerMs);
    if (socket->state() == QAbstractSocket::UnconnectedState) socket->deleteLater();
}

void GuardedTcpServer::Released(const QByteArray& client) {
    --open_;
    ++closing_;
    if (--perClient_[client] <= 0) perClient_.remove(client);
}

void GuardedTcpServer::Closed() {
    --closing_;
    ResumeIfRoom();
}

void GuardedTcpServer::AcceptFailed(QAbstractSocket::SocketError error) {
    // QTcpServer stops accepting by itself after an error; a lack of descriptors passes.
    if (error != QAbstractSocket::SocketResourceError) return;
    if (!outOfDescriptors_ && log_) {
        log_("Web server cannot accept connections for now: " + errorString().toStdString() + ".");
    }
    outOfDescriptors_ = true;
    pauseAccepting();
    retry_.start(kRetryMs);
}

// Every connection, even one turned away or closing, holds a descriptor: beyond the limit and
// the slots for those the system keeps the newcomers waiting instead.
// QTcpServer takes every connection waiting before it looks at pauseAccepting() again, and
// a connection handed on turns accepting back on; no room for pending connections stops it.
void GuardedTcpServer::PauseIfFull() {
    if (open_ + refusing_ + closing_ < limits_.maxConnections + limits_.maxRefusing) return;
    setMaxPendingConnections(0);
    pauseAccepting();
}

void GuardedTcpServer::ResumeIfRoom() {
    if (open_ + refusing_ + closing_ >= limits_.maxConnections + limits_.maxRefusing ||
        !isListening())
        return;
    setMaxPendingConnections(kPendingConnections);
    resumeAccepting();
}

}  // namespace noxa
