#include "outputs/web/web_server.h"

#include "outputs/common/latest_readings.h"
#include "outputs/common/metrics_text.h"
#include "outputs/common/readings_json.h"
#include "outputs/web/history_json.h"
#include "outputs/web/http_connection.h"
#include "outputs/web/nights_json.h"

#include <QCryptographicHash>
#include <QDate>
#include <QFile>
#include <QHttpServerRequest>
#include <QStringList>
#include <QTcpSocket>
#include <QUrlQuery>

namespace noxa {
namespace {

using Method = QHttpServerRequest::Method;

enum class Resource {
    Page,
    Readings,
    History,
    Metrics,
    MagImage,
    TempImage,
    NightsPage,
    Nights,
    NightChart,
};

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
    {"/nights", Resource::NightsPage},
    {"/api/nights", Resource::Nights},
};
// Every path under it is taken, but only "/night/yyyy-MM-dd.png" is ever answered.
constexpr Route kNightCharts = {"/night/", Resource::NightChart};

// The images are a few tens of kilobytes; anything far larger is not ours to send.
constexpr qint64 kMaxImageBytes = 8 * 1024 * 1024;
// A night's summary line is about a hundred bytes: this is far more than a station keeps.
constexpr qint64 kMaxSummaryBytes = 4 * 1024 * 1024;
// A past night's chart does not change: a phone may keep it for a week.
constexpr char kNightChartCache[] = "max-age=604800";

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
    QByteArray cache = "no-store";
};

// A page with its style and script inside, and the security policy that admits exactly those
// two by their hashes, so that nothing from elsewhere runs. The scripts are joined into one.
void BuildPage(const QString& html, const QStringList& styles, const QStringList& scripts,
               QByteArray& page, QByteArray& policy) {
    QByteArray style;
    for (const QString& name : styles) style += ReadResource(name);
    QByteArray code;
    for (const QString& name : scripts) code += ReadResource(name);
    page = ReadResource(html);
    page.replace("/*STYLE*/", style);
    page.replace("/*SCRIPT*/", code);
    policy = "Content-Security-Policy: default-src 'none'; script-src " + Sha256Source(code) +
             "; style-src " + Sha256Source(style) +
             "; img-src 'self' data:; connect-src 'self'; base-uri 'none'; "
             "form-action 'none'; frame-ancestors 'none'\r\n"
             "Referrer-Policy: no-referrer\r\n";
}

// "night/yyyy-MM-dd.png" for the path "/night/yyyy-MM-dd.png" of a real date; empty for any
// other path, so that nothing but those charts can be named.
std::string NightChartFile(const QString& path) {
    const qsizetype prefix = qstrlen(kNightCharts.path);
    const QString name = path.mid(prefix);
    if (name.size() != 14 || !name.endsWith(QLatin1String(".png"))) return {};
    for (qsizetype i = 0; i < 10; ++i) {
        const QChar c = name[i];
        if (i == 4 || i == 7 ? c != u'-' : (c < u'0' || c > u'9')) return {};
    }
    if (!QDate::fromString(name.left(10), QStringLiteral("yyyy-MM-dd")).isValid()) return {};
    return "night/" + name.toStdString();
}

// The newest part of the summary file, whole lines only; empty when there is none.
QByteArray ReadSummary(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) return {};
    if (file.size() <= kMaxSummaryBytes) return file.readAll();
    if (!file.seek(file.size() - kMaxSummaryBytes)) return {};
    QByteArray tail = file.read(kMaxSummaryBytes);
    return tail.mid(tail.indexOf('\n') + 1);
}

// The `limit` of the query, or 0 for none.
int LimitOf(const QHttpServerRequest& request) {
    bool ok = false;
    const int limit = QUrlQuery(request.url()).queryItemValue(QStringLiteral("limit")).toInt(&ok);
    return ok && limit > 0 ? limit : 0;
}

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
    const QString dashboardStyle = QStringLiteral(":/web/dashboard.css");
    // Both pages share the night mode's script, ahead of their own.
    const QString nightMode = QStringLiteral(":/web/nightmode.js");
    BuildPage(QStringLiteral(":/web/index.html"), {dashboardStyle},
              {nightMode, QStringLiteral(":/web/dashboard.js")}, page_, pagePolicy_);
    BuildPage(QStringLiteral(":/web/nights.html"),
              {dashboardStyle, QStringLiteral(":/web/nights.css")},
              {nightMode, QStringLiteral(":/web/nights.js")}, nightsPage_, nightsPolicy_);
}

bool WebServer::Listen(const QHostAddress& address, quint16 port, QString& error) {
    auto* listener = new GuardedTcpServer(limits_, log_, this);
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

void WebServer::LogTo(GuardedTcpServer::Log log) {
    log_ = std::move(log);
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
    if (route == nullptr && path.startsWith(QLatin1String(kNightCharts.path)))
        route = &kNightCharts;
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
            case Resource::NightsPage:
                answer.type = "text/html; charset=utf-8";
                answer.body = nightsPage_;
                answer.extraHeaders = nightsPolicy_;
                break;
            case Resource::Nights:
                answer.type = "application/json";
                answer.body =
                    NightsJson(ReadSummary(dir_.File("night/summary.csv")), LimitOf(request));
                break;
            case Resource::NightChart: {
                const std::string name = NightChartFile(path);
                QFile file(dir_.File(name));
                if (!name.empty() && file.open(QIODevice::ReadOnly) &&
                    file.size() <= kMaxImageBytes) {
                    answer.type = "image/png";
                    answer.body = file.readAll();
                    answer.cache = kNightChartCache;
                } else {
                    answer = Text(404, "Not Found", "Not found\n");
                }
                break;
            }
        }
    }
    // Whether the connection stays open is the HttpConnection's to decide, from the request
    // as the client sent it.
    Send(socket, answer, !head);
    return true;
}

void WebServer::missingHandler(const QHttpServerRequest&, QTcpSocket* socket) {
    Send(socket, Text(404, "Not Found", "Not found\n"), true);
}

}  // namespace noxa
