#pragma once

#include "core/observation.h"

#include <QDateTime>

#include <mutex>

namespace noxa {

// The station clock: the computer's local date and time, to the millisecond. Tests use a
// clock they set themselves.
class StationClock {
public:
    virtual ~StationClock() = default;
    virtual QDateTime Now() const = 0;
    // The same instant in universal time.
    virtual UtcMilliseconds NowUtc() const { return Now().toMSecsSinceEpoch(); }
};

class SystemClock final : public StationClock {
public:
    QDateTime Now() const override { return QDateTime::currentDateTime(); }
    UtcMilliseconds NowUtc() const override { return QDateTime::currentMSecsSinceEpoch(); }
};

// A clock that shows what it is told; tests and fast simulations move it by hand. Like the
// system's clock it may be read from any thread.
class ManualClock final : public StationClock {
public:
    explicit ManualClock(QDateTime now) : now_(std::move(now)) {}
    QDateTime Now() const override {
        std::lock_guard lock(mutex_);
        return now_;
    }
    void Set(QDateTime now) {
        std::lock_guard lock(mutex_);
        now_ = std::move(now);
    }
    void Advance(qint64 milliseconds) {
        std::lock_guard lock(mutex_);
        now_ = now_.addMSecs(milliseconds);
    }

private:
    mutable std::mutex mutex_;
    QDateTime now_;
};

}  // namespace noxa
