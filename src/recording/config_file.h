#pragma once

#include "core/work_dir.h"

#include <QByteArray>

#include <array>
#include <cstddef>
#include <optional>
#include <string>

namespace noxa {

class FormModel;
struct StationConfig;

inline constexpr std::size_t kConfigRecordSize = 400;
using ConfigRecord = std::array<char, kConfigRecordSize>;

// The configuration file "Noxa.cfg": one fixed-field record of 400 characters. Reading fills the
// numeric settings and the settings page's edit fields; saving builds the record from the edit
// fields.
class ConfigFile {
public:
    static constexpr const char* kFileName = "Noxa.cfg";

    ConfigFile(FormModel& form, StationConfig& config, WorkDir dir);

    std::string Path() const { return dir_.Path(kFileName); }

    // Reads the file into the settings, or applies the defaults when it cannot be read. Logs
    // the line that says which happened (with the system's reason when a file is there but
    // cannot be read), followed by a line for a station name or UDP port with which no report
    // can ever be accepted.
    void LoadStationConfig();

    // Builds the record from the edit fields and the zoom step. Throws StationError at the
    // first field that is not a number ("'x' is not a valid floating point value").
    ConfigRecord BuildRecord();

    // Replaces the file with the record as a whole. On failure returns false with the reason.
    // A file changed on disk since it was last read or written here (by "--set" or another
    // program) is not overwritten: that is a failure too, and the next read takes the change.
    bool WriteRecord(const ConfigRecord& record, std::string& error);

    // Reads a record's fields into the settings (the reading steps after the file was read).
    void ApplyRecord(const ConfigRecord& record);

private:
    void ApplyDefaults();
    void ReportUnusableSettings();
    // The file's bytes as they are now; nothing when there is no file.
    std::optional<QByteArray> OnDisk() const;

    FormModel& form_;
    StationConfig& config_;
    const WorkDir dir_;
    // The file as last read or written here (nothing inside: there was none); unset until then.
    std::optional<std::optional<QByteArray>> known_;
};

}  // namespace noxa
