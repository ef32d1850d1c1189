#pragma once

#include "core/failure_state.h"
#include "core/station_log.h"
#include "night/station_year.h"

#include <QFutureWatcher>
#include <QObject>

#include <functional>
#include <map>

namespace noxa {

class NightWatcher;

// After each night the watcher writes, draws the station's chart of the night's year again
// (night/hourglass-<year>.png) and puts the year's months into night/monthly.csv, from the
// nights written since start-up and the station's files. The work runs on a pool thread, so the
// station's thread never waits; a night written meanwhile starts another run when it ends. A
// failure is said once, and again only after it worked in between.
class YearRedraw : public QObject {
    Q_OBJECT

public:
    // `sources` is asked at each run where the station's records lie now.
    YearRedraw(NightWatcher& watcher, std::function<StationYearSources()> sources, QString folder,
               float cloudyAbovePercent, Log log);
    // Waits for a run under way, so that nothing is written after the station stops.
    ~YearRedraw() override;

    // Draws the year of `night` again, with `night` among its nights.
    void Redraw(const Night& night);

signals:
    // A run has ended, written or not.
    void finished();

private:
    void Start();
    void Done();

    std::function<StationYearSources()> sources_;
    QString folder_;
    float cloudyAbove_;
    Log log_;
    // The nights written since start-up, of the latest year only.
    std::map<QDate, Night> kept_;
    int pendingYear_ = 0;  // a year to draw once the run under way ends; 0 for none
    QFutureWatcher<QString> run_;
    FailureState failures_;
};

}  // namespace noxa
