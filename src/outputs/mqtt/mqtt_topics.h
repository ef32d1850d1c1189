#pragma once

#include <string>

namespace noxa {

// Where the station publishes, derived once from its name and the settings.
struct MqttTopics {
    std::string nodeId;        // "noxa_<station>", safe as a topic level and an id
    std::string state;         // "<prefix>/state": the readings' JSON
    std::string availability;  // "<prefix>/availability": "online" or "offline"
    std::string record;        // "<prefix>/record": each data-file record, for the archives
    std::string archived;      // "<prefix>/archived/": the archives' confirmations below it
    std::string discoveryPrefix;
};

// A name as one topic level and id: letters, digits, '_' and '-' are kept, every run of other
// bytes (blanks, '/', '+', '#', 8-bit text) becomes one '_', and then a hash of the whole name
// is appended, so two names that differ only there still get ids of their own. The same name
// always gives the same text; an empty name gives "unnamed".
std::string SafeTopicLevel(const std::string& name);

// The topics of a station. An empty topic prefix means "noxa/<safe station name>"; a prefix or
// discovery prefix that holds a wildcard ('+', '#') or is empty is replaced by its default and
// `problem` says so.
MqttTopics MakeMqttTopics(const std::string& stationName, const std::string& topicPrefix,
                          const std::string& discoveryPrefix, std::string& problem);

inline constexpr char kMqttOnline[] = "online";
inline constexpr char kMqttOffline[] = "offline";

}  // namespace noxa
