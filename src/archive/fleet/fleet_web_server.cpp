#include "archive/fleet/fleet_web_server.h"

#include "archive/fleet/fleet_json.h"
#include "archive/fleet/fleet_metrics.h"
#include "archive/fleet/records_output.h"
#include "archive/fleet/records_request.h"
#include "outputs/common/metrics_text.h"

#include <QHttpServerRequest>
#include <QUrlQuery>

namespace noxa {
namespace {

WebReply Json(QByteArray json) {
    return WebReply{200, "OK", "application/json", std::move(json)};
}

}  // namespace

WebLimits FleetWebLimits() {
    WebLimits limits;
    limits.maxUnsentBytes = 64 * 1024 * 1024;
    return limits;
}

FleetWebServer::FleetWebServer(QString connectionName, const StationBoard& board,
                               const ArchiveCounters& counters, qint64 staleSeconds, Log log,
                               WebLimits limits, const StationClock* clock, QObject* parent)
    : RouteServer(limits, parent),
      reader_(std::move(connectionName)),
      board_(board),
      counters_(counters),
      staleSeconds_(staleSeconds),
      log_(std::move(log)),
      systemClock_(clock ? nullptr : std::make_unique<SystemClock>()),
      clock_(clock ? *clock : *systemClock_) {
    LogTo(log_);
    // The station's dashboard style and night mode, then the fleet's own.
    page_ = BuildInlinePage(
        QStringLiteral(":/fleet/fleet.html"),
        {QStringLiteral(":/web/dashboard.css"), QStringLiteral(":/fleet/fleet.css")},
        {QStringLiteral(":/web/nightmode.js"), QStringLiteral(":/fleet/fleet.js")});
    AddOwnRoutes();
}

void FleetWebServer::AddOwnRoutes() {
    AddRoute("/", [this](const auto&) { return PageReply(page_); });
    AddRoute("/api/stations", [this](const auto&) { return StationsReply(); });
    AddRoute("/api/records",
             [this](const QHttpServerRequest& request) { return RecordsReply(request); });
    AddRoute("/metrics", [this](const auto&) { return MetricsReply(); });
}

qint64 FleetWebServer::Now() const {
    return clock_.NowUtc();
}

WebReply FleetWebServer::StationsReply() {
    // Nothing is known of the stations before the database was read once.
    if (!board_.Loaded())
        return TextReply(503, "Service Unavailable", "The archive's database cannot be read\n");
    return Json(StationsJson(SummarizeAll(board_.Copy(), Now(), staleSeconds_)));
}

WebReply FleetWebServer::RecordsReply(const QHttpServerRequest& request) {
    QString error;
    const auto asked = ParseRecordsRequest(QUrlQuery(request.url()), Now(), error);
    if (!asked) return TextReply(400, "Bad Request", error.toUtf8() + '\n');
    std::optional<StationRow> station;
    if (!reader_.Station(asked->station, station, error)) return DatabaseFailed(error);
    if (!station) return TextReply(404, "Not Found", "No station of that id\n");
    std::unique_ptr<RecordsWriter> writer;
    if (asked->csv) {
        writer = std::make_unique<RecordsCsvWriter>();
    } else {
        writer = std::make_unique<RecordsJsonWriter>(station->name.value_or(station->id));
    }
    std::optional<qint64> next;
    if (!reader_.Records(
            asked->station, asked->from, asked->to, kMaxRecordsPerAnswer,
            [&writer](const QSqlQuery& row) { writer->Add(row); }, next, error))
        return DatabaseFailed(error);
    DatabaseWorked();
    WebReply reply = Json(writer->Take());
    if (asked->csv) reply.type = "text/csv; charset=utf-8";
    // A client that asks for more than one answer holds learns where to go on.
    if (next) {
        reply.extraHeaders = "X-Records-Limit: " + QByteArray::number(kMaxRecordsPerAnswer) +
                             "\r\nX-Records-Next-From: " + IsoUtc(*next) + "\r\n";
    }
    return reply;
}

WebReply FleetWebServer::MetricsReply() {
    return WebReply{200, "OK", kMetricsContentType,
                    FleetMetricsText(counters_, SummarizeAll(board_.Copy(), Now(), staleSeconds_),
                                     staleSeconds_)};
}

WebReply FleetWebServer::DatabaseFailed(const QString& error) {
    const std::string line = "Fleet web: the archive's database cannot be read: " +
                             error.simplified().left(300).toStdString();
    if (database_.Failed(line)) log_.Error(line);
    return TextReply(503, "Service Unavailable", "The archive's database cannot be read\n");
}

void FleetWebServer::DatabaseWorked() {
    if (database_.Succeeded()) log_.Info("Fleet web: the archive's database can be read again");
}

}  // namespace noxa
