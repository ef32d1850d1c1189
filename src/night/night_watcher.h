#pragma once

#include "night/night_files.h"
#include "night/night_sample.h"

#include <QObject>
#include <QString>

#include <functional>
#include <string>

namespace noxa {

class ObservationFeed;
class StationClock;

// Follows the night as its records come in, and when the Sun rises above -12° (nautical dawn)
// writes the night's chart and summary line into a folder of nights. A night that had no dawn
// (the instrument stopped, or the Sun never went below -12°) is written with the first record
// of the next night.
class NightWatcher : public QObject {
    Q_OBJECT

public:
    using Logger = std::function<void(const std::string& line)>;
    NightWatcher(ObservationFeed& feed, const StationClock& clock, QString folder,
                 ObserverPlace place, float cloudyAbovePercent, Logger log);

    // Adds records from before a restart (tonight's night file or the month's data file, read
    // back); those of other nights are left out, and those without the Sun and the Moon get
    // them.
    void Restore(const std::vector<NightSample>& samples);
    // The local date on which the clock's night began.
    QDate Tonight() const;

    void Add(const IntervalRecord& record);

    static constexpr float kDawnSunAltitude = -12.f;

private:
    void Add(const NightSample& sample, const QTimeZone& zone);
    void Write();

    const StationClock& clock_;
    QString folder_;
    ObserverPlace place_;
    float cloudyAbove_;
    Logger log_;
    Night night_;
    bool written_ = false;
    float lastSunAltitude_ = 90.f;
};

}  // namespace noxa
