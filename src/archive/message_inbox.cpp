#include "archive/message_inbox.h"

namespace noxa {

void MessageInbox::Push(IncomingMessage message) {
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        messages_.push_back(std::move(message));
        wake = !woken_;
        woken_ = true;
    }
    if (wake) wake_();
}

bool MessageInbox::Full() const {
    std::lock_guard lock(mutex_);
    return messages_.size() >= capacity_;
}

std::size_t MessageInbox::Size() const {
    std::lock_guard lock(mutex_);
    return messages_.size();
}

std::vector<IncomingMessage> MessageInbox::Take(std::size_t most) {
    std::vector<IncomingMessage> taken;
    std::lock_guard lock(mutex_);
    const std::size_t count = std::min(most, messages_.size());
    taken.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        taken.push_back(std::move(messages_.front()));
        messages_.pop_front();
    }
    if (messages_.empty()) woken_ = false;
    return taken;
}

}  // namespace noxa
