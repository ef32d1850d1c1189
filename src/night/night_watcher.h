#pragma once

#include "core/station_log.h"
#include "night/night_files.h"
#include "night/night_sample.h"

#include <QObject>
#include <QString>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace noxa {

class ObservationFeed;
class StationClock;

// Follows the night (noon to noon in the site's zone) as its records come in, and when the Sun
// rises above -12° (nautical dawn) writes the night's chart and summary line into a folder of
// nights. A night that had no dawn (the instrument stopped, or the Sun never went below -12°)
// is written with the first record of the next night. A night that cannot be written (a full
// disk) is tried again with every record that comes, until it is written.
class NightWatcher : public QObject {
    Q_OBJECT

public:
    NightWatcher(ObservationFeed& feed, const StationClock& clock, QString folder,
                 ObserverPlace place, QTimeZone siteZone, float cloudyAbovePercent, Log log);

    // Adds records from before a restart (tonight's night file or the month's data file, read
    // back); those of other nights are left out, and those without the Sun and the Moon get
    // them.
    void Restore(const std::vector<NightSample>& samples);
    // The site's date on which the clock's night began.
    QDate Tonight() const;

    void Add(const IntervalRecord& record);

    static constexpr float kDawnSunAltitude = -12.f;

signals:
    // A night's chart and summary line are written.
    void nightWritten(const noxa::Night& night);

private:
    void Add(const NightSample& sample);
    // Writes `night`, or keeps it to be tried again.
    void Finish(Night night);
    // Tries again the nights not written yet, oldest first.
    void RetryUnwritten();
    // True when written; a failure is said once for each reason.
    bool Write(const Night& night, std::string& lastError);

    const StationClock& clock_;
    QString folder_;
    ObserverPlace place_;
    QTimeZone zone_;
    float cloudyAbove_;
    Log log_;
    Night night_;
    bool written_ = false;  // the night under way was finished at its dawn
    // Nights finished but not written yet, each with the reason last said for it.
    std::vector<std::pair<Night, std::string>> unwritten_;
    float lastSunAltitude_ = 90.f;
};

}  // namespace noxa
