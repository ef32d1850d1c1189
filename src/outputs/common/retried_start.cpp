#include "outputs/common/retried_start.h"

namespace noxa {

RetriedStart::RetriedStart(Attempt attempt, Log log, int intervalMs)
    : attempt_(std::move(attempt)), log_(std::move(log)) {
    timer_.setSingleShot(true);
    timer_.setInterval(intervalMs);
    connect(&timer_, &QTimer::timeout, this, &RetriedStart::Try);
}

void RetriedStart::Start() {
    Try();
}

void RetriedStart::Try() {
    const std::optional<std::string> error = attempt_();
    if (!error) {
        started_ = true;
        return;
    }
    if (failures_.Failed(*error)) {
        log_.Warning(*error + "; trying again");
    }
    timer_.start();
}

}  // namespace noxa
