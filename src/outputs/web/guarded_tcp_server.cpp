#include "outputs/web/guarded_tcp_server.h"

#include "outputs/web/descriptor_budget.h"
#include "outputs/web/gentle_close.h"
#include "outputs/web/http_connection.h"

#include <QTcpSocket>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace noxa {
namespace {

// How often the descriptors left are counted.
constexpr int kWatchMs = 1000;
// Descriptors free again before accepting resumes, so that it does not flap.
constexpr long kFreeToResume = kFreeDescriptorsKept + 16;
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
    connect(&watch_, &QTimer::timeout, this, &GuardedTcpServer::CheckDescriptors);
    connect(this, &QTcpServer::acceptError, this, &GuardedTcpServer::AcceptFailed);
    watch_.start(kWatchMs);
}

GuardedTcpServer::~GuardedTcpServer() {
    // The connections tell the server when they go: they go while it is still whole.
    qDeleteAll(findChildren<HttpConnection*>(Qt::FindDirectChildrenOnly));
}

void GuardedTcpServer::incomingConnection(qintptr descriptor) {
    const long free = FreeDescriptorsAbove(static_cast<long>(descriptor));
    if (free < kFreeDescriptorsKept) {
        ShortOfDescriptors("only " + std::to_string(free) + " descriptors are free");
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
    UpdateAccepting();
}

void GuardedTcpServer::Refuse(QTcpSocket* socket) {
    ++refusing_;
    connect(socket, &QObject::destroyed, this, [this] {
        --refusing_;
        UpdateAccepting();
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
    UpdateAccepting();
}

void GuardedTcpServer::AcceptFailed() {
    listenerSpoilt_ = true;
    ShortOfDescriptors(errorString().toStdString());
}

void GuardedTcpServer::ShortOfDescriptors(const std::string& why) {
    if (!shortOfDescriptors_)
        log_.Warning("Web server cannot accept connections for now: " + why + ".");
    shortOfDescriptors_ = true;
    UpdateAccepting();
}

void GuardedTcpServer::CheckDescriptors() {
    const long free = FreeDescriptors();
    if (free < kFreeDescriptorsKept) {
        ShortOfDescriptors("only " + std::to_string(free) + " descriptors are free");
        return;
    }
    if (!shortOfDescriptors_ || free < kFreeToResume) return;
    if (listenerSpoilt_ && !RenewListener()) return;
    shortOfDescriptors_ = false;
    log_.Info("Web server accepts connections again.");
    UpdateAccepting();
}

// The same listening socket under a fresh QTcpServer engine; the connections waiting in the
// system's queue stay there.
bool GuardedTcpServer::RenewListener() {
#ifdef Q_OS_UNIX
    const int copy = ::dup(static_cast<int>(socketDescriptor()));
    if (copy < 0) return false;
    close();
    if (!setSocketDescriptor(copy)) {
        ::close(copy);
        return false;
    }
#endif
    listenerSpoilt_ = false;
    return true;
}

// QTcpServer takes every connection waiting before it looks at pauseAccepting() again, and
// a connection handed on turns accepting back on; no room for pending connections stops it.
// Every connection, even one turned away or closing, holds a descriptor: beyond the limit and
// the slots for those the system keeps the newcomers waiting instead.
void GuardedTcpServer::UpdateAccepting() {
    const bool full = open_ + refusing_ + closing_ >= limits_.maxConnections + limits_.maxRefusing;
    if (full || shortOfDescriptors_) {
        setMaxPendingConnections(0);
        pauseAccepting();
    } else if (isListening()) {
        setMaxPendingConnections(kPendingConnections);
        resumeAccepting();
    }
}

}  // namespace noxa
