#include "outputs/mqtt/mqtt_session.h"

#include "mqtt/mqtt_client_setup.h"
#include "mqtt/mqtt_connection_loop.h"
#include "outputs/mqtt/mqtt_shared.h"
#include "outputs/mqtt/mqtt_topics_record.h"

#include <mosquitto.h>

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <string_view>

namespace noxa {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kKeepAliveSeconds = 30;

// The readings expire at the stale limit; the link and the verdict once four heartbeats were
// missed, so one lost or late state never makes them unavailable.
DiscoveryExpiry Expiry(const MqttPublisherConfig& config) {
    constexpr int kMissedHeartbeats = 4;
    return {static_cast<int>(std::ceil(config.staleSeconds)),
            std::max(1, (kMissedHeartbeats * config.heartbeatMs + 999) / 1000)};
}

// The station's client: the discovery, the availability and the state, retained; the records,
// and the archives' confirmations of them.
class Session final : public MqttConnectionLoop {
public:
    Session(std::shared_ptr<MqttShared> shared, MqttPublisherConfig config, MqttTopics topics)
        : MqttConnectionLoop(shared, config.host, config.port, kKeepAliveSeconds),
          shared_(std::move(shared)),
          config_(std::move(config)),
          topics_(std::move(topics)),
          discovery_(DiscoveryMessages(topics_, {config_.stationName, config_.configurationUrl},
                                       Expiry(config_))),
          records_(!config_.recordJournal.empty()) {
        published_ = {topics_.state, topics_.availability};
        for (const MqttMessage& message : discovery_) published_.insert(message.topic);
    }

private:
    bool Setup() override;
    void OnAttempt() override {
        recordsReady_ = false;
        recordMids_.clear();
    }
    void OnOnline() override { PublishAll(); }
    void OnTurn() override {
        TakeState();
        TakeRecords();
    }
    void OnStop() override { GoOffline(); }
    void OnPublished(int mid);
    void OnSubscribed(int mid);
    void OnMessage(const mosquitto_message& message);
    void PublishAll();
    int Publish(const std::string& topic, const QByteArray& payload, int qos = 0) {
        int mid = 0;
        mosquitto_publish(Mosq(), &mid, topic.c_str(), static_cast<int>(payload.size()),
                          payload.constData(), qos, true);
        return mid;
    }
    // Publishes the records handed over, once the confirmations are subscribed to.
    void TakeRecords();
    // Empties the retained topics of the last run that this one does not publish.
    void ClearForgottenTopics();
    void RememberTopics();
    // Takes the newest state, if one came; publishes it when connected.
    void TakeState();
    void GoOffline();

    std::shared_ptr<MqttShared> shared_;
    MqttPublisherConfig config_;
    MqttTopics topics_;
    std::vector<MqttMessage> discovery_;
    QByteArray state_;
    std::set<std::string> published_;  // the retained topics of this run
    std::set<std::string> recorded_;   // those remembered from the last run
    std::set<int> pendingClears_;      // clearing messages not yet acknowledged
    std::set<int> lastWords_;          // the stopped state and "offline", until acknowledged
    const bool records_;               // records go to the archives
    int archivedSubscription_ = -1;    // the subscription to the archives' confirmations
    bool recordsReady_ = false;        // the broker took it on this connection
    // The records published on this connection and not yet acknowledged, by message id.
    // Whatever the library sends again of an earlier connection is not counted: the station
    // sends every record not done again after each connection.
    std::map<int, UtcMilliseconds> recordMids_;
};

bool Session::Setup() {
    if (!Create(topics_.nodeId + "-" + std::to_string(::getpid()), true)) return false;
    mosquitto_publish_callback_set(
        Mosq(), [](mosquitto*, void* session, int mid) { Of<Session>(session).OnPublished(mid); });
    if (records_) {
        mosquitto_subscribe_callback_set(Mosq(),
                                         [](mosquitto*, void* session, int mid, int, const int*) {
                                             Of<Session>(session).OnSubscribed(mid);
                                         });
        mosquitto_message_callback_set(
            Mosq(), [](mosquitto*, void* session, const mosquitto_message* message) {
                Of<Session>(session).OnMessage(*message);
            });
    }
    std::string problem;
    if (!SetMqttLogin(Mosq(), config_.user, config_.password, config_.caFile, problem)) {
        shared_->Post(LogLevel::Error, problem + "; MQTT left off.");
        return false;
    }
    mosquitto_will_set(Mosq(), topics_.availability.c_str(),
                       static_cast<int>(std::strlen(kMqttOffline)), kMqttOffline, 1, true);
    if (!config_.topicsFile.empty()) recorded_ = ReadPublishedTopics(config_.topicsFile);
    return true;
}

void Session::OnPublished(int mid) {
    if (const auto record = recordMids_.find(mid); record != recordMids_.end()) {
        const UtcMilliseconds end = record->second;
        recordMids_.erase(record);
        shared_->PostAcknowledged(end);
        return;
    }
    lastWords_.erase(mid);
    if (pendingClears_.erase(mid) == 1 && pendingClears_.empty()) RememberTopics();
}

void Session::OnSubscribed(int mid) {
    if (mid != archivedSubscription_) return;
    recordsReady_ = true;
    shared_->PostRecordsReady();
}

void Session::OnMessage(const mosquitto_message& message) {
    const std::string_view topic(message.topic);
    const std::string& prefix = topics_.archived;
    if (topic.size() <= prefix.size() || topic.compare(0, prefix.size(), prefix) != 0) return;
    const std::string archive(topic.substr(prefix.size()));
    const QByteArray payload(static_cast<const char*>(message.payload), message.payloadlen);
    shared_->PostConfirmation(archive, payload);
}

void Session::TakeRecords() {
    if (!records_) return;
    const std::deque<OutgoingRecord> records = shared_->TakeRecords();
    if (!Online() || !recordsReady_) return;
    for (const OutgoingRecord& record : records) {
        int mid = 0;
        const int rc =
            mosquitto_publish(Mosq(), &mid, topics_.record.c_str(), int(record.payload.size()),
                              record.payload.constData(), 1, false);
        // A record the library did not take is sent again after the next connection.
        if (rc == MOSQ_ERR_SUCCESS) recordMids_[mid] = record.end;
    }
}

void Session::PublishAll() {
    if (records_) {
        const std::string filter = topics_.archived + "+";
        mosquitto_subscribe(Mosq(), &archivedSubscription_, filter.c_str(), 1);
    }
    for (const MqttMessage& message : discovery_) Publish(message.topic, message.payload, 1);
    // The state of now before "online": an earlier run's state (a safe sky, a working link) is
    // never shown beside this run's availability.
    TakeState();
    if (!state_.isEmpty()) Publish(topics_.state, state_);
    Publish(topics_.availability, kMqttOnline, 1);
    ClearForgottenTopics();
}

void Session::ClearForgottenTopics() {
    if (config_.topicsFile.empty()) return;
    pendingClears_.clear();
    for (const std::string& topic : recorded_) {
        if (published_.count(topic) == 0) pendingClears_.insert(Publish(topic, {}, 1));
    }
    // The new list is remembered once the broker has taken every clearing message, so that
    // a connection lost before leaves the old list, and the clearing is done again.
    if (pendingClears_.empty()) RememberTopics();
}

void Session::RememberTopics() {
    if (recorded_ == published_) return;
    std::string error;
    if (!WritePublishedTopics(config_.topicsFile, published_, error)) {
        shared_->Post(LogLevel::Warning,
                      "MQTT topics cannot be remembered in " + config_.topicsFile + ": " + error);
    }
    recorded_ = published_;
}

void Session::TakeState() {
    QByteArray fresh;
    {
        std::lock_guard lock(shared_->mutex);
        fresh.swap(shared_->state);
    }
    if (fresh.isEmpty()) return;
    state_ = fresh;
    if (Online()) Publish(topics_.state, state_);
}

// The last state, "offline", then a clean disconnect, within two seconds or so.
// Both are acknowledged first: reading the acknowledgements leaves nothing unread in the
// socket, whose closing would otherwise reset the connection before the broker read it all.
void Session::GoOffline() {
    const QByteArray stopped = shared_->StoppedState();
    if (!stopped.isEmpty()) lastWords_.insert(Publish(topics_.state, stopped, 1));
    lastWords_.insert(Publish(topics_.availability, kMqttOffline, 1));
    Clock::time_point until = Clock::now() + std::chrono::seconds(1);
    while (!lastWords_.empty() && mosquitto_socket(Mosq()) >= 0 && Clock::now() < until) {
        pollfd io{mosquitto_socket(Mosq()),
                  static_cast<short>(POLLIN | (mosquitto_want_write(Mosq()) ? POLLOUT : 0)), 0};
        ::poll(&io, 1, 100);
        int rc = MOSQ_ERR_SUCCESS;
        if (io.revents & (POLLIN | POLLHUP | POLLERR)) rc = mosquitto_loop_read(Mosq(), 1);
        if (rc == MOSQ_ERR_SUCCESS && (io.revents & POLLOUT)) rc = mosquitto_loop_write(Mosq(), 1);
        if (rc != MOSQ_ERR_SUCCESS) return;
    }
    mosquitto_disconnect(Mosq());
    until = Clock::now() + std::chrono::seconds(1);
    while (mosquitto_socket(Mosq()) >= 0 && mosquitto_want_write(Mosq()) && Clock::now() < until) {
        pollfd out{mosquitto_socket(Mosq()), POLLOUT, 0};
        ::poll(&out, 1, 100);
        if (mosquitto_loop_write(Mosq(), 1) != MOSQ_ERR_SUCCESS) break;
    }
}

}  // namespace

void RunMqttSession(std::shared_ptr<MqttShared> shared, MqttPublisherConfig config,
                    MqttTopics topics) {
    Session(shared, std::move(config), std::move(topics)).Run();
    // The client is gone with the session: the publisher may go now.
    std::lock_guard lock(shared->mutex);
    shared->finished = true;
    shared->finishedChanged.notify_all();
}

}  // namespace noxa
