#include "outputs/web/web_server.h"

#include "outputs/common/latest_readings.h"
#include "outputs/common/metrics_text.h"
#include "outputs/common/readings_json.h"
#include "outputs/web/history_json.h"
#include "outputs/web/hourglass_route.h"
#include "outputs/web/http_connection.h"
#include "outputs/web/monthly_json.h"
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

// Every path under it is taken, but only "/night/yyyy-MM-dd.png" is ever answered.
constexpr char kNightCharts[] = "/night/";

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
    const qsizetype prefix = qstrlen(kNightCharts);
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

WebReply Text(int status, const char* reason, const char* text) {
    return WebReply{status, reason, "text/plain; charset=utf-8", text};
}

WebReply Page(const QByteArray& page, const QByteArray& policy) {
    return WebReply{200, "OK", "text/html; charset=utf-8", page, policy};
}

WebReply Json(QByteArray json) {
    return WebReply{200, "OK", "application/json", std::move(json)};
}

// A file of the working folder that the station writes, when it is there and of a sane size.
WebReply FileOf(const QString& name, const char* type, const char* missing) {
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxImageBytes)
        return Text(404, "Not Found", missing);
    return WebReply{200, "OK", type, file.readAll()};
}

// A past night's chart, for the path "/night/yyyy-MM-dd.png".
WebReply NightChart(const WorkDir& dir, const QString& path) {
    const std::string name = NightChartFile(path);
    if (name.empty()) return Text(404, "Not Found", "Not found\n");
    WebReply chart = FileOf(dir.File(name), "image/png", "Not found\n");
    if (chart.status == 200) chart.cache = kNightChartCache;
    return chart;
}

// The station's chart of a year, for the path "/hourglass/yyyy.png".
WebReply HourglassChart(const WorkDir& dir, const QString& path) {
    const std::string name = HourglassChartFile(path);
    if (name.empty()) return Text(404, "Not Found", "Not found\n");
    return FileOf(dir.File(name), "image/png", "No chart of that year\n");
}

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
    // The pages share the night mode's script, ahead of their own.
    const QString nightMode = QStringLiteral(":/web/nightmode.js");
    BuildPage(QStringLiteral(":/web/index.html"), {dashboardStyle},
              {nightMode, QStringLiteral(":/web/dashboard.js")}, page_, pagePolicy_);
    BuildPage(QStringLiteral(":/web/nights.html"),
              {dashboardStyle, QStringLiteral(":/web/nights.css")},
              {nightMode, QStringLiteral(":/web/nights.js")}, nightsPage_, nightsPolicy_);
    BuildPage(QStringLiteral(":/web/years.html"),
              {dashboardStyle, QStringLiteral(":/web/years.css")},
              {nightMode, QStringLiteral(":/web/years.js")}, yearsPage_, yearsPolicy_);
    AddOwnRoutes();
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
    address_ = address;
    emit listening(address);
    return true;
}

quint16 WebServer::Port() const {
    return listener_ ? listener_->serverPort() : 0;
}

int WebServer::OpenConnections() const {
    return listener_ ? listener_->OpenConnections() : 0;
}

void WebServer::LogTo(Log log) {
    log_ = std::move(log);
}

void WebServer::Mount(QByteArray prefix, Handler handler) {
    routes_.push_back({std::move(prefix), true, true, std::move(handler)});
}

void WebServer::AddOwnRoutes() {
    const auto add = [this](const char* path, Handler handler) {
        routes_.push_back({path, false, false, std::move(handler)});
    };
    add("/", [this](const auto&) { return Page(page_, pagePolicy_); });
    add("/api/readings", [this](const auto&) { return Json(ReadingsJson(readings_)); });
    add("/api/history", [this](const auto&) { return Json(HistoryJson(days_)); });
    add("/metrics", [this](const auto&) {
        return WebReply{200, "OK", kMetricsContentType, MetricsText(readings_)};
    });
    add("/mag.jpg", [this](const auto&) {
        return FileOf(dir_.File("mag.jpg"), "image/jpeg", "No chart image yet\n");
    });
    add("/temp.jpg", [this](const auto&) {
        return FileOf(dir_.File("temp.jpg"), "image/jpeg", "No chart image yet\n");
    });
    add("/nights", [this](const auto&) { return Page(nightsPage_, nightsPolicy_); });
    add("/api/nights", [this](const QHttpServerRequest& request) {
        return Json(NightsJson(ReadSummary(dir_.File("night/summary.csv")), LimitOf(request)));
    });
    routes_.push_back({kNightCharts, true, false, [this](const QHttpServerRequest& request) {
                           return NightChart(dir_, request.url().path());
                       }});
    add("/years", [this](const auto&) { return Page(yearsPage_, yearsPolicy_); });
    add("/api/monthly", [this](const auto&) {
        return Json(MonthlyJson(ReadMonthlyFile(dir_.File("night/monthly.csv"))));
    });
    routes_.push_back({kHourglassCharts, true, false, [this](const QHttpServerRequest& request) {
                           return HourglassChart(dir_, request.url().path());
                       }});
}

const WebServer::Route* WebServer::RouteOf(const QString& path) const {
    for (const Route& route : routes_) {
        if (!route.prefix && path == QLatin1String(route.path)) return &route;
    }
    for (const Route& route : routes_) {
        if (route.prefix && path.startsWith(QLatin1String(route.path))) return &route;
    }
    return nullptr;
}

bool WebServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    const Route* route = RouteOf(request.url().path());
    const Method method = request.method();
    const bool head = method == Method::Head;
    const bool allowed =
        method == Method::Get || head || (route && route->acceptsPut && method == Method::Put);
    WebReply answer;
    if (route == nullptr) {
        answer = Text(404, "Not Found", "Not found\n");
    } else if (!allowed) {
        answer = Text(405, "Method Not Allowed", "Method not allowed\n");
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

void WebServer::missingHandler(const QHttpServerRequest&, QTcpSocket* socket) {
    Send(socket, Text(404, "Not Found", "Not found\n"), true);
}

}  // namespace noxa
