#pragma once

#include "archive/fleet/archive_reader.h"
#include "archive/fleet/station_board.h"
#include "time/station_clock.h"

#include <QObject>
#include <QTimer>

#include <map>

namespace noxa {

// Finds each station's last-night median in the database and hands it to the board, a few
// stations at a time so that the thread is never held long: every station at first, then a
// station again when records came 10 minutes after its last look, and every station each hour
// (a night older than 36 hours is no longer "last night"). Reads through the connection
// `connectionName`, on the thread that made it; runs from Start() on.
class LastNightMedians : public QObject {
    Q_OBJECT

public:
    LastNightMedians(QString connectionName, StationBoard& board, const StationClock& clock,
                     QObject* parent = nullptr);

    void Start();
    // Looks at the stations that are due, for at most `budgetMs`; false when some are left.
    bool Refresh(qint64 budgetMs);

private:
    struct Look {
        qint64 at = 0;                  // when, ms UTC
        std::optional<qint64> lastEnd;  // the station's newest record then
    };
    bool Due(const StationFacts& station, qint64 now) const;
    void Tick();
    // Forgets the looks at stations the board no longer holds.
    void Prune(const std::vector<StationFacts>& stations);

    const ArchiveReader reader_;
    StationBoard& board_;
    const StationClock& clock_;
    std::map<QString, Look> looks_;
    QTimer timer_;
};

}  // namespace noxa
