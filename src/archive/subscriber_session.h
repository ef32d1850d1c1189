#pragma once

#include "archive/archive_settings.h"
#include "archive/message_inbox.h"

#include <memory>

namespace noxa {

struct SubscriberShared;

// The network thread's work until the subscriber stops: connects, subscribes, hands what
// arrives to the inbox, publishes the confirmations, and connects again after a pause.
void RunSubscriberSession(std::shared_ptr<SubscriberShared> shared, ArchiveBrokerConfig config,
                          MessageInbox& inbox);

}  // namespace noxa
