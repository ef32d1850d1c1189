#include "core/settings.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>
#include <stdexcept>

namespace noxa {
namespace {

// Keys of the file that no setting has ("[htpp] port"), each a problem of its own.
void ReportUnknownKeys(const QSettings& file, const std::vector<SettingSpec>& specs,
                       const std::string& fileName, std::vector<std::string>& problems) {
    for (const QString& key : file.allKeys()) {
        const QByteArray name = key.toUtf8();
        const bool known = std::any_of(specs.begin(), specs.end(),
                                       [&](const SettingSpec& spec) { return name == spec.key; });
        if (known) continue;
        const qsizetype slash = key.indexOf('/');
        const QString shown = slash < 0 ? key : "[" + key.left(slash) + "] " + key.mid(slash + 1);
        problems.push_back(fileName + ": unknown key " + shown.toStdString() + " ignored.");
    }
}

// The text after "=" on the line of `key` ("group/name") in the INI file at `path`, as written:
// the settings file's texts ("name, affiliation, mail address") keep their commas and spaces,
// which QSettings would read as a list and lose.
QString RawIniText(const QString& path, const QString& key) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
    const qsizetype slash = key.indexOf('/');
    const QString group = slash < 0 ? QStringLiteral("General") : key.left(slash);
    const QString name = key.mid(slash + 1);
    QString section = QStringLiteral("General");
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith('[') && line.endsWith(']')) {
            section = line.mid(1, line.size() - 2).trimmed();
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (equals > 0 && section == group && line.left(equals).trimmed() == name)
            return line.mid(equals + 1).trimmed();
    }
    return {};
}

}  // namespace

void AddSettingOptions(QCommandLineParser& parser, const std::vector<SettingSpec>& specs) {
    for (const SettingSpec& spec : specs) {
        if (spec.option == nullptr) continue;
        QString description = QString::fromUtf8(spec.description);
        description += QStringLiteral(" Settings file: %1").arg(spec.key);
        if (*spec.defaultValue)
            description += QStringLiteral(", default %1").arg(spec.defaultValue);
        description += '.';
        parser.addOption(QCommandLineOption(spec.option, description, spec.valueName));
    }
}

Settings::Settings(const QString& path, const QCommandLineParser& parser,
                   std::vector<SettingSpec> specs)
    : path_(path), specs_(std::move(specs)) {
    const QSettings file(path, QSettings::IniFormat);
    if (file.status() != QSettings::NoError) {
        problems_.push_back(FileName() + " could not be read; the defaults and options apply.");
    }
    ReportUnknownKeys(file, specs_, FileName(), problems_);
    const QStringList options = parser.optionNames();
    for (const SettingSpec& spec : specs_) {
        QString value;
        if (spec.option != nullptr && options.contains(spec.option)) {
            value = parser.value(spec.option);
        } else {
            const QVariant stored = file.value(spec.key, QString::fromUtf8(spec.defaultValue));
            // An unquoted value with commas reads as a list: its text is taken as written.
            value = stored.typeId() == QMetaType::QStringList
                        ? RawIniText(path, QString::fromUtf8(spec.key))
                        : stored.toString();
        }
        values_[spec.key] = value;
    }
}

const SettingSpec& Settings::Spec(const char* key) const {
    for (const SettingSpec& spec : specs_) {
        if (qstrcmp(spec.key, key) == 0) return spec;
    }
    throw std::logic_error(std::string("no setting ") + key);
}

QString Settings::Text(const char* key) const {
    return values_.at(Spec(key).key);
}

quint16 Settings::Port(const char* key) const {
    const QString text = Text(key);
    if (text.isEmpty()) return 0;
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (ok && value >= 1 && value <= 65535) return static_cast<quint16>(value);
    AddProblem(Named(key) + ": \"" + text.toStdString() +
               "\" is not a port number from 1 to 65535; left off.");
    return 0;
}

std::optional<double> Settings::Number(const char* key, double low, double high) const {
    const SettingSpec& spec = Spec(key);
    const QString text = Text(key);
    if (text.isEmpty()) return std::nullopt;
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (ok && value >= low && value <= high) return value;
    AddProblem(Named(key) + ": \"" + text.toStdString() + "\" is not a number from " +
               QString::number(low).toStdString() + " to " + QString::number(high).toStdString() +
               "; " + (*spec.defaultValue ? spec.defaultValue : "off") + " applies.");
    const QString fallback = QString::fromUtf8(spec.defaultValue);
    return fallback.isEmpty() ? std::nullopt : std::optional(fallback.toDouble());
}

bool Settings::OnOff(const char* key) const {
    const SettingSpec& spec = Spec(key);
    const QString text = Text(key);
    if (text == "on") return true;
    if (text == "off") return false;
    AddProblem(Named(key) + ": \"" + text.toStdString() + "\" is neither on nor off; " +
               spec.defaultValue + " applies.");
    return std::string_view(spec.defaultValue) == "on";
}

std::optional<std::pair<QString, quint16>> Settings::HostAndPort(const char* key,
                                                                 quint16 defaultPort) const {
    const QString text = Text(key);
    const qsizetype colon = text.lastIndexOf(':');
    if (colon <= 0 || text.indexOf(':') != colon) return std::pair{text, defaultPort};
    bool ok = false;
    const uint port = text.mid(colon + 1).toUInt(&ok);
    if (ok && port >= 1 && port <= 65535) {
        return std::pair{text.left(colon), static_cast<quint16>(port)};
    }
    return std::nullopt;
}

bool Settings::Keep(const char* key, const QString& value) const {
    QSettings file(path_, QSettings::IniFormat);
    file.setValue(Spec(key).key, value);
    file.sync();
    return file.status() == QSettings::NoError && file.isWritable();
}

bool Settings::ReadableByOthers() const {
    return QFileInfo(path_).permissions() & (QFile::ReadGroup | QFile::ReadOther);
}

std::string Settings::FileName() const {
    return QFileInfo(path_).fileName().toStdString();
}

std::string Settings::Named(const char* key) const {
    const SettingSpec& spec = Spec(key);
    return spec.option ? std::string("--") + spec.option + " (" + spec.key + ")" : spec.key;
}

std::vector<std::string> Settings::TakeProblems() const {
    std::vector<std::string> taken;
    taken.swap(problems_);
    return taken;
}

}  // namespace noxa
