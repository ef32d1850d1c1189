#include "outputs/mqtt/mqtt_session.h"

#include "mqtt/mqtt_client_setup.h"
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
constexpr auto kConnackTimeout = std::chrono::seconds(10);
constexpr int kFirstRetrySeconds = 1;
constexpr int kLastRetrySeconds = 60;

// The network thread: connects, serves the connection, waits and connects again.
class Session {
public:
    Session(std::shared_ptr<MqttShared> shared, MqttPublisherConfig config, MqttTopics topics)
        : shared_(std::move(shared)),
          config_(std::move(config)),
          topics_(std::move(topics)),
          discovery_(DiscoveryMessages(topics_, {config_.stationName, config_.configurationUrl},
                                       static_cast<int>(std::ceil(config_.staleSeconds)))),
          broker_(config_.host + ":" + std::to_string(config_.port)),
          records_(!config_.recordJournal.empty()) {
        published_ = {topics_.state, topics_.availability};
        for (const MqttMessage& message : discovery_) published_.insert(message.topic);
    }

    void Run();

private:
    bool Setup();
    // One attempt: connects and serves the connection until it ends; returns why it ended or
    // failed, or nothing when stopping.
    std::string Attempt();
    std::string Serve();
    void OnConnack(int rc);
    void OnPublished(int mid);
    void OnSubscribed(int mid);
    void OnMessage(const mosquitto_message& message);
    void PublishAll();
    int Publish(const std::string& topic, const QByteArray& payload, int qos = 0) {
        int mid = 0;
        mosquitto_publish(mosq_, &mid, topic.c_str(), static_cast<int>(payload.size()),
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
    // Waits `seconds` unless the publisher stops; false when it does.
    bool Pause(int seconds);
    void GoOffline();

    std::shared_ptr<MqttShared> shared_;
    MqttPublisherConfig config_;
    MqttTopics topics_;
    std::vector<MqttMessage> discovery_;
    std::string broker_;
    mosquitto* mosq_ = nullptr;
    QByteArray state_;
    bool connackSeen_ = false;
    int connackRc_ = 0;
    bool online_ = false;
    bool accepted_ = false;            // the broker accepted the last attempt's connection
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
    const std::string clientId = topics_.nodeId + "-" + std::to_string(::getpid());
    mosq_ = mosquitto_new(clientId.c_str(), true, this);
    if (mosq_ == nullptr) {
        shared_->Post(LogLevel::Error, "MQTT could not be set up; MQTT left off.");
        return false;
    }
    mosquitto_connect_callback_set(mosq_, [](mosquitto*, void* session, int rc) {
        static_cast<Session*>(session)->OnConnack(rc);
    });
    mosquitto_publish_callback_set(mosq_, [](mosquitto*, void* session, int mid) {
        static_cast<Session*>(session)->OnPublished(mid);
    });
    if (records_) {
        mosquitto_subscribe_callback_set(mosq_,
                                         [](mosquitto*, void* session, int mid, int, const int*) {
                                             static_cast<Session*>(session)->OnSubscribed(mid);
                                         });
        mosquitto_message_callback_set(
            mosq_, [](mosquitto*, void* session, const mosquitto_message* message) {
                static_cast<Session*>(session)->OnMessage(*message);
            });
    }
    std::string problem;
    if (!SetMqttLogin(mosq_, config_.user, config_.password, config_.caFile, problem)) {
        shared_->Post(LogLevel::Error, problem + "; MQTT left off.");
        return false;
    }
    mosquitto_will_set(mosq_, topics_.availability.c_str(),
                       static_cast<int>(std::strlen(kMqttOffline)), kMqttOffline, 1, true);
    return true;
}

void Session::Run() {
    if (Setup()) {
        if (!config_.topicsFile.empty()) recorded_ = ReadPublishedTopics(config_.topicsFile);
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
        if (online_) GoOffline();
    }
    if (mosq_ != nullptr) mosquitto_destroy(mosq_);
    std::lock_guard lock(shared_->mutex);
    shared_->finished = true;
    shared_->finishedChanged.notify_all();
}

std::string Session::Attempt() {
    connackSeen_ = online_ = accepted_ = recordsReady_ = false;
    recordMids_.clear();
    const int rc = mosquitto_connect(mosq_, config_.host.c_str(), config_.port, kKeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) return MqttReason(rc, errno);
    return Serve();
}

void Session::OnConnack(int rc) {
    connackSeen_ = true;
    connackRc_ = rc;
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
    if (!online_ || !recordsReady_) return;
    for (const OutgoingRecord& record : records) {
        int mid = 0;
        const int rc =
            mosquitto_publish(mosq_, &mid, topics_.record.c_str(), int(record.payload.size()),
                              record.payload.constData(), 1, false);
        // A record the library did not take is sent again after the next connection.
        if (rc == MOSQ_ERR_SUCCESS) recordMids_[mid] = record.end;
    }
}

std::string Session::Serve() {
    const Clock::time_point connecting = Clock::now();
    for (;;) {
        if (shared_->Stopping()) return {};
        const int socket = mosquitto_socket(mosq_);
        if (socket < 0) return "connection lost";
        pollfd fds[2] = {
            {socket, static_cast<short>(POLLIN | (mosquitto_want_write(mosq_) ? POLLOUT : 0)), 0},
            {shared_->wakeFd, POLLIN, 0}};
        ::poll(fds, 2, 1000);
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
            PublishAll();
        } else if (!online_ && Clock::now() - connecting > kConnackTimeout) {
            mosquitto_disconnect(mosq_);
            return "no answer from the broker";
        }
        TakeState();
        TakeRecords();
    }
}

void Session::PublishAll() {
    if (records_) {
        const std::string filter = topics_.archived + "+";
        mosquitto_subscribe(mosq_, &archivedSubscription_, filter.c_str(), 1);
    }
    for (const MqttMessage& message : discovery_) Publish(message.topic, message.payload, 1);
    Publish(topics_.availability, kMqttOnline, 1);
    TakeState();
    if (!state_.isEmpty()) Publish(topics_.state, state_);
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
    if (online_) Publish(topics_.state, state_);
}

bool Session::Pause(int seconds) {
    const Clock::time_point until = Clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        if (shared_->Stopping()) return false;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0) return true;
        pollfd wake{shared_->wakeFd, POLLIN, 0};
        if (::poll(&wake, 1, static_cast<int>(left)) > 0) shared_->Drain();
        TakeState();
        TakeRecords();
    }
}

// The last state, "offline", then a clean disconnect, within two seconds or so.
// Both are acknowledged first: reading the acknowledgements leaves nothing unread in the
// socket, whose closing would otherwise reset the connection before the broker read it all.
void Session::GoOffline() {
    const QByteArray stopped = shared_->StoppedState();
    if (!stopped.isEmpty()) lastWords_.insert(Publish(topics_.state, stopped, 1));
    lastWords_.insert(Publish(topics_.availability, kMqttOffline, 1));
    Clock::time_point until = Clock::now() + std::chrono::seconds(1);
    while (!lastWords_.empty() && mosquitto_socket(mosq_) >= 0 && Clock::now() < until) {
        pollfd io{mosquitto_socket(mosq_),
                  static_cast<short>(POLLIN | (mosquitto_want_write(mosq_) ? POLLOUT : 0)), 0};
        ::poll(&io, 1, 100);
        int rc = MOSQ_ERR_SUCCESS;
        if (io.revents & (POLLIN | POLLHUP | POLLERR)) rc = mosquitto_loop_read(mosq_, 1);
        if (rc == MOSQ_ERR_SUCCESS && (io.revents & POLLOUT)) rc = mosquitto_loop_write(mosq_, 1);
        if (rc != MOSQ_ERR_SUCCESS) return;
    }
    mosquitto_disconnect(mosq_);
    until = Clock::now() + std::chrono::seconds(1);
    while (mosquitto_socket(mosq_) >= 0 && mosquitto_want_write(mosq_) && Clock::now() < until) {
        pollfd out{mosquitto_socket(mosq_), POLLOUT, 0};
        ::poll(&out, 1, 100);
        if (mosquitto_loop_write(mosq_, 1) != MOSQ_ERR_SUCCESS) break;
    }
}

}  // namespace

void RunMqttSession(std::shared_ptr<MqttShared> shared, MqttPublisherConfig config,
                    MqttTopics topics) {
    Session(std::move(shared), std::move(config), std::move(topics)).Run();
}

}  // namespace noxa
