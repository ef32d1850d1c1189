#include "app/config_command.h"

#include "core/form_model.h"
#include "core/station_config.h"
#include "core/station_error.h"
#include "core/work_dir.h"
#include "recording/config_file.h"
#include "recording/config_keys.h"

#include <string>

namespace noxa {
namespace {

void PrintLine(std::FILE* out, const std::string& line) {
    std::fprintf(out, "%s\n", line.c_str());
}

// The file as the station reads it at start-up: what the reading logs, then the values.
void PrintConfig(const WorkDir& dir, std::FILE* out) {
    FormModel form;
    StationConfig config;
    ConfigFile file(form, config, dir);
    form.ClearLog();  // only what the reading says
    file.LoadStationConfig();
    for (const std::string& line : form.LogLines()) PrintLine(out, "# " + line);
    for (const std::string& line : ConfigValues(form, config)) PrintLine(out, line);
}

// Applies the edits to the settings read from the file and writes the record. Returns why
// nothing was written, or an empty text.
std::string WriteEdits(const WorkDir& dir, const QStringList& edits) {
    FormModel form;
    StationConfig config;
    ConfigFile file(form, config, dir);
    file.LoadStationConfig();
    // The position as read (or the defaults' 40.2 N 3.7 W), to the record's three decimals,
    // rather than the whole minutes the settings page shows.
    SetPositionFields(form, config.latitude, config.longitude);
    for (const QString& edit : edits) {
        const std::string refused = ApplyConfigSetting(form, edit.toLocal8Bit().toStdString());
        if (!refused.empty()) return "--set " + refused;
    }
    std::string error;
    try {
        if (file.WriteRecord(file.BuildRecord(), error)) return {};
    } catch (const StationError& e) {
        error = e.what();
    }
    return file.Path() + " not written: " + error;
}

}  // namespace

int RunConfigCommand(const WorkDir& dir, const QStringList& edits, std::FILE* out, std::FILE* err) {
    if (!edits.isEmpty()) {
        const std::string problem = WriteEdits(dir, edits);
        if (!problem.empty()) {
            std::fprintf(err, "noxa-station: %s; nothing written.\n", problem.c_str());
            return 1;
        }
        PrintLine(out, "# Wrote " + dir.Path(ConfigFile::kFileName));
    }
    PrintConfig(dir, out);
    return 0;
}

}  // namespace noxa
