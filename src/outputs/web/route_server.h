#pragma once

#include "core/station_log.h"
#include "outputs/web/guarded_tcp_server.h"
#include "outputs/web/web_limits.h"

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QHostAddress>
#include <QPointer>
#include <QString>

#include <functional>
#include <vector>

namespace noxa {

// An answer of the server, made by one of its own routes or by a handler mounted on it.
struct WebReply {
    int status = 200;
    QByteArray reason = "OK";
    QByteArray type = "application/json";
    QByteArray body;
    QByteArray extraHeaders = {};  // whole lines, each ending in CR LF
    QByteArray cache = "no-store";
};

// A plain-text answer, e.g. Text(404, "Not Found", "Not found\n").
WebReply TextReply(int status, const QByteArray& reason, const QByteArray& text);

// An HTTP server that answers GET and HEAD requests from routes made in memory, each for one
// path or for every path under a prefix, behind a GuardedTcpServer that keeps the limits.
// Nothing is ever looked up on disk by its path. Everything runs on the thread it is made on.
class RouteServer : public QAbstractHttpServer {
    Q_OBJECT

public:
    using Handler = std::function<WebReply(const QHttpServerRequest& request)>;

    explicit RouteServer(WebLimits limits = {}, QObject* parent = nullptr);

    // Listens on `address`, `port` (0: a free one). False, with the reason, when it cannot.
    bool Listen(const QHostAddress& address, quint16 port, QString& error);
    // The port it listens on, or 0.
    quint16 Port() const;
    // The address it listens on, once it does.
    const QHostAddress& ListeningAddress() const { return address_; }
    int OpenConnections() const;
    // Where the server says what keeps it from taking connections, and when that passes; set
    // before Listen().
    void LogTo(Log log);

    // Hands every GET, HEAD and PUT request whose path starts with `prefix` and that no route
    // of the server's own, nor one mounted before, takes to `handler` (a HEAD request as a GET,
    // its body left out).
    void Mount(QByteArray prefix, Handler handler);

signals:
    // It listens now, on `address`.
    void listening(const QHostAddress& address);

protected:
    // A route of the server's own: GET and HEAD of exactly `path`, or of every path under it.
    void AddRoute(QByteArray path, Handler handler);
    void AddPrefixRoute(QByteArray prefix, Handler handler);

    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    // What answers the requests of one path, or of every path under a prefix.
    struct Route {
        QByteArray path;
        bool prefix = false;      // every path that starts with `path`
        bool acceptsPut = false;  // PUT besides GET and HEAD
        Handler handler;
    };
    // The route that takes `path`: one of the path itself before any prefix, then the first
    // prefix added; nullptr when none does.
    const Route* RouteOf(const QString& path) const;

    const WebLimits limits_;
    Log log_;
    QPointer<GuardedTcpServer> listener_;
    QHostAddress address_;
    std::vector<Route> routes_;
};

// "http://address:port/", the address in brackets when it is IPv6.
QString ServerUrl(const QHostAddress& address, quint16 port);

}  // namespace noxa
