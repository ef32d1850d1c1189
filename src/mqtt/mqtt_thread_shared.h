#pragma once

#include "core/station_log.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <mutex>
#include <string>

namespace noxa {

// What a client's owning thread and its network thread share: a wake-up for the network
// thread, the request to stop, a mutex for what the two hand each other, and the way back to
// the owner for log lines and the connection's state.
struct MqttThreadShared {
    MqttThreadShared() : wakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    virtual ~MqttThreadShared() {
        if (wakeFd >= 0) ::close(wakeFd);
    }
    MqttThreadShared(const MqttThreadShared&) = delete;
    MqttThreadShared& operator=(const MqttThreadShared&) = delete;

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
    // Hand a log line, and whether the broker is connected, to the owner's thread.
    virtual void Post(LogLevel level, const std::string& line) = 0;
    virtual void PostConnected(bool connected) = 0;

    const int wakeFd;
    std::mutex mutex;
    bool stop = false;  // under `mutex`
};

}  // namespace noxa
