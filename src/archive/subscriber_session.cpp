#include "archive/subscriber_session.h"

#include "archive/record_json.h"
#include "archive/subscriber_shared.h"
#include "mqtt/mqtt_client_setup.h"

#include <mosquitto.h>

#include <poll.h>

#include <QDateTime>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace noxa {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kKeepAliveSeconds = 60;
constexpr auto kConnackTimeout = std::chrono::seconds(10);
constexpr int kFirstRetrySeconds = 1;
constexpr int kLastRetrySeconds = 60;
constexpr int kQos = 1;

class Session {
public:
    Session(std::shared_ptr<SubscriberShared> shared, ArchiveBrokerConfig config,
            MessageInbox& inbox)
        : shared_(std::move(shared)),
          config_(std::move(config)),
          inbox_(inbox),
          broker_(config_.host + ":" + std::to_string(config_.port)) {}
    ~Session() {
        if (mosq_ != nullptr) mosquitto_destroy(mosq_);
    }

    void Run();

private:
    bool Setup();
    std::string Serve();
    void OnMessage(const mosquitto_message& message);
    void OnConnected();
    void PublishOutgoing();
    bool Pause(int seconds);
    void LastConfirmations();

    std::shared_ptr<SubscriberShared> shared_;
    ArchiveBrokerConfig config_;
    MessageInbox& inbox_;
    std::string broker_;
    mosquitto* mosq_ = nullptr;
    bool connackSeen_ = false;
    int connackRc_ = 0;
    bool online_ = false;
    std::map<std::string, QByteArray> unsent_;  // confirmations waiting for a connection
};

bool Session::Setup() {
    mosq_ = mosquitto_new(config_.clientId.c_str(), false, this);
    if (mosq_ == nullptr) {
        shared_->Post(LogLevel::Error, "MQTT could not be set up.");
        return false;
    }
    mosquitto_connect_callback_set(mosq_, [](mosquitto*, void* self, int rc) {
        auto* session = static_cast<Session*>(self);
        session->connackSeen_ = true;
        session->connackRc_ = rc;
    });
    mosquitto_message_callback_set(mosq_, [](mosquitto*, void* self, const mosquitto_message* m) {
        static_cast<Session*>(self)->OnMessage(*m);
    });
    std::string problem;
    if (!SetMqttLogin(mosq_, config_.user, config_.password, config_.caFile, problem)) {
        shared_->Post(LogLevel::Error, problem);
        return false;
    }
    return true;
}

void Session::OnMessage(const mosquitto_message& message) {
    const auto kind = ClassifyTopic(message.topic, config_.topicPrefix);
    if (!kind) return;
    IncomingMessage incoming;
    incoming.kind = kind->first;
    incoming.station = kind->second;
    const QByteArray payload(static_cast<const char*>(message.payload), message.payloadlen);
    if (incoming.kind == IncomingMessage::Kind::Record) {
        incoming.record = ParseRecord(incoming.station, payload, incoming.fault);
    } else {
        incoming.payload = payload;
    }
    incoming.arrivedMs = QDateTime::currentMSecsSinceEpoch();
    inbox_.Push(std::move(incoming));
}

void Session::OnConnected() {
    online_ = true;
    shared_->Post(LogLevel::Info, "MQTT connected to " + broker_);
    shared_->PostConnected(true);
    for (const char* level : {"record", "state", "availability"}) {
        const std::string topic = config_.topicPrefix + "/+/" + level;
        mosquitto_subscribe(mosq_, nullptr, topic.c_str(), kQos);
    }
}

void Session::PublishOutgoing() {
    for (auto& [topic, payload] : shared_->TakeOutgoing()) unsent_[topic] = std::move(payload);
    if (!online_) return;
    for (const auto& [topic, payload] : unsent_) {
        mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                          payload.constData(), kQos, true);
    }
    unsent_.clear();
}

std::string Session::Serve() {
    const Clock::time_point connecting = Clock::now();
    for (;;) {
        if (shared_->Stopping()) return {};
        const int socket = mosquitto_socket(mosq_);
        if (socket < 0) return "connection lost";
        // A full inbox: nothing more is read, so the broker keeps it.
        const bool reading = !inbox_.Full();
        short events = static_cast<short>((reading ? POLLIN : 0) |
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
            if (connackSeen_ && connackRc_ != 0) return MqttRefusal(connackRc_);
            return MqttReason(rc, error);
        }
        if (!online_ && connackSeen_) {
            if (connackRc_ != 0) {
                mosquitto_disconnect(mosq_);
                return MqttRefusal(connackRc_);
            }
            OnConnected();
        } else if (!online_ && Clock::now() - connecting > kConnackTimeout) {
            mosquitto_disconnect(mosq_);
            return "no answer from the broker";
        }
        PublishOutgoing();
    }
}

bool Session::Pause(int seconds) {
    const Clock::time_point until = Clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        if (shared_->Stopping()) return false;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        // A full inbox waits for room before connecting again.
        if (left <= 0 && !inbox_.Full()) return true;
        pollfd wake{shared_->wakeFd, POLLIN, 0};
        if (::poll(&wake, 1, static_cast<int>(std::clamp<long>(left, 100, 1000))) > 0)
            shared_->Drain();
        PublishOutgoing();
    }
}

void Session::Run() {
    if (!Setup()) return;
    std::string outage;  // why the broker cannot be reached; empty while it can
    int retrySeconds = kFirstRetrySeconds;
    while (!shared_->Stopping()) {
        connackSeen_ = online_ = false;
        const int rc =
            mosquitto_connect(mosq_, config_.host.c_str(), config_.port, kKeepAliveSeconds);
        const std::string reason = rc == MOSQ_ERR_SUCCESS ? Serve() : MqttReason(rc, errno);
        if (shared_->Stopping()) break;
        if (online_) {
            online_ = false;
            outage.clear();
            retrySeconds = kFirstRetrySeconds;
            shared_->PostConnected(false);
        }
        if (reason != outage) {
            shared_->Post(LogLevel::Warning,
                          "MQTT broker " + broker_ + " unreachable: " + reason + "; retrying");
            outage = reason;
        }
        if (!Pause(retrySeconds)) break;
        retrySeconds = std::min(retrySeconds * 2, kLastRetrySeconds);
    }
    if (online_) LastConfirmations();
    if (mosquitto_socket(mosq_) >= 0) mosquitto_disconnect(mosq_);
}

// The confirmations of the last commits, sent before disconnecting, within a second or so.
void Session::LastConfirmations() {
    PublishOutgoing();
    const Clock::time_point until = Clock::now() + std::chrono::seconds(1);
    while (mosquitto_want_write(mosq_) && mosquitto_socket(mosq_) >= 0 && Clock::now() < until) {
        pollfd out{mosquitto_socket(mosq_), POLLOUT, 0};
        ::poll(&out, 1, 100);
        if (mosquitto_loop_write(mosq_, 1) != MOSQ_ERR_SUCCESS) break;
    }
}

}  // namespace

void RunSubscriberSession(std::shared_ptr<SubscriberShared> shared, ArchiveBrokerConfig config,
                          MessageInbox& inbox) {
    Session(std::move(shared), std::move(config), inbox).Run();
}

}  // namespace noxa
