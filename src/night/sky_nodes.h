#pragma once

#include "time/sun_moon.h"

#include <QMutex>

#include <map>
#include <tuple>

namespace noxa {

// The exact positions of the Sun, the Moon and the Earth that AddSky takes its values between,
// kept for all the files of a run: the files of nights one after another, read side by side,
// need the same ones, and the Earth's is the costliest. Each is known by its instant (and the
// place, for the Sun and the Moon in the sky). Threads may share one.
class SkyNodes {
public:
    template <typename Compute>
    BodyPositions Earth(UtcMilliseconds time, Compute compute) {
        return Get(earth_, time, compute);
    }

    template <typename Compute>
    BodyPositions Moon(UtcMilliseconds time, Compute compute) {
        return Get(moon_, time, compute);
    }

    template <typename Compute>
    SunMoon Sky(const ObserverPlace& place, UtcMilliseconds time, Compute compute) {
        return Get(sky_, std::tuple(place.latitude, place.longitude, time), compute);
    }

private:
    // Computed outside the lock: two threads may both compute a node, to the same value.
    template <typename Key, typename Value, typename Compute>
    Value Get(std::map<Key, Value>& nodes, const Key& key, Compute compute) {
        {
            const QMutexLocker lock(&mutex_);
            if (const auto at = nodes.find(key); at != nodes.end()) return at->second;
        }
        const Value value = compute();
        const QMutexLocker lock(&mutex_);
        nodes.try_emplace(key, value);
        return value;
    }

    QMutex mutex_;
    std::map<UtcMilliseconds, BodyPositions> earth_, moon_;
    std::map<std::tuple<double, double, UtcMilliseconds>, SunMoon> sky_;
};

}  // namespace noxa
