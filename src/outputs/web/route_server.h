#pragma once

#include "core/station_log.h"
#include "outputs/web/web_limits.h"
#include "outputs/web/web_request.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace noxa {

class HttpDaemon;

// The body of a large answer, made a piece at a time while the client reads: each call gives
// the next piece, an empty one ends the body and none breaks it off, so that the client sees an
// answer cut short. It is called on the thread that serves the connection, only when the client
// has taken the pieces before, and never for HEAD.
using BodySource = std::function<std::optional<QByteArray>()>;

// An answer of the server, made by one of its own routes or by a handler mounted on it.
struct WebReply {
    int status = 200;
    QByteArray reason = "OK";
    QByteArray type = "application/json";
    QByteArray body;
    QByteArray extraHeaders = {};  // whole lines, each ending in CR LF
    QByteArray cache = "no-store";
    // When set, the body comes from here instead, of a length not known before (chunked for
    // HTTP/1.1; for HTTP/1.0 the connection closes after it).
    BodySource source = {};
};

// A plain-text answer, e.g. Text(404, "Not Found", "Not found\n").
WebReply TextReply(int status, const QByteArray& reason, const QByteArray& text);

// An HTTP server that answers GET and HEAD requests from routes made in memory, each for one
// path or for every path under a prefix. Nothing is ever looked up on disk by its path.
// The HTTP library frames, reads and writes the connections on threads of its own, and the
// routes' handlers run there: they must read only what is safe to read from any thread.
// Routes may be added while it serves (other outputs mount theirs once it runs).
class RouteServer : public QObject {
    Q_OBJECT

public:
    using Handler = std::function<WebReply(const WebRequest& request)>;

    explicit RouteServer(WebLimits limits = {}, QObject* parent = nullptr);
    ~RouteServer() override;

    // Listens on `address`, `port` (0: a free one). False, with the reason, when it cannot.
    bool Listen(const QHostAddress& address, quint16 port, QString& error);
    // The port it listens on, or 0.
    quint16 Port() const;
    // The address it listens on, once it does.
    const QHostAddress& ListeningAddress() const { return address_; }
    // Connections open now, not counting those being turned away.
    int OpenConnections() const;
    // Where the server says what keeps it from taking connections, and when that passes; set
    // before Listen(). The lines are said on this object's thread.
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
    // Stops serving before the routes' owner goes: the handlers run no more once it returns.
    void Stop();

private:
    struct Route {
        QByteArray path;
        bool prefix = false;      // every path that starts with `path`
        bool acceptsPut = false;  // PUT besides GET and HEAD
        Handler handler;
    };
    using Routes = std::vector<Route>;
    void Add(Route route);
    WebReply Answer(const WebRequest& request) const;

    const WebLimits limits_;
    Log log_;
    std::unique_ptr<HttpDaemon> daemon_;
    QHostAddress address_;
    mutable std::mutex mutex_;
    std::shared_ptr<const Routes> routes_ = std::make_shared<Routes>();
};

// "http://address:port/", the address in brackets when it is IPv6.
QString ServerUrl(const QHostAddress& address, quint16 port);

}  // namespace noxa
