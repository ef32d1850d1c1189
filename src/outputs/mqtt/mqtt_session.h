#pragma once

#include "outputs/mqtt/mqtt_publisher.h"

#include <memory>

namespace noxa {

struct MqttShared;

// The network thread's work until the publisher stops: connects, publishes the discovery, the
// availability and each new state, waits and connects again; at the stop it leaves the last
// state and "offline" and disconnects.
void RunMqttSession(std::shared_ptr<MqttShared> shared, MqttPublisherConfig config,
                    MqttTopics topics);

}  // namespace noxa
