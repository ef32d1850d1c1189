#pragma once

#include "archive/database_url.h"
#include "core/settings.h"

#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace noxa {

// The archive's settings file, in its folder.
inline constexpr const char* kArchiveSettingsFile = "noxa-archive.ini";

// What the archive subscribes to and with whom.
struct ArchiveBrokerConfig {
    std::string host;
    int port = 1883;
    std::string user, password, caFile;
    std::string topicPrefix = "noxa";  // A in "<A>/<station id>/record"
    std::string clientId;              // "noxa-archive-<name>"
};

// The web side's part: off while port is 0.
struct ArchiveHttpConfig {
    quint16 port = 0;
    QString address = QStringLiteral("127.0.0.1");
    double staleSeconds = 120;
};

struct ArchiveConfig {
    std::string name = "archive";
    ArchiveBrokerConfig broker;
    DatabaseTarget database;
    QString databasePassword;
    ArchiveHttpConfig http;
};

const std::vector<SettingSpec>& ArchiveSettingSpecs();

// The archive's configuration from `settings` (the file of `folder`); nothing when it cannot
// run (no broker while `brokerNeeded`, a wrong database URL), each reason a problem of
// `settings`.
std::optional<ArchiveConfig> ReadArchiveConfig(const Settings& settings, const QString& folder,
                                               bool brokerNeeded = true);

}  // namespace noxa
