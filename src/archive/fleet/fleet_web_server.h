#pragma once

#include "archive/fleet/archive_reader.h"
#include "archive/fleet/station_board.h"
#include "archive/fleet/station_summary.h"
#include "core/failure_state.h"
#include "core/station_log.h"
#include "outputs/web/inline_page.h"
#include "outputs/web/route_server.h"
#include "time/station_clock.h"

#include <memory>

namespace noxa {

struct ArchiveCounters;

// The most records one answer of /api/records holds; the answer says where the next begin.
inline constexpr qint64 kMaxRecordsPerAnswer = 100'000;

// The web server's limits for the archive: as the station's, but an answer of the most
// records (some 40 MB of JSON) may wait for its client to read it.
WebLimits FleetWebLimits();

// noxa-archive's web side, on the station's web server classes: the fleet page ("/"), every
// station's summary ("/api/stations"), one station's records as JSON or CSV
// ("/api/records?station=S&from=T&to=T&format=csv") and the metrics ("/metrics").
// The stations come from `board`; the records from the archive's database, through the
// connection named `connectionName` (made and opened by the archive on this thread); the
// figures from the ingest's live `counters`. A station silent for more than `staleSeconds` is
// stale. The database failing is answered 503 and said in the log once, and once when it
// works again. Listen() starts it.
class FleetWebServer : public RouteServer {
    Q_OBJECT

public:
    FleetWebServer(QString connectionName, const StationBoard& board,
                   const ArchiveCounters& counters, qint64 staleSeconds, Log log = {},
                   WebLimits limits = FleetWebLimits(), const StationClock* clock = nullptr,
                   QObject* parent = nullptr);

private:
    void AddOwnRoutes();
    WebReply StationsReply();
    WebReply RecordsReply(const QHttpServerRequest& request);
    WebReply MetricsReply();
    // The 503 answer for a database that failed with `error`, said in the log once.
    WebReply DatabaseFailed(const QString& error);
    void DatabaseWorked();
    qint64 Now() const;

    const ArchiveReader reader_;
    const StationBoard& board_;
    const ArchiveCounters& counters_;
    const qint64 staleSeconds_;
    const Log log_;
    const std::unique_ptr<SystemClock> systemClock_;
    const StationClock& clock_;
    FailureState database_;
    InlinePage page_;
};

}  // namespace noxa
