#include "outputs/mqtt/mqtt_publisher.h"

#include "outputs/common/latest_readings.h"
#include "outputs/common/readings_json.h"
#include "outputs/common/safety_rule.h"
#include "outputs/common/station_status.h"
#include "outputs/mqtt/mqtt_session.h"
#include "outputs/mqtt/mqtt_shared.h"
#include "outputs/mqtt/record_json.h"
#include "time/station_clock.h"

#include <mosquitto.h>

#include <atomic>
#include <chrono>

namespace noxa {
namespace {

// Workers given up on at shutdown (stuck in a name lookup or a connect) still use the library.
std::atomic<int> abandonedWorkers{0};

// The library is set up once per process and cleaned up at its end.
void UseLibrary() {
    struct Library {
        Library() { mosquitto_lib_init(); }
        ~Library() {
            if (abandonedWorkers.load() == 0) mosquitto_lib_cleanup();
        }
    };
    static const Library library;
}

}  // namespace

MqttPublisher::MqttPublisher(StationView station, MqttPublisherConfig config, Log log,
                             const StationClock* clock)
    : station_(station), config_(std::move(config)), log_(std::move(log)) {
    if (config_.recordJournal.empty()) return;
    RecordOutbox::Clock now = [clock] {
        return clock ? clock->NowUtc() : QDateTime::currentMSecsSinceEpoch();
    };
    outbox_ = std::make_unique<RecordOutbox>(
        config_.recordJournal, config_.backlogDays, std::move(now), log_,
        [this](std::vector<OutgoingRecord> records) { HandOver(std::move(records)); });
    outbox_->TrustOnly(config_.archives);
}

MqttPublisher::~MqttPublisher() {
    if (!shared_) return;
    const QByteArray stopped = StoppedReadingsJson(station_.readings);
    std::unique_lock lock(shared_->mutex);
    shared_->owner = nullptr;
    shared_->stoppedState = stopped;
    shared_->stop = true;
    shared_->Wake();
    const bool finished = shared_->finishedChanged.wait_for(lock, std::chrono::seconds(3),
                                                            [this] { return shared_->finished; });
    lock.unlock();
    if (finished) {
        worker_.join();
    } else {
        // Stuck in a name lookup or a connect that the system will end on its own.
        ++abandonedWorkers;
        worker_.detach();
    }
}

void MqttPublisher::Start() {
    std::string problem;
    topics_ =
        MakeMqttTopics(config_.stationName, config_.topicPrefix, config_.discoveryPrefix, problem);
    if (!problem.empty()) log_.Warning(problem);
    UseLibrary();
    shared_ = std::make_shared<MqttShared>();
    shared_->owner = this;
    connect(&station_.readings, &LatestReadings::changed, this, &MqttPublisher::StateChanged);
    connect(&station_.safety, &SafetyRule::changed, this, &MqttPublisher::StateChanged);
    connect(&station_.status, &StationStatus::changed, this, &MqttPublisher::StateChanged);
    // Whatever an earlier run left on the broker is replaced as soon as the connection is up.
    OfferState();
    connect(&heartbeat_, &QTimer::timeout, this, &MqttPublisher::OfferState);
    heartbeat_.start(config_.heartbeatMs);
    if (outbox_) outbox_->Start();
    worker_ = std::thread([shared = shared_, config = config_, topics = topics_]() mutable {
        RunMqttSession(std::move(shared), std::move(config), std::move(topics));
    });
}

void MqttPublisher::SetConnected(bool connected) {
    if (connected == connected_) return;
    connected_ = connected;
    if (!connected && outbox_) outbox_->Disconnected();
    emit connectionChanged(connected);
}

void MqttPublisher::StateChanged() {
    // A report or a tick changes the readings, the verdict and the link one after the other;
    // the state is taken once they all have, never half-way.
    if (statePending_) return;
    statePending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            statePending_ = false;
            OfferState();
        },
        Qt::QueuedConnection);
}

void MqttPublisher::OfferState() {
    const QByteArray state = ReadingsJson(station_);
    {
        std::lock_guard lock(shared_->mutex);
        shared_->state = state;
    }
    shared_->Wake();
}

void MqttPublisher::Record(const IntervalRecord& record, const SunMoon& sky) {
    if (!outbox_ || !shared_) return;
    const std::string& name = station_.readings.StationName();
    const std::string station = name.empty() ? config_.stationName : name;
    outbox_->Add(record.end, [&](std::optional<UtcMilliseconds> previousEnd) {
        return RecordJson(record, station, sky, previousEnd);
    });
}

void MqttPublisher::RecordsReady() {
    if (outbox_) outbox_->Connected();
}

void MqttPublisher::RecordAcknowledged(UtcMilliseconds end) {
    if (outbox_) outbox_->Acknowledged(end);
}

void MqttPublisher::ArchiveConfirmation(const std::string& archive, const QByteArray& payload) {
    if (outbox_) outbox_->Confirmation(archive, payload);
}

void MqttPublisher::HandOver(std::vector<OutgoingRecord> records) {
    {
        std::lock_guard lock(shared_->mutex);
        for (OutgoingRecord& record : records) shared_->records.push_back(std::move(record));
    }
    shared_->Wake();
}

}  // namespace noxa
