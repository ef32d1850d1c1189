#pragma once

#include "outputs/mqtt/mqtt_topics.h"

#include <QByteArray>

#include <string>
#include <vector>

namespace noxa {

// One message to publish, retained.
struct MqttMessage {
    std::string topic;
    QByteArray payload;
};

// What Home Assistant shows of the station as a device.
struct MqttDevice {
    std::string stationName;
    std::string configurationUrl;  // the web dashboard; empty when the web server is off
};

// How long Home Assistant keeps a state before its entities turn unavailable, in seconds;
// 0: for ever.
struct DiscoveryExpiry {
    // The readings: the safety rule's stale limit.
    int readings = 0;
    // The instrument link and the safety verdict, which must not outlive a station that hangs:
    // a few of the state's heartbeats.
    int verdict = 0;
};

// Home Assistant's discovery messages, all of one device (the station): one sensor per
// reading, which is unavailable while the station is offline or its link to the instrument is
// down; the link itself (connectivity); the time of the last report (timestamp); and the
// safety verdict (safety: on means unsafe), with its reason as an attribute. With an expiry
// the readings, the link and the verdict also go unavailable when no state came for that long,
// as when the station itself hangs.
std::vector<MqttMessage> DiscoveryMessages(const MqttTopics& topics, const MqttDevice& device,
                                           DiscoveryExpiry expiry = {});

}  // namespace noxa
