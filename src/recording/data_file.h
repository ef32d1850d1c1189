#pragma once

#include "core/failure_state.h"
#include "core/observation.h"
#include "core/station_identity.h"
#include "core/station_log.h"
#include "core/work_dir.h"

#include <QDate>
#include <QObject>

#include <string>

namespace noxa {

class ObservationFeed;
class StationLocale;

// The third header line of a data file, without its line end: the columns' names.
inline constexpr char kDataFileColumnsLine[] =
    "# Date\t Time\t  Frec-740\t MV-740\t  Frec-640\t MV-640\t  Frec-R\t MV-R\t  Frec-G\t MV-G\t"
    "  Frec-B\t MV-B\t T-Sens\t T-IR ";

// The name of the data file of `station` for the month of `date`: <station>_MM_YYYY.csv, "/"
// made "_".
std::string DataFileName(const std::string& station, QDate date);

// The month's data file: one tab-separated line per record of the feed, with three header
// lines when the file is new. Lines end in CR LF, as the programs that read these files
// expect. The file's name and header carry the station's identity; what happens goes to the log.
class DataFileWriter : public QObject {
    Q_OBJECT

public:
    DataFileWriter(StationIdentitySource identity, const StationLocale& locale, WorkDir dir,
                   ObservationFeed& feed, Log log);

    // Appends the record's line to the file of its month.
    void Write(const IntervalRecord& record);

    // The record's line: local date and time of its end, the five channel groups' mean
    // frequency and magnitude, and the two temperatures, each followed by a tab.
    std::string Line(const IntervalRecord& record) const;

private:
    static std::string HeaderLines(const StationIdentity& identity);
    // Says once, not at every record, that lines cannot be written and why.
    void Failed(const std::string& name, int error);

    StationIdentitySource identity_;
    const StationLocale& locale_;
    const WorkDir dir_;
    Log log_;
    FailureState failures_;
};

}  // namespace noxa
