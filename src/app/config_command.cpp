#include "app/config_command.h"

#include "app/station_folder_lock.h"
#include "core/form_model.h"
#include "core/station_config.h"
#include "core/station_error.h"
#include "core/work_dir.h"
#include "recording/config_file.h"
#include "recording/config_keys.h"

#include <QFileInfo>

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

std::string StartAfresh(const std::string& path) {
    return " To start afresh, move it away (mv '" + path + "' '" + path +
           ".old') and run --set again.";
}

// Why the record read cannot be written back as it is, or an empty text: a field that is no
// number where the record needs one, which no edit of the keys here would mend.
std::string Damage(ConfigFile& file, const WorkDir& dir) {
    try {
        file.BuildRecord();
        return {};
    } catch (const StationError& e) {
        const qint64 size = QFileInfo(dir.File(ConfigFile::kFileName)).size();
        std::string what = e.what();
        if (size != static_cast<qint64>(kConfigRecordSize)) {
            what += "; it holds " + std::to_string(size) + " bytes, not " +
                    std::to_string(kConfigRecordSize);
        }
        return file.Path() + " is damaged (" + what +
               "), so it cannot be edited; nothing written." + StartAfresh(file.Path());
    }
}

// Applies the edits to the settings read from the file and writes the record. Returns why
// nothing was written, or an empty text.
std::string WriteEdits(const WorkDir& dir, const QStringList& edits) {
    FormModel form;
    StationConfig config;
    ConfigFile file(form, config, dir);
    file.LoadStationConfig();
    const std::string damage = Damage(file, dir);
    if (!damage.empty()) return damage;
    // The position as read (or the defaults' 40.2 N 3.7 W), to the record's three decimals,
    // rather than the whole minutes the settings page shows.
    SetPositionFields(form, config.latitude, config.longitude);
    for (const QString& edit : edits) {
        // Bytes that are no UTF-8 arrive as replacement characters; stored, they would be
        // those characters' bytes rather than the ones typed.
        if (edit.contains(QChar::ReplacementCharacter)) {
            return "--set " + edit.toStdString() + ": not valid UTF-8 text; nothing written.";
        }
        const std::string refused = ApplyConfigSetting(form, edit.toStdString());
        if (!refused.empty()) return "--set " + refused + "; nothing written.";
    }
    std::string error;
    try {
        if (file.WriteRecord(file.BuildRecord(), error)) return {};
    } catch (const StationError& e) {
        error = e.what();
    }
    return file.Path() + " not written: " + error + "; nothing written.";
}

// A station running in the folder read the record at its start and keeps those settings.
void TellRunningStation(const WorkDir& dir, std::FILE* err) {
    const std::optional<long> holder = StationFolderLock::Holder(dir);
    if (!holder) return;
    const std::string process = *holder > 0 ? " (process " + std::to_string(*holder) + ")" : "";
    std::fprintf(err,
                 "noxa-station: a station%s is running in this folder on the settings it read "
                 "at its start. Restart it to take these: systemctl --user restart noxa-station "
                 "for the service, or close and open its window again.\n",
                 process.c_str());
}

}  // namespace

int RunConfigCommand(const WorkDir& dir, const QStringList& edits, std::FILE* out, std::FILE* err) {
    const std::string path = dir.Path(ConfigFile::kFileName);
    const QFileInfo info(dir.File(ConfigFile::kFileName));
    if (info.exists() && !info.isFile()) {
        std::fprintf(err, "noxa-station: %s is not a file (a %s).%s\n", path.c_str(),
                     info.isDir() ? "folder" : "device or socket", StartAfresh(path).c_str());
        return 1;
    }
    if (!edits.isEmpty()) {
        const std::string problem = WriteEdits(dir, edits);
        if (!problem.empty()) {
            std::fprintf(err, "noxa-station: %s\n", problem.c_str());
            return 1;
        }
        PrintLine(out, "# Wrote " + path);
        TellRunningStation(dir, err);
    }
    PrintConfig(dir, out);
    return 0;
}

}  // namespace noxa
