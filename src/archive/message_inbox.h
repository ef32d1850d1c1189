#pragma once

#include "archive/incoming_message.h"

#include <deque>
#include <functional>
#include <mutex>
#include <vector>

namespace noxa {

// The messages the network thread received and the main thread has not taken yet. Its size is
// bounded: once it holds `capacity` messages the network thread stops reading from the broker
// (which keeps the rest) until the main thread takes some.
class MessageInbox {
public:
    // `wake` is called on the network thread when the inbox stops being empty; it hands a
    // call to the main thread.
    MessageInbox(std::size_t capacity, std::function<void()> wake)
        : capacity_(capacity), wake_(std::move(wake)) {}

    void Push(IncomingMessage message);
    bool Full() const;
    // Up to `most` messages, oldest first. When some are left the main thread asks again; the
    // network thread wakes it only once the inbox was emptied.
    std::vector<IncomingMessage> Take(std::size_t most);
    std::size_t Size() const;

private:
    const std::size_t capacity_;
    const std::function<void()> wake_;
    mutable std::mutex mutex_;
    std::deque<IncomingMessage> messages_;  // under mutex_
    bool woken_ = false;                    // under mutex_: a wake is on its way or being served
};

}  // namespace noxa
