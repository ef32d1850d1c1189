#include "station_files.h"

#include "core/form_model.h"
#include "core/station_config.h"
#include "recording/config_file.h"

#include <QFile>

namespace noxa::test {

void WriteConfiguration(const QDir& dir, const std::map<std::string, std::string>& texts) {
    FormModel form;
    StationConfig config;
    ConfigFile file(form, config, WorkDir(QFile::encodeName(dir.absolutePath()).toStdString()));
    for (std::size_t i = 0; i < kFormTextCount; ++i) {
        const auto id = static_cast<FormText>(i);
        const auto text = texts.find(std::string(ComponentName(id)));
        if (text != texts.end()) form.SetText(id, text->second);
    }
    std::string error;
    file.WriteRecord(file.BuildRecord(), error);
}

std::string ReadAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll().toStdString();
}

}  // namespace noxa::test
