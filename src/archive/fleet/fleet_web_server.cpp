#include "archive/fleet/fleet_web_server.h"

#include "archive/fleet/fleet_json.h"
#include "archive/fleet/fleet_metrics.h"
#include "archive/fleet/records_output.h"
#include "archive/fleet/records_pages.h"
#include "archive/fleet/records_request.h"
#include "outputs/common/metrics_text.h"

#include <QMetaObject>
#include <QThread>

namespace noxa {
namespace {

WebReply Json(QByteArray json) {
    return WebReply{200, "OK", "application/json", std::move(json)};
}

}  // namespace

WebLimits FleetWebLimits() {
    WebLimits limits;
    limits.threads = std::max(2u, QThread::idealThreadCount() > 0
                                      ? static_cast<unsigned>(QThread::idealThreadCount())
                                      : 2u);
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
    CopyCounters();
    connect(&copyCounters_, &QTimer::timeout, this, &FleetWebServer::CopyCounters);
    copyCounters_.start(500);
    AddOwnRoutes();
}

FleetWebServer::~FleetWebServer() {
    Stop();
}

void FleetWebServer::CopyCounters() {
    std::lock_guard lock(mutex_);
    countersCopy_ = counters_;
}

void FleetWebServer::AddOwnRoutes() {
    AddRoute("/", [this](const auto&) { return PageReply(page_); });
    AddRoute("/api/stations", [this](const auto&) { return StationsReply(); });
    AddRoute("/api/records", [this](const WebRequest& request) { return RecordsReply(request); });
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

WebReply FleetWebServer::RecordsReply(const WebRequest& request) {
    QString error;
    const auto asked = ParseRecordsRequest(request.Query(), Now(), error);
    if (!asked) return TextReply(400, "Bad Request", error.toUtf8() + '\n');
    std::optional<StationRow> station;
    if (!reader_.Station(asked->station, station, error)) return DatabaseFailed(error);
    if (!station) return TextReply(404, "Not Found", "No station of that id\n");
    // The headers go before the body: whether more records match than one answer holds is
    // asked first, and the answer ends before the first it leaves out.
    std::optional<qint64> next;
    if (!reader_.EndAfter(asked->station, asked->from, asked->to, kMaxRecordsPerAnswer, next,
                          error))
        return DatabaseFailed(error);
    DatabaseWorked();
    std::unique_ptr<RecordsWriter> writer;
    if (asked->csv) {
        writer = std::make_unique<RecordsCsvWriter>();
    } else {
        writer = std::make_unique<RecordsJsonWriter>(station->name.value_or(station->id));
    }
    auto pages = std::make_shared<RecordsPages>(
        reader_, asked->station, asked->from, next ? *next - 1 : asked->to, std::move(writer),
        [this](const QString& failure) { LogDatabaseFailure(failure); });
    WebReply reply = Json({});
    reply.source = [pages] { return pages->Next(); };
    if (asked->csv) reply.type = "text/csv; charset=utf-8";
    // A client that asks for more than one answer holds learns where to go on.
    if (next) {
        reply.extraHeaders = "X-Records-Limit: " + QByteArray::number(kMaxRecordsPerAnswer) +
                             "\r\nX-Records-Next-From: " + IsoUtc(*next) + "\r\n";
    }
    return reply;
}

WebReply FleetWebServer::MetricsReply() {
    ArchiveCounters counters;
    {
        std::lock_guard lock(mutex_);
        counters = countersCopy_;
    }
    return WebReply{200, "OK", kMetricsContentType,
                    FleetMetricsText(counters, SummarizeAll(board_.Copy(), Now(), staleSeconds_),
                                     staleSeconds_)};
}

WebReply FleetWebServer::DatabaseFailed(const QString& error) {
    LogDatabaseFailure(error);
    return TextReply(503, "Service Unavailable", "The archive's database cannot be read\n");
}

// The lines are said on the server's own thread, where the log lives.
void FleetWebServer::LogDatabaseFailure(const QString& error) {
    const std::string line = "Fleet web: the archive's database cannot be read: " +
                             error.simplified().left(300).toStdString();
    std::lock_guard lock(mutex_);
    if (database_.Failed(line))
        QMetaObject::invokeMethod(
            this, [this, line] { log_.Error(line); }, Qt::QueuedConnection);
}

void FleetWebServer::DatabaseWorked() {
    std::lock_guard lock(mutex_);
    if (database_.Succeeded()) {
        QMetaObject::invokeMethod(
            this, [this] { log_.Info("Fleet web: the archive's database can be read again"); },
            Qt::QueuedConnection);
    }
}

}  // namespace noxa
