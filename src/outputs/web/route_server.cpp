#include "outputs/web/route_server.h"

#include "outputs/web/http_connection.h"

#include <QHttpServerRequest>
#include <QTcpSocket>

namespace noxa {
namespace {

using Method = QHttpServerRequest::Method;

void Send(QTcpSocket* socket, const WebReply& answer, bool withBody) {
    QByteArray out;
    out.reserve(256 + (withBody ? answer.body.size() : 0));
    out += "HTTP/1.1 ";
    out += QByteArray::number(answer.status);
    out += ' ';
    out += answer.reason;
    out += "\r\nContent-Type: ";
    out += answer.type;
    out += "\r\nContent-Length: ";
    out += QByteArray::number(answer.body.size());
    out += "\r\nCache-Control: ";
    out += answer.cache;
    out += "\r\nX-Content-Type-Options: nosniff\r\n";
    if (const auto* connection = qobject_cast<const HttpConnection*>(socket))
        out += connection->ConnectionHeader();
    out += answer.extraHeaders;
    out += "\r\n";
    if (withBody) out += answer.body;
    socket->write(out);
}

}  // namespace

WebReply TextReply(int status, const QByteArray& reason, const QByteArray& text) {
    return WebReply{status, reason, "text/plain; charset=utf-8", text};
}

QString ServerUrl(const QHostAddress& address, quint16 port) {
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? '[' + address.toString() + ']'
                             : address.toString();
    return QStringLiteral("http://%1:%2/").arg(host).arg(port);
}

RouteServer::RouteServer(WebLimits limits, QObject* parent)
    : QAbstractHttpServer(parent), limits_(limits) {}

bool RouteServer::Listen(const QHostAddress& address, quint16 port, QString& error) {
    auto* listener = new GuardedTcpServer(limits_, log_, this);
    if (!listener->listen(address, port)) {
        error = listener->errorString();
        delete listener;
        return false;
    }
    bind(listener);
    listener_ = listener;
    address_ = address;
    emit listening(address);
    return true;
}

quint16 RouteServer::Port() const {
    return listener_ ? listener_->serverPort() : 0;
}

int RouteServer::OpenConnections() const {
    return listener_ ? listener_->OpenConnections() : 0;
}

void RouteServer::LogTo(Log log) {
    log_ = std::move(log);
}

void RouteServer::Mount(QByteArray prefix, Handler handler) {
    routes_.push_back({std::move(prefix), true, true, std::move(handler)});
}

void RouteServer::AddRoute(QByteArray path, Handler handler) {
    routes_.push_back({std::move(path), false, false, std::move(handler)});
}

void RouteServer::AddPrefixRoute(QByteArray prefix, Handler handler) {
    routes_.push_back({std::move(prefix), true, false, std::move(handler)});
}

const RouteServer::Route* RouteServer::RouteOf(const QString& path) const {
    for (const Route& route : routes_) {
        if (!route.prefix && path == QLatin1String(route.path)) return &route;
    }
    for (const Route& route : routes_) {
        if (route.prefix && path.startsWith(QLatin1String(route.path))) return &route;
    }
    return nullptr;
}

bool RouteServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    const Route* route = RouteOf(request.url().path());
    const Method method = request.method();
    const bool head = method == Method::Head;
    const bool allowed =
        method == Method::Get || head || (route && route->acceptsPut && method == Method::Put);
    WebReply answer;
    if (route == nullptr) {
        answer = TextReply(404, "Not Found", "Not found\n");
    } else if (!allowed) {
        answer = TextReply(405, "Method Not Allowed", "Method not allowed\n");
        answer.extraHeaders =
            route->acceptsPut ? "Allow: GET, HEAD, PUT\r\n" : "Allow: GET, HEAD\r\n";
    } else {
        answer = route->handler(request);
    }
    // Whether the connection stays open is the HttpConnection's to decide, from the request
    // as the client sent it.
    Send(socket, answer, !head);
    return true;
}

void RouteServer::missingHandler(const QHttpServerRequest&, QTcpSocket* socket) {
    Send(socket, TextReply(404, "Not Found", "Not found\n"), true);
}

}  // namespace noxa
