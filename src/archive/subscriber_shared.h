#pragma once

#include "archive/mqtt_subscriber.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QMetaObject>

#include <cstdint>
#include <map>
#include <mutex>

namespace noxa {

// What the main thread and the network thread share.
struct SubscriberShared {
    SubscriberShared() : wakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~SubscriberShared() {
        if (wakeFd >= 0) ::close(wakeFd);
    }
    SubscriberShared(const SubscriberShared&) = delete;
    SubscriberShared& operator=(const SubscriberShared&) = delete;

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
    std::map<std::string, QByteArray> TakeOutgoing() {
        std::lock_guard lock(mutex);
        return std::exchange(outgoing, {});
    }
    // A log line for the main thread, unless the subscriber is gone.
    void Post(LogLevel level, const std::string& line) {
        std::lock_guard lock(mutex);
        if (owner == nullptr) return;
        MqttSubscriber* subscriber = owner;
        QMetaObject::invokeMethod(
            subscriber, [subscriber, level, line] { subscriber->log_(level, line); },
            Qt::QueuedConnection);
    }
    void PostConnected(bool connected) {
        std::lock_guard lock(mutex);
        if (owner == nullptr) return;
        MqttSubscriber* subscriber = owner;
        QMetaObject::invokeMethod(
            subscriber, [subscriber, connected] { emit subscriber->connectionChanged(connected); },
            Qt::QueuedConnection);
    }

    const int wakeFd;
    std::mutex mutex;
    MqttSubscriber* owner = nullptr;             // under mutex
    bool stop = false;                           // under mutex
    std::map<std::string, QByteArray> outgoing;  // under mutex: topic -> newest payload
};

}  // namespace noxa
