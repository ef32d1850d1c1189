#pragma once

#include "outputs/mqtt/mqtt_publisher.h"
#include "outputs/mqtt/record_outbox.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QByteArray>
#include <QMetaObject>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <utility>

namespace noxa {

// What the station's thread and the network thread share.
struct MqttShared {
    MqttShared() : wakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~MqttShared() {
        if (wakeFd >= 0) ::close(wakeFd);
    }

    void Wake() {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(wakeFd, &one, sizeof one);
    }
    void Drain() {
        std::uint64_t count = 0;
        [[maybe_unused]] const auto read = ::read(wakeFd, &count, sizeof count);
    }
    bool Stopping() {
        std::lock_guard lock(mutex);
        return stop;
    }
    // Hands a log line to the station's thread, unless the publisher is gone.
    void Post(LogLevel level, const std::string& line) {
        Queue([level, line](MqttPublisher& publisher) { publisher.log_(level, line); });
    }
    void PostConnected(bool connected) {
        Queue([connected](MqttPublisher& publisher) { publisher.SetConnected(connected); });
    }
    void PostRecordsReady() {
        Queue([](MqttPublisher& publisher) { publisher.RecordsReady(); });
    }
    void PostAcknowledged(UtcMilliseconds end) {
        Queue([end](MqttPublisher& publisher) { publisher.RecordAcknowledged(end); });
    }
    void PostConfirmation(std::string archive, QByteArray payload) {
        Queue([archive = std::move(archive), payload = std::move(payload)](
                  MqttPublisher& publisher) { publisher.ArchiveConfirmation(archive, payload); });
    }
    // Runs `call` on the station's thread, unless the publisher is gone.
    void Queue(std::function<void(MqttPublisher&)> call) {
        std::lock_guard lock(mutex);
        if (owner == nullptr) return;
        MqttPublisher* publisher = owner;
        QMetaObject::invokeMethod(
            publisher, [publisher, call = std::move(call)] { call(*publisher); },
            Qt::QueuedConnection);
    }
    // The records to publish, oldest first; those handed over while the broker is not
    // connected are dropped: the station sends every record not done after each connection.
    std::deque<OutgoingRecord> TakeRecords() {
        std::lock_guard lock(mutex);
        return std::exchange(records, {});
    }
    QByteArray StoppedState() {
        std::lock_guard lock(mutex);
        return stoppedState;
    }

    const int wakeFd;
    std::mutex mutex;
    std::condition_variable finishedChanged;
    MqttPublisher* owner = nullptr;      // under `mutex`
    bool stop = false;                   // under `mutex`
    bool finished = false;               // under `mutex`
    QByteArray state;                    // under `mutex`: the newest, not yet handed on
    QByteArray stoppedState;             // under `mutex`: the last word, set before `stop`
    std::deque<OutgoingRecord> records;  // under `mutex`: to publish, oldest first
};

}  // namespace noxa
