#include "outputs/web/web_server.h"

#include "outputs/common/latest_readings.h"
#include "outputs/common/metrics_text.h"
#include "outputs/common/readings_json.h"
#include "outputs/web/history_json.h"
#include "outputs/web/hourglass_route.h"
#include "outputs/web/monthly_json.h"
#include "outputs/web/nights_json.h"

#include <QDate>
#include <QFile>
#include <QHttpServerRequest>
#include <QUrlQuery>

namespace noxa {
namespace {

// Every path under it is taken, but only "/night/yyyy-MM-dd.png" is ever answered.
constexpr char kNightCharts[] = "/night/";

// The images are a few tens of kilobytes; anything far larger is not ours to send.
constexpr qint64 kMaxImageBytes = 8 * 1024 * 1024;
// A night's summary line is about a hundred bytes: this is far more than a station keeps.
constexpr qint64 kMaxSummaryBytes = 4 * 1024 * 1024;
// A past night's chart does not change: a phone may keep it for a week.
constexpr char kNightChartCache[] = "max-age=604800";

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
    return TextReply(status, reason, text);
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

}  // namespace

WebServer::WebServer(StationView station, const DayTables& days, WorkDir dir, WebLimits limits,
                     QObject* parent)
    : RouteServer(limits, parent), station_(station), days_(days), dir_(std::move(dir)) {
    const QString dashboardStyle = QStringLiteral(":/web/dashboard.css");
    // The pages share the night mode's script, ahead of their own.
    const QString nightMode = QStringLiteral(":/web/nightmode.js");
    page_ = BuildInlinePage(QStringLiteral(":/web/index.html"), {dashboardStyle},
                            {nightMode, QStringLiteral(":/web/dashboard.js")});
    nightsPage_ = BuildInlinePage(QStringLiteral(":/web/nights.html"),
                                  {dashboardStyle, QStringLiteral(":/web/nights.css")},
                                  {nightMode, QStringLiteral(":/web/nights.js")});
    yearsPage_ = BuildInlinePage(QStringLiteral(":/web/years.html"),
                                 {dashboardStyle, QStringLiteral(":/web/years.css")},
                                 {nightMode, QStringLiteral(":/web/years.js")});
    AddOwnRoutes();
}

void WebServer::AddOwnRoutes() {
    const auto add = [this](const char* path, Handler handler) {
        AddRoute(path, std::move(handler));
    };
    add("/", [this](const auto&) { return PageReply(page_); });
    add("/api/readings", [this](const auto&) { return Json(ReadingsJson(station_)); });
    add("/api/history", [this](const auto&) { return Json(HistoryJson(days_)); });
    add("/metrics", [this](const auto&) {
        return WebReply{200, "OK", kMetricsContentType, MetricsText(station_)};
    });
    add("/mag.jpg", [this](const auto&) {
        return FileOf(dir_.File("mag.jpg"), "image/jpeg", "No chart image yet\n");
    });
    add("/temp.jpg", [this](const auto&) {
        return FileOf(dir_.File("temp.jpg"), "image/jpeg", "No chart image yet\n");
    });
    add("/nights", [this](const auto&) { return PageReply(nightsPage_); });
    add("/api/nights", [this](const QHttpServerRequest& request) {
        return Json(NightsJson(ReadSummary(dir_.File("night/summary.csv")), LimitOf(request)));
    });
    AddPrefixRoute(kNightCharts, [this](const QHttpServerRequest& request) {
        return NightChart(dir_, request.url().path());
    });
    add("/years", [this](const auto&) { return PageReply(yearsPage_); });
    add("/api/monthly", [this](const auto&) {
        return Json(MonthlyJson(ReadMonthlyFile(dir_.File("night/monthly.csv"))));
    });
    AddPrefixRoute(kHourglassCharts, [this](const QHttpServerRequest& request) {
        return HourglassChart(dir_, request.url().path());
    });
}

}  // namespace noxa
