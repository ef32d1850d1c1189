#pragma once

#include <QString>

#include <map>
#include <optional>
#include <string>
#include <vector>

class QCommandLineParser;

namespace noxa {

// One setting: its key in the settings file ("section/name"), its command-line option (none for
// secrets), the option's value name, its default and what it does. Each part of the station
// declares its own; the README lists them all.
struct SettingSpec {
    const char* key;
    const char* option;  // nullptr: the settings file only
    const char* valueName;
    const char* defaultValue;
    const char* description;
};

// Adds an option for every setting that has one.
void AddSettingOptions(QCommandLineParser& parser, const std::vector<SettingSpec>& specs);

// The settings the user gave: an INI file and a command-line option for each key, which wins
// over the file. A value that is wrong is a problem (a log line naming the setting) and the
// setting keeps its default; so is a key of the file that no setting has.
class Settings {
public:
    // Reads `path` (missing: the defaults and the options apply) and the options of `parser`.
    Settings(const QString& path, const QCommandLineParser& parser, std::vector<SettingSpec> specs);

    // The value as given, the default when none is.
    QString Text(const char* key) const;
    // A port of 1 to 65535; 0 when empty or wrong (then off).
    quint16 Port(const char* key) const;
    // A number from `low` to `high`; the default for anything else; nothing when the setting is
    // empty (off).
    std::optional<double> Number(const char* key, double low, double high) const;
    // "on" or "off"; the default for anything else.
    bool OnOff(const char* key) const;
    // "host" or "host:port" (not an IPv6 address without a port); nothing when the port is wrong.
    std::optional<std::pair<QString, quint16>> HostAndPort(const char* key,
                                                           quint16 defaultPort) const;

    // Writes a value into the file, for settings the program makes itself; false when it could
    // not be kept.
    bool Keep(const char* key, const QString& value) const;
    // Other users can read the file: a password in it is no secret.
    bool ReadableByOthers() const;
    std::string FileName() const;

    // "--option (key)", or the key of a setting without an option, as problems name it.
    std::string Named(const char* key) const;
    void AddProblem(std::string line) const { problems_.push_back(std::move(line)); }
    // The problems found since the last call, each one log line.
    std::vector<std::string> TakeProblems() const;

private:
    const SettingSpec& Spec(const char* key) const;

    QString path_;
    std::vector<SettingSpec> specs_;
    std::map<std::string, QString> values_;
    mutable std::vector<std::string> problems_;
};

}  // namespace noxa
