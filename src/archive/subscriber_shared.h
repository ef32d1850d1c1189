#pragma once

#include "archive/mqtt_subscriber.h"
#include "mqtt/mqtt_thread_shared.h"

#include <QMetaObject>

#include <cstdint>
#include <map>
#include <mutex>

namespace noxa {

// What the main thread and the network thread share.
struct SubscriberShared final : MqttThreadShared {
    std::map<std::string, QByteArray> TakeOutgoing() {
        std::lock_guard lock(mutex);
        return std::exchange(outgoing, {});
    }
    // A log line for the main thread, unless the subscriber is gone.
    void Post(LogLevel level, const std::string& line) override {
        std::lock_guard lock(mutex);
        if (owner == nullptr) return;
        MqttSubscriber* subscriber = owner;
        QMetaObject::invokeMethod(
            subscriber, [subscriber, level, line] { subscriber->log_(level, line); },
            Qt::QueuedConnection);
    }
    void PostConnected(bool connected) override {
        std::lock_guard lock(mutex);
        if (owner == nullptr) return;
        MqttSubscriber* subscriber = owner;
        QMetaObject::invokeMethod(
            subscriber, [subscriber, connected] { emit subscriber->connectionChanged(connected); },
            Qt::QueuedConnection);
    }

    MqttSubscriber* owner = nullptr;             // under mutex
    std::map<std::string, QByteArray> outgoing;  // under mutex: topic -> newest payload
};

}  // namespace noxa
