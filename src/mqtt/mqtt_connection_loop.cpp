#include "mqtt/mqtt_connection_loop.h"

#include "mqtt/mqtt_client_setup.h"

#include <mosquitto.h>

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace noxa {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kConnackTimeout = std::chrono::seconds(10);
constexpr int kFirstRetrySeconds = 1;
constexpr int kLastRetrySeconds = 60;

}  // namespace

MqttConnectionLoop::MqttConnectionLoop(std::shared_ptr<MqttThreadShared> shared, std::string host,
                                       int port, int keepAliveSeconds)
    : shared_(std::move(shared)),
      host_(std::move(host)),
      port_(port),
      keepAliveSeconds_(keepAliveSeconds),
      broker_(host_ + ":" + std::to_string(port_)) {}

MqttConnectionLoop::~MqttConnectionLoop() {
    if (mosq_ != nullptr) mosquitto_destroy(mosq_);
}

bool MqttConnectionLoop::Create(const std::string& clientId, bool cleanSession) {
    mosq_ = mosquitto_new(clientId.c_str(), cleanSession, this);
    if (mosq_ == nullptr) {
        shared_->Post(LogLevel::Error, "MQTT could not be set up; MQTT left off.");
        return false;
    }
    mosquitto_connect_callback_set(mosq_, [](mosquitto*, void* loop, int rc) {
        auto& self = Of<MqttConnectionLoop>(loop);
        self.connackSeen_ = true;
        self.connackRc_ = rc;
    });
    return true;
}

void MqttConnectionLoop::Run() {
    if (!Setup()) return;
    std::string outage;  // why the broker cannot be reached; empty while it can
    int retrySeconds = kFirstRetrySeconds;
    while (!shared_->Stopping()) {
        const std::string reason = Attempt();
        if (accepted_) {
            outage.clear();
            retrySeconds = kFirstRetrySeconds;
            if (!online_) shared_->PostConnected(false);
        }
        if (shared_->Stopping()) break;
        if (reason != outage) {
            shared_->Post(LogLevel::Warning,
                          "MQTT broker " + broker_ + " unreachable: " + reason + "; retrying");
            outage = reason;
        }
        if (!Pause(retrySeconds)) break;
        retrySeconds = std::min(retrySeconds * 2, kLastRetrySeconds);
    }
    if (online_) OnStop();
}

std::string MqttConnectionLoop::Attempt() {
    connackSeen_ = online_ = accepted_ = false;
    OnAttempt();
    const int rc = mosquitto_connect(mosq_, host_.c_str(), port_, keepAliveSeconds_);
    if (rc != MOSQ_ERR_SUCCESS) return MqttReason(rc, errno);
    return Serve();
}

// Serves the connection until it ends (why) or the owner stops the loop (nothing).
std::string MqttConnectionLoop::Serve() {
    const Clock::time_point connecting = Clock::now();
    for (;;) {
        if (shared_->Stopping()) return {};
        const int socket = mosquitto_socket(mosq_);
        if (socket < 0) {
            online_ = false;
            return "connection lost";
        }
        const bool reading = Reading();
        const auto events = static_cast<short>((reading ? POLLIN : 0) |
                                               (mosquitto_want_write(mosq_) ? POLLOUT : 0));
        pollfd fds[2] = {{socket, events, 0}, {shared_->wakeFd, POLLIN, 0}};
        ::poll(fds, 2, reading ? 1000 : 100);
        if (fds[1].revents) shared_->Drain();
        int rc = MOSQ_ERR_SUCCESS;
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) rc = mosquitto_loop_read(mosq_, 1);
        if (rc == MOSQ_ERR_SUCCESS && (fds[0].revents & POLLOUT))
            rc = mosquitto_loop_write(mosq_, 1);
        if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_loop_misc(mosq_);
        if (rc != MOSQ_ERR_SUCCESS) {
            const int error = errno;
            online_ = false;
            if (connackSeen_ && connackRc_ != 0) return MqttRefusal(connackRc_);
            return MqttReason(rc, error);
        }
        if (!online_ && connackSeen_) {
            if (connackRc_ != 0) {
                mosquitto_disconnect(mosq_);
                return MqttRefusal(connackRc_);
            }
            online_ = accepted_ = true;
            shared_->Post(LogLevel::Info, "MQTT connected to " + broker_);
            shared_->PostConnected(true);
            OnOnline();
        } else if (!online_ && Clock::now() - connecting > kConnackTimeout) {
            mosquitto_disconnect(mosq_);
            return "no answer from the broker";
        }
        OnTurn();
    }
}

bool MqttConnectionLoop::Pause(int seconds) {
    const Clock::time_point until = Clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        if (shared_->Stopping()) return false;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0 && Reading()) return true;
        pollfd wake{shared_->wakeFd, POLLIN, 0};
        if (::poll(&wake, 1, static_cast<int>(std::clamp<long>(left, 100, 1000))) > 0)
            shared_->Drain();
        OnTurn();
    }
}

}  // namespace noxa
