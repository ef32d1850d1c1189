#pragma once

#include "outputs/mqtt/mqtt_discovery.h"

#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace noxa {

class LatestReadings;
struct MqttShared;

// Where and as whom the publisher connects; the station's name names its topics and device.
struct MqttPublisherConfig {
    std::string host;
    int port = 1883;
    std::string user;
    std::string password;     // never logged
    std::string caFile;       // a CA certificate file (PEM) turns TLS on
    std::string topicPrefix;  // empty: "noxa/<station>"
    std::string discoveryPrefix = "homeassistant";
    std::string stationName;
};

// Publishes the newest readings to an MQTT broker: the readings' JSON, retained, at every
// change; the station's availability ("online", and "offline" as its will and when it stops);
// Home Assistant's discovery messages. Everything that touches the network (name lookup,
// connecting, TLS, writing) runs on a thread of its own, which reconnects after 1 s, 2 s, …
// up to 60 s, so a broker that is gone never holds up the station. Each (re)connection sends
// the discovery, the availability and the newest state again. The log function is called on
// the thread that created the publisher: one line when the broker cannot be reached (once per
// outage), one when it is connected.
class MqttPublisher : public QObject {
    Q_OBJECT

public:
    using LogFunction = std::function<void(const std::string&)>;

    MqttPublisher(const LatestReadings& readings, MqttPublisherConfig config, LogFunction log);
    // Publishes "offline" and disconnects, waiting for that a few seconds at most.
    ~MqttPublisher() override;

    void Start();

    const MqttTopics& Topics() const { return topics_; }

private:
    friend struct MqttShared;

    void Offer(const QByteArray& state);

    const LatestReadings& readings_;
    MqttPublisherConfig config_;
    LogFunction log_;
    MqttTopics topics_;
    std::shared_ptr<MqttShared> shared_;
    std::thread worker_;
};

}  // namespace noxa
