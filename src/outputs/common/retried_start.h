#pragma once

#include "core/failure_state.h"
#include "core/station_log.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>
#include <string>

namespace noxa {

// Starts something that may not be possible yet, such as a server whose address is not up at
// boot or whose port the previous process still holds: it tries at once and then every few
// seconds until it succeeds. Each failure is one log line when it starts or its reason changes.
class RetriedStart : public QObject {
    Q_OBJECT

public:
    // Returns why the start failed, or nothing when it succeeded.
    using Attempt = std::function<std::optional<std::string>()>;

    RetriedStart(Attempt attempt, Log log, int intervalMs = 5000);

    void Start();
    bool Started() const { return started_; }

private:
    void Try();

    Attempt attempt_;
    Log log_;
    QTimer timer_;
    FailureState failures_;
    bool started_ = false;
};

}  // namespace noxa
