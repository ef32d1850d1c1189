#pragma once

#include "core/failure_state.h"
#include "core/observation.h"
#include "core/station_log.h"
#include "core/work_dir.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QObject>
#include <QTimeZone>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace noxa {

class ObservationFeed;
class StationClock;

// Who observes where, for the header of the night files. Empty texts and missing numbers are
// written as "unknown".
struct IdaSite {
    std::string instrumentId;
    std::string locationName;
    double latitude = 0, longitude = 0;  // degrees, north and east positive
    std::optional<double> height;        // metres above sea level
    std::optional<double> fieldOfView;   // degrees
    std::string contact;                 // the data supplier: name, affiliation, mail address
    std::string licence;
};

// The skyglow community's night files (data format 1.0): one ASCII file per night, noon to noon
// in the site's zone, in "ida/" of the working folder, named YYYYMMDD_HHMMSS_<instrument id>.dat
// after the night's start, a fixed 35-line header and a line per data-file record. Each line is
// appended and flushed whole; a file is never rewritten.
class IdaNightFile : public QObject {
    Q_OBJECT

public:
    static constexpr int kHeaderLines = 35;
    static constexpr int kFieldsPerLine = 12;

    IdaNightFile(ObservationFeed& feed, const StationClock& clock, const WorkDir& dir, IdaSite site,
                 QTimeZone siteZone, Log log);

    // Writes one record to its night's file, opening (and if need be starting) that file.
    void Write(const IntervalRecord& record);

    // The path of the file for the night the clock is in now.
    QString CurrentFilePath() const;

    // The file's name for the night that began on `night`.
    static QString FileName(QDate night, const std::string& instrumentId);
    // The header for a station in `zone`.
    static std::vector<std::string> Header(const IdaSite& site, const QTimeZone& zone);
    // A record's line without its line end, with the Sun and the Moon at the site.
    static std::string Line(const IntervalRecord& record, const QTimeZone& zone,
                            const IdaSite& site);

private:
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
};

}  // namespace noxa
