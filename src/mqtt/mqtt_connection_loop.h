#pragma once

#include "mqtt/mqtt_thread_shared.h"

#include <memory>
#include <string>

struct mosquitto;

namespace noxa {

// A libmosquitto client on a network thread of its own: it connects, serves the connection,
// and when the connection fails or ends waits 1, 2, 4 … up to 60 s before the next attempt
// (from 1 s again after a connection the broker accepted), until the owner stops it. The log
// gets one line per outage and again whenever its reason changes, and one when connected.
// What a client does with the connection is a few hooks.
class MqttConnectionLoop {
public:
    MqttConnectionLoop(std::shared_ptr<MqttThreadShared> shared, std::string host, int port,
                       int keepAliveSeconds);
    virtual ~MqttConnectionLoop();
    MqttConnectionLoop(const MqttConnectionLoop&) = delete;
    MqttConnectionLoop& operator=(const MqttConnectionLoop&) = delete;

    // Sets up, then connects again and again until stopped.
    void Run();

protected:
    // Makes the client, this loop its user data (see Of), and follows its CONNACKs; false,
    // said in the log, when it cannot.
    bool Create(const std::string& clientId, bool cleanSession);
    // The loop whose client called back with `userData`, as the derived client.
    template <class Client>
    static Client& Of(void* userData) {
        return static_cast<Client&>(*static_cast<MqttConnectionLoop*>(userData));
    }
    mosquitto* Mosq() const { return mosq_; }
    bool Online() const { return online_; }

    // Creates the client (Create) and sets its callbacks and login; false leaves MQTT off.
    virtual bool Setup() = 0;
    // Before each attempt to connect.
    virtual void OnAttempt() {}
    // The broker accepted the connection.
    virtual void OnOnline() = 0;
    // Each turn of the loop, connected or waiting: take and send what the owner handed over.
    virtual void OnTurn() = 0;
    // Whether to read from the broker; while not, the broker keeps what it holds.
    virtual bool Reading() const { return true; }
    // Stopping while connected: the last words, and the disconnection.
    virtual void OnStop() = 0;

private:
    std::string Attempt();
    std::string Serve();
    // Waits `seconds` (and until Reading) unless stopped; false when stopped.
    bool Pause(int seconds);

    std::shared_ptr<MqttThreadShared> shared_;
    std::string host_;
    int port_;
    int keepAliveSeconds_;
    std::string broker_;
    mosquitto* mosq_ = nullptr;
    bool connackSeen_ = false;
    int connackRc_ = 0;
    bool online_ = false;
    bool accepted_ = false;  // the broker accepted the last attempt's connection
};

}  // namespace noxa
