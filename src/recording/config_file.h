#pragma once

#include <array>
#include <cstddef>
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

    // `workDir` is the folder the file lies in, ending in "/".
    ConfigFile(FormModel& form, StationConfig& config, std::string workDir);

    std::string Path() const { return workDir_ + kFileName; }

    // Empties the log, then reads the file into the settings, or applies the defaults when it
    // cannot be read. The log then starts with the line that says which happened, followed by
    // a line for a station name or UDP port with which no report can ever be accepted.
    void LoadStationConfig();

    // Builds the record from the edit fields and the zoom step. Throws StationError at the
    // first field that is not a number ("'x' is not a valid floating point value").
    ConfigRecord BuildRecord();

    // Replaces the file with the record as a whole. On failure returns false with the reason.
    bool WriteRecord(const ConfigRecord& record, std::string& error) const;

    // Reads a record's fields into the settings (the reading steps after the file was read).
    void ApplyRecord(const ConfigRecord& record);

private:
    void ApplyDefaults();
    void ReportUnusableSettings();

    FormModel& form_;
    StationConfig& config_;
    std::string workDir_;
};

}  // namespace noxa
