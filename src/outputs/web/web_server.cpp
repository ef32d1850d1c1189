#include "outputs/web/web_server.h"

#include "outputs/common/latest_readings.h"
#include "outputs/common/metrics_text.h"
#include "outputs/common/readings_json.h"
#include "outputs/web/history_json.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHttpServerRequest>
#include <QTcpSocket>

namespace noxa {
namespace {

using Method = QHttpServerRequest::Method;

enum class Resource { Page, Readings, History, Metrics, MagImage, TempImage };

struct Route {
    const char* path;
    Resource resource;
};

constexpr Route kRoutes[] = {
    {"/", Resource::Page},
    {"/api/readings", Resource::Readings},
    {"/api/history", Resource::History},
    {"/metrics", Resource::Metrics},
    {"/mag.jpg", Resource::MagImage},
    {"/temp.jpg", Resource::TempImage},
};

// The images are a few tens of kilobytes; anything far larger is not ours to send.
constexpr qint64 kMaxImageBytes = 8 * 1024 * 1024;

QByteArray ReadResource(const QString& name) {
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("The dashboard resource %s is missing", qPrintable(name));
    return file.readAll();
}

QByteArray Sha256Source(const QByteArray& text) {
    return "'sha256-" + QCryptographicHash::hash(text, QCryptographicHash::Sha256).toBase64() + "'";
}

struct Answer {
    int status = 200;
    QByteArray reason = "OK";
    QByteArray type;
    QByteArray body;
    QByteArray extraHeaders;  // whole lines, each ending in CR LF
};

Answer Text(int status, const char* reason, const char* text) {
    return Answer{status, reason, "text/plain; charset=utf-8", text, {}};
}

void Send(QTcpSocket* socket, const Answer& answer, bool withBody) {
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
    out += "\r\nCache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n";
    out += answer.extraHeaders;
    out += "\r\n";
    if (withBody) out += answer.body;
    socket->write(out);
}

}  // namespace

QString ServerUrl(const QHostAddress& address, quint16 port) {
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? '[' + address.toString() + ']'
                             : address.toString();
    return QStringLiteral("http://%1:%2/").arg(host).arg(port);
}

WebServer::WebServer(const LatestReadings& readings, const DayTables& days, WorkDir dir,
                     WebLimits limits, QObject* parent)
    : QAbstractHttpServer(parent),
      readings_(readings),
      days_(days),
      dir_(std::move(dir)),
      limits_(limits) {
    // One page with its style and script inside: the policy then names exactly those two by
    // their hashes, and nothing from elsewhere runs.
    const QByteArray style = ReadResource(QStringLiteral(":/web/dashboard.css"));
    const QByteArray script = ReadResource(QStringLiteral(":/web/dashboard.js"));
    page_ = ReadResource(QStringLiteral(":/web/index.html"));
    page_.replace("/*STYLE*/", style);
    page_.replace("/*SCRIPT*/", script);
    pagePolicy_ = "Content-Security-Policy: default-src 'none'; script-src " +
                  Sha256Source(script) + "; style-src " + Sha256Source(style) +
                  "; img-src 'self' data:; connect-src 'self'; base-uri 'none'; "
                  "form-action 'none'; frame-ancestors 'none'\r\n"
                  "Referrer-Policy: no-referrer\r\n";
}

bool WebServer::Listen(const QHostAddress& address, quint16 port, QString& error) {
    auto* listener = new GuardedTcpServer(limits_, this);
    if (!listener->listen(address, port)) {
        error = listener->errorString();
        delete listener;
        return false;
    }
    bind(listener);
    listener_ = listener;
    return true;
}

quint16 WebServer::Port() const {
    return listener_ ? listener_->serverPort() : 0;
}

int WebServer::OpenConnections() const {
    return listener_ ? listener_->OpenConnections() : 0;
}

void WebServer::Mount(QByteArray prefix, Handler handler) {
    mounts_.emplace_back(std::move(prefix), std::move(handler));
}

bool WebServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    const QString path = request.url().path();
    const Route* route = nullptr;
    for (const Route& r : kRoutes) {
        if (path == QLatin1String(r.path)) route = &r;
    }
    const Method method = request.method();
    const bool head = method == Method::Head;

    const Handler* mounted = nullptr;
    if (route == nullptr) {
        for (const auto& [prefix, handler] : mounts_) {
            if (path.startsWith(QLatin1String(prefix))) mounted = &handler;
        }
    }

    Answer answer;
    if (mounted != nullptr) {
        if (method == Method::Get || head || method == Method::Put) {
            WebReply reply = (*mounted)(request);
            answer = Answer{reply.status,
                            std::move(reply.reason),
                            std::move(reply.type),
                            std::move(reply.body),
                            {}};
        } else {
            answer = Text(405, "Method Not Allowed", "Method not allowed\n");
            answer.extraHeaders = "Allow: GET, HEAD, PUT\r\n";
        }
    } else if (route == nullptr) {
        answer = Text(404, "Not Found", "Not found\n");
    } else if (method != Method::Get && !head) {
        answer = Text(405, "Method Not Allowed", "Method not allowed\n");
        answer.extraHeaders = "Allow: GET, HEAD\r\n";
    } else {
        switch (route->resource) {
            case Resource::Page:
                answer.type = "text/html; charset=utf-8";
                answer.body = page_;
                answer.extraHeaders = pagePolicy_;
                break;
            case Resource::Readings:
                answer.type = "application/json";
                answer.body = ReadingsJson(readings_);
                break;
            case Resource::History:
                answer.type = "application/json";
                answer.body = HistoryJson(days_);
                break;
            case Resource::Metrics:
                answer.type = kMetricsContentType;
                answer.body = MetricsText(readings_);
                break;
            case Resource::MagImage:
            case Resource::TempImage: {
                QFile file(
                    dir_.File(route->resource == Resource::MagImage ? "mag.jpg" : "temp.jpg"));
                if (file.open(QIODevice::ReadOnly) && file.size() <= kMaxImageBytes) {
                    answer.type = "image/jpeg";
                    answer.body = file.readAll();
                } else {
                    answer = Text(404, "Not Found", "No chart image yet\n");
                }
                break;
            }
        }
    }
    Send(socket, answer, !head);

    if (request.value("connection").compare("close", Qt::CaseInsensitive) == 0) {
        socket->disconnectFromHost();
    } else if (ConnectionGuard* guard = ConnectionGuard::Of(socket)) {
        guard->Answered();
    }
    return true;
}

void WebServer::missingHandler(const QHttpServerRequest&, QTcpSocket* socket) {
    Send(socket, Text(404, "Not Found", "Not found\n"), true);
}

}  // namespace noxa
