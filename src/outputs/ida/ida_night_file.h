#pragma once

#include "core/failure_state.h"
#include "core/observation.h"
#include "core/station_log.h"
#include "core/work_dir.h"
#include "outputs/ida/ida_header.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QObject>
#include <QTimeZone>

#include <optional>
#include <string>
#include <vector>

namespace noxa {

class ObservationFeed;
class StationClock;

// The skyglow community's night files (data format 1.0): one ASCII file per night, noon to noon
// in the site's zone, in "ida/" of the working folder, named YYYYMMDD_HHMMSS_<instrument id>.dat
// after the night's start, a fixed 35-line header and a line per data-file record. Each line is
// appended and flushed whole; a file is never rewritten. The header gives the zero points of the
// newest report before the file started.
class IdaNightFile : public QObject {
    Q_OBJECT

public:
    IdaNightFile(ObservationFeed& feed, const StationClock& clock, const WorkDir& dir, IdaSite site,
                 QTimeZone siteZone, Log log);

    // Writes one record to its night's file, opening (and if need be starting) that file.
    void Write(const IntervalRecord& record);

    // The path of the file for the night the clock is in now.
    QString CurrentFilePath() const;

    // The file's name for the night that began on `night`.
    static QString FileName(QDate night, const std::string& instrumentId);
    // A record's line without its line end: its times, temperatures, and each channel's
    // frequency and sky brightness, "unknown" for a channel without reports.
    static std::string Line(const IntervalRecord& record, const QTimeZone& zone);

private:
    void Observed(const Observation& observation);
    bool Open(QDate night);
    bool Append(const std::string& text);
    void Failed(const std::string& what);

    const StationClock& clock_;
    WorkDir dir_;
    IdaSite site_;
    QTimeZone zone_;
    Log log_;
    QFile file_;
    QDate night_;
    FailureState failures_;
    std::optional<ZeroPoints> zeroPoints_;  // of the newest report
};

}  // namespace noxa
