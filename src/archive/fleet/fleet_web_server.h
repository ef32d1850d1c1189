#pragma once

#include "archive/archive_counters.h"
#include "archive/fleet/archive_reader.h"
#include "archive/fleet/station_board.h"
#include "archive/fleet/station_summary.h"
#include "core/failure_state.h"
#include "core/station_log.h"
#include "outputs/web/inline_page.h"
#include "outputs/web/route_server.h"
#include "time/station_clock.h"

#include <QTimer>

#include <memory>
#include <mutex>

namespace noxa {

// The most records one answer of /api/records holds; the answer says where the next begin.
inline constexpr qint64 kMaxRecordsPerAnswer = 100'000;

// The web server's limits for the archive: as the station's, with a thread for each core at
// least, since the answers are read from the database on those threads.
WebLimits FleetWebLimits();

// noxa-archive's web side, on the station's web server classes: the fleet page ("/"), every
// station's summary ("/api/stations"), one station's records as JSON or CSV
// ("/api/records?station=S&from=T&to=T&format=csv") and the metrics ("/metrics").
// The stations come from `board`; the records from the archive's database, on the web
// server's threads, each through its own copy of the connection named `connectionName` (made by
// the archive); the figures from a copy of the ingest's `counters` taken on this thread twice a
// second. A station silent for more than `staleSeconds` is stale. The database failing is
// answered 503 and said in the log once, and once when it works again; failing in the middle of
// a records answer, it breaks the answer off. Listen() starts it.
class FleetWebServer : public RouteServer {
    Q_OBJECT

public:
    FleetWebServer(QString connectionName, const StationBoard& board,
                   const ArchiveCounters& counters, qint64 staleSeconds, Log log = {},
                   WebLimits limits = FleetWebLimits(), const StationClock* clock = nullptr,
                   QObject* parent = nullptr);
    ~FleetWebServer() override;

private:
    void AddOwnRoutes();
    WebReply StationsReply();
    WebReply RecordsReply(const WebRequest& request);
    void CopyCounters();
    WebReply MetricsReply();
    // The 503 answer for a database that failed with `error`, said in the log once.
    WebReply DatabaseFailed(const QString& error);
    // Says in the log once that the database failed with `error`, also in the middle of an
    // answer (on any thread).
    void LogDatabaseFailure(const QString& error);
    void DatabaseWorked();
    qint64 Now() const;

    const ArchiveReader reader_;
    const StationBoard& board_;
    const ArchiveCounters& counters_;
    const qint64 staleSeconds_;
    const Log log_;
    const std::unique_ptr<SystemClock> systemClock_;
    const StationClock& clock_;
    InlinePage page_;
    QTimer copyCounters_;
    std::mutex mutex_;
    ArchiveCounters countersCopy_;
    FailureState database_;
};

}  // namespace noxa
