#include "outputs/mqtt/mqtt_topics.h"

#include <cstdint>
#include <cstdio>

namespace noxa {
namespace {

bool SafeByte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-';
}

// FNV-1a, 32 bits: stable across runs and builds.
std::uint32_t NameHash(const std::string& name) {
    std::uint32_t hash = 2166136261u;
    for (const char c : name) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    return hash;
}

bool UsablePrefix(const std::string& prefix) {
    return !prefix.empty() && prefix.find_first_of("+#") == std::string::npos;
}

std::string WithoutTrailingSlashes(std::string prefix) {
    while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
    return prefix;
}

}  // namespace

std::string SafeTopicLevel(const std::string& name) {
    if (name.empty()) return "unnamed";
    std::string level;
    bool replaced = false;
    bool inRun = false;
    for (const char c : name) {
        if (SafeByte(static_cast<unsigned char>(c))) {
            level += c;
            inRun = false;
        } else {
            if (!inRun) level += '_';
            inRun = replaced = true;
        }
    }
    if (!replaced) return level;
    char hash[10];
    std::snprintf(hash, sizeof hash, "%08x", static_cast<unsigned>(NameHash(name)));
    if (level.back() != '_') level += '_';
    return level + hash;
}

MqttTopics MakeMqttTopics(const std::string& stationName, const std::string& topicPrefix,
                          const std::string& discoveryPrefix, std::string& problem) {
    MqttTopics topics;
    const std::string station = SafeTopicLevel(stationName);
    topics.nodeId = "noxa_" + station;
    std::string prefix = "noxa/" + station;
    if (!topicPrefix.empty()) {
        if (UsablePrefix(topicPrefix)) {
            prefix = WithoutTrailingSlashes(topicPrefix);
        } else {
            problem = "MQTT topic prefix \"" + topicPrefix + "\" holds a wildcard; using " + prefix;
        }
    }
    topics.state = prefix + "/state";
    topics.availability = prefix + "/availability";
    topics.record = prefix + "/record";
    topics.archived = prefix + "/archived/";
    topics.discoveryPrefix = "homeassistant";
    if (UsablePrefix(discoveryPrefix)) {
        topics.discoveryPrefix = WithoutTrailingSlashes(discoveryPrefix);
    } else {
        if (!problem.empty()) problem += "; ";
        problem += "MQTT discovery prefix \"" + discoveryPrefix +
                   "\" is empty or holds a wildcard; using homeassistant";
    }
    return topics;
}

}  // namespace noxa
