#pragma once

#include "mqtt/mqtt_thread_shared.h"
#include "outputs/mqtt/mqtt_publisher.h"
#include "outputs/mqtt/record_outbox.h"

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
struct MqttShared final : MqttThreadShared {
    // Hands a log line to the station's thread, unless the publisher is gone.
    void Post(LogLevel level, const std::string& line) override {
        Queue([level, line](MqttPublisher& publisher) { publisher.log_(level, line); });
    }
    void PostConnected(bool connected) override {
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

    std::condition_variable finishedChanged;
    MqttPublisher* owner = nullptr;      // under `mutex`
    bool finished = false;               // under `mutex`
    QByteArray state;                    // under `mutex`: the newest, not yet handed on
    QByteArray stoppedState;             // under `mutex`: the last word, set before `stop`
    std::deque<OutgoingRecord> records;  // under `mutex`: to publish, oldest first
};

}  // namespace noxa
