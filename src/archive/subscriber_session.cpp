#include "archive/subscriber_session.h"

#include "archive/record_json.h"
#include "archive/subscriber_shared.h"
#include "mqtt/mqtt_client_setup.h"
#include "mqtt/mqtt_connection_loop.h"

#include <mosquitto.h>

#include <poll.h>

#include <QDateTime>

#include <chrono>

namespace noxa {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kKeepAliveSeconds = 60;
constexpr int kQos = 1;

// A payload larger than any honest one of its kind, or a station id that cannot be one, is
// not read at all.
std::optional<Refusal> RefusalBeforeReading(const IncomingMessage& message, int bytes) {
    using Kind = IncomingMessage::Kind;
    const qsizetype most = message.kind == Kind::Record  ? kMostRecordBytes
                           : message.kind == Kind::State ? kMostStateBytes
                                                         : kMostAvailabilityBytes;
    if (bytes > most) return Refusal::TooLarge;
    if (!IsUsableLevel(message.station)) return Refusal::StationId;
    return std::nullopt;
}

// The archive's client: a persistent session subscribed to every station's records, states
// and availability, handing what arrives to the inbox and publishing the confirmations.
class Session final : public MqttConnectionLoop {
public:
    Session(std::shared_ptr<SubscriberShared> shared, ArchiveBrokerConfig config,
            MessageInbox& inbox)
        : MqttConnectionLoop(shared, config.host, config.port, kKeepAliveSeconds),
          shared_(std::move(shared)),
          config_(std::move(config)),
          inbox_(inbox) {}

private:
    bool Setup() override;
    void OnOnline() override;
    void OnTurn() override { PublishOutgoing(); }
    // A full inbox: nothing more is read, so the broker keeps it.
    bool Reading() const override { return !inbox_.Full(); }
    void OnStop() override;
    void OnMessage(const mosquitto_message& message);
    void PublishOutgoing();

    std::shared_ptr<SubscriberShared> shared_;
    ArchiveBrokerConfig config_;
    MessageInbox& inbox_;
    std::map<std::string, QByteArray> unsent_;  // confirmations waiting for a connection
};

bool Session::Setup() {
    if (!Create(config_.clientId, false)) return false;
    mosquitto_message_callback_set(Mosq(), [](mosquitto*, void* self, const mosquitto_message* m) {
        Of<Session>(self).OnMessage(*m);
    });
    std::string problem;
    if (!SetMqttLogin(Mosq(), config_.user, config_.password, config_.caFile, problem)) {
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
    incoming.arrivedMs = QDateTime::currentMSecsSinceEpoch();
    incoming.refusal = RefusalBeforeReading(incoming, message.payloadlen);
    if (incoming.refusal) {
        inbox_.Push(std::move(incoming));
        return;
    }
    const QByteArray payload(static_cast<const char*>(message.payload), message.payloadlen);
    if (incoming.kind == IncomingMessage::Kind::Record) {
        incoming.record = ParseRecord(incoming.station, payload, incoming.fault);
    } else {
        incoming.payload = payload;
    }
    inbox_.Push(std::move(incoming));
}

void Session::OnOnline() {
    for (const char* level : {"record", "state", "availability"}) {
        const std::string topic = config_.topicPrefix + "/+/" + level;
        mosquitto_subscribe(Mosq(), nullptr, topic.c_str(), kQos);
    }
}

void Session::PublishOutgoing() {
    for (auto& [topic, payload] : shared_->TakeOutgoing()) unsent_[topic] = std::move(payload);
    if (!Online()) return;
    for (const auto& [topic, payload] : unsent_) {
        mosquitto_publish(Mosq(), nullptr, topic.c_str(), static_cast<int>(payload.size()),
                          payload.constData(), kQos, true);
    }
    unsent_.clear();
}

// The confirmations of the last commits, sent before disconnecting, within a second or so.
void Session::OnStop() {
    PublishOutgoing();
    const Clock::time_point until = Clock::now() + std::chrono::seconds(1);
    while (mosquitto_want_write(Mosq()) && mosquitto_socket(Mosq()) >= 0 && Clock::now() < until) {
        pollfd out{mosquitto_socket(Mosq()), POLLOUT, 0};
        ::poll(&out, 1, 100);
        if (mosquitto_loop_write(Mosq(), 1) != MOSQ_ERR_SUCCESS) break;
    }
    mosquitto_disconnect(Mosq());
}

}  // namespace

void RunSubscriberSession(std::shared_ptr<SubscriberShared> shared, ArchiveBrokerConfig config,
                          MessageInbox& inbox) {
    Session(std::move(shared), std::move(config), inbox).Run();
}

}  // namespace noxa
