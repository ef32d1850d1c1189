#pragma once

#include "core/failure_state.h"
#include "core/work_dir.h"

#include <string>
#include <string_view>

namespace noxa {

class FormModel;
struct DayTables;

// The chart history on disk: "noxagraf.hex", the 1440 slots' 72-byte records in slot order,
// 103,680 bytes with nothing else, so that the charts survive a restart.
class DayBufferFile {
public:
    static constexpr const char* kFileName = "noxagraf.hex";

    DayBufferFile(FormModel& form, DayTables& days, WorkDir dir)
        : form_(form), days_(days), dir_(std::move(dir)) {}

    // Reads the file over the whole table when it has the right size. A file of another size
    // is not read: it is set aside under the first free name of "noxagraf.hex.bad",
    // "noxagraf.hex.bad.1", "noxagraf.hex.bad.2"... (so that neither the next save nor a later
    // damaged file can destroy it) and the log names the file it was kept as.
    void LoadDayBuffers();

    // The table a file image stands for: false (and `days` untouched) unless the image has
    // exactly the size of the table.
    static bool ReadImage(std::string_view image, DayTables& days);

    // Replaces the file with the table as a whole; a reader never sees half a history. A
    // failure is logged.
    bool SaveDayBuffers();

private:
    FormModel& form_;
    DayTables& days_;
    const WorkDir dir_;
    FailureState failures_;
};

}  // namespace noxa
