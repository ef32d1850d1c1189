#pragma once

#include "archive/archived_record.h"
#include "archive/record_plausibility.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>

namespace noxa {

// One message from a station's topics, as the network thread received it. A record is read
// there already, so that the main thread stores while the next ones are read.
struct IncomingMessage {
    enum class Kind { Record, State, Availability } kind = Kind::Record;
    QString station;                       // the station id: the topic level after the prefix
    QByteArray payload;                    // of a state or availability
    std::optional<ArchivedRecord> record;  // of a record: nothing when unreadable, and
    std::string fault;                     // what is wrong with it
    std::optional<Refusal> refusal;        // refused before it was read; payload left empty
    std::int64_t arrivedMs = 0;
};

// The kind and station of `topic` under `prefix` ("<prefix>/<id>/record"); nothing for a topic
// the archive does not take.
inline std::optional<std::pair<IncomingMessage::Kind, QString>> ClassifyTopic(
    const std::string& topic, const std::string& prefix) {
    if (topic.size() <= prefix.size() + 1 || topic.compare(0, prefix.size(), prefix) != 0 ||
        topic[prefix.size()] != '/') {
        return std::nullopt;
    }
    const std::string rest = topic.substr(prefix.size() + 1);
    const std::size_t slash = rest.find('/');
    if (slash == 0 || slash == std::string::npos) return std::nullopt;
    const std::string level = rest.substr(slash + 1);
    const QString station = QString::fromUtf8(rest.data(), static_cast<qsizetype>(slash));
    if (level == "record") return std::pair{IncomingMessage::Kind::Record, station};
    if (level == "state") return std::pair{IncomingMessage::Kind::State, station};
    if (level == "availability") return std::pair{IncomingMessage::Kind::Availability, station};
    return std::nullopt;
}

}  // namespace noxa
