#include "outputs/web/route_server.h"

#include "outputs/web/http_daemon.h"

#include <QMetaObject>
#include <QPointer>

namespace noxa {

WebReply TextReply(int status, const QByteArray& reason, const QByteArray& text) {
    return WebReply{status, reason, "text/plain; charset=utf-8", text};
}

QString ServerUrl(const QHostAddress& address, quint16 port) {
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? '[' + address.toString() + ']'
                             : address.toString();
    return QStringLiteral("http://%1:%2/").arg(host).arg(port);
}

RouteServer::RouteServer(WebLimits limits, QObject* parent) : QObject(parent), limits_(limits) {}

RouteServer::~RouteServer() {
    Stop();
}

void RouteServer::Stop() {
    daemon_.reset();
}

bool RouteServer::Listen(const QHostAddress& address, quint16 port, QString& error) {
    if (!daemon_) {
        // The acceptor's lines are said on this object's thread, where the log lives.
        QPointer<RouteServer> self(this);
        auto say = [self](LogLevel level, std::string line) {
            QMetaObject::invokeMethod(
                self, [self, level, line] { self->log_(level, line); }, Qt::QueuedConnection);
        };
        daemon_ = std::make_unique<HttpDaemon>(
            limits_, [this](const WebRequest& request) { return Answer(request); }, say);
    }
    if (!daemon_->Start(address, port, error)) return false;
    address_ = address;
    emit listening(address);
    return true;
}

quint16 RouteServer::Port() const {
    return daemon_ ? daemon_->Port() : 0;
}

int RouteServer::OpenConnections() const {
    return daemon_ ? daemon_->OpenConnections() : 0;
}

void RouteServer::LogTo(Log log) {
    log_ = std::move(log);
}

void RouteServer::Mount(QByteArray prefix, Handler handler) {
    Add({std::move(prefix), true, true, std::move(handler)});
}

void RouteServer::AddRoute(QByteArray path, Handler handler) {
    Add({std::move(path), false, false, std::move(handler)});
}

void RouteServer::AddPrefixRoute(QByteArray prefix, Handler handler) {
    Add({std::move(prefix), true, false, std::move(handler)});
}

// The routes are never changed in place: requests under way keep the ones they began with.
void RouteServer::Add(Route route) {
    std::lock_guard lock(mutex_);
    auto routes = std::make_shared<Routes>(*routes_);
    routes->push_back(std::move(route));
    routes_ = std::move(routes);
}

namespace {

// The route that takes `path`: one of the path itself before any prefix, then the first prefix
// added; nullptr when none does.
template <typename Routes>
const auto* RouteOf(const Routes& routes, const QString& path) {
    for (const auto& route : routes) {
        if (!route.prefix && path == QLatin1String(route.path)) return &route;
    }
    for (const auto& route : routes) {
        if (route.prefix && path.startsWith(QLatin1String(route.path))) return &route;
    }
    return static_cast<decltype(&routes.front())>(nullptr);
}

}  // namespace

WebReply RouteServer::Answer(const WebRequest& request) const {
    const bool options = request.method == "OPTIONS";
    // The server as a whole: what it can be asked.
    if (options && request.path == QLatin1String("*")) {
        WebReply reply = TextReply(204, "No Content", {});
        reply.extraHeaders = "Allow: GET, HEAD, PUT, OPTIONS\r\n";
        return reply;
    }
    std::shared_ptr<const Routes> routes;
    {
        std::lock_guard lock(mutex_);
        routes = routes_;
    }
    const auto* route = RouteOf(*routes, request.path);
    if (route == nullptr) return TextReply(404, "Not Found", "Not found\n");
    const QByteArray allow = route->acceptsPut ? "GET, HEAD, PUT" : "GET, HEAD";
    if (options) {
        WebReply reply = TextReply(204, "No Content", {});
        reply.extraHeaders = "Allow: " + allow + ", OPTIONS\r\n";
        return reply;
    }
    const bool allowed =
        request.method == "GET" || request.IsHead() || (route->acceptsPut && request.IsPut());
    if (!allowed) {
        WebReply reply = TextReply(405, "Method Not Allowed", "Method not allowed\n");
        reply.extraHeaders = "Allow: " + allow + "\r\n";
        return reply;
    }
    return route->handler(request);
}

}  // namespace noxa
