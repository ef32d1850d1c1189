#pragma once

#include "core/work_dir.h"
#include "outputs/web/guarded_tcp_server.h"

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QHostAddress>
#include <QPointer>
#include <QString>

#include <functional>
#include <vector>

namespace noxa {

class LatestReadings;
struct DayTables;

// An answer of the server, made by one of its own routes or by a handler mounted on it.
struct WebReply {
    int status = 200;
    QByteArray reason = "OK";
    QByteArray type = "application/json";
    QByteArray body;
    QByteArray extraHeaders = {};  // whole lines, each ending in CR LF
    QByteArray cache = "no-store";
};

// The station's web server: the dashboard ("/"), the newest readings ("/api/readings"), the
// chart history ("/api/history"), the chart images ("/mag.jpg", "/temp.jpg"), the metrics
// ("/metrics"), and the past nights: their page ("/nights"), their summaries ("/api/nights")
// and their charts ("/night/yyyy-MM-dd.png"), and the years: their page ("/years"), the months
// ("/api/monthly") and the years' charts ("/hourglass/yyyy.png"). Nothing else: no path is ever
// looked up on disk.
// Every answer is made from memory on the station's thread (the thread the server is made on),
// apart from the small files read from the working folder where the station writes them: the two
// images, "night/summary.csv", "night/monthly.csv" and the nights' and years' charts.
class WebServer : public QAbstractHttpServer {
    Q_OBJECT

public:
    WebServer(const LatestReadings& readings, const DayTables& days, WorkDir dir,
              WebLimits limits = {}, QObject* parent = nullptr);

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
    using Handler = std::function<WebReply(const QHttpServerRequest& request)>;
    void Mount(QByteArray prefix, Handler handler);

signals:
    // It listens now, on `address`.
    void listening(const QHostAddress& address);

protected:
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
    void AddOwnRoutes();
    // The route that takes `path`: one of the path itself before any prefix, then the first
    // prefix added; nullptr when none does.
    const Route* RouteOf(const QString& path) const;

    const LatestReadings& readings_;
    const DayTables& days_;
    const WorkDir dir_;
    const WebLimits limits_;
    Log log_;
    QPointer<GuardedTcpServer> listener_;
    QHostAddress address_;
    std::vector<Route> routes_;
    // The dashboard, its style and script inlined, and the security policy that admits them.
    QByteArray page_;
    QByteArray pagePolicy_;
    // The page of past nights, made the same way.
    QByteArray nightsPage_;
    QByteArray nightsPolicy_;
    // The page of years, made the same way.
    QByteArray yearsPage_;
    QByteArray yearsPolicy_;
};

// "http://address:port/", the address in brackets when it is IPv6.
QString ServerUrl(const QHostAddress& address, quint16 port);

}  // namespace noxa
