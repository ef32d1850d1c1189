#pragma once

#include "core/failure_state.h"
#include "core/work_dir.h"

#include <functional>
#include <string>

#include <QDate>

namespace noxa {

class FormModel;
class StationClock;
class StationLocale;
struct DayTables;
struct LiveReadings;

// The name of the data file of `station` for the month of `date`: <station>_MM_YYYY.csv, "/"
// made "_".
std::string DataFileName(const std::string& station, QDate date);

// The month's data file: one tab-separated line of record-interval means per record, with
// three header lines when the file is new. Lines end in CR LF, as the programs that read these
// files expect.
class DataFileWriter {
public:
    DataFileWriter(FormModel& form, LiveReadings& readings, const DayTables& days,
                   const StationClock& clock, const StationLocale& locale, WorkDir dir);

    // Called first by every run of WriteDataLine (the serial link counts frame bytes per line).
    void SetOnWrite(std::function<void()> onWrite) { onWrite_ = std::move(onWrite); }

    // Composes the line from the record sums, zeroes them, and appends it to the file.
    void WriteDataLine();

    // The file name for the clock's current month: <station>_MM_YYYY.csv, "/" made "_".
    std::string FileName() const;

private:
    std::string ComposeLine() const;
    std::string HeaderLines() const;
    // Says once, not at every record, that lines cannot be written and why.
    void Failed(const std::string& name, int error);

    FormModel& form_;
    LiveReadings& readings_;
    const DayTables& days_;
    const StationClock& clock_;
    const StationLocale& locale_;
    const WorkDir dir_;
    std::function<void()> onWrite_;
    FailureState failures_;
};

}  // namespace noxa
