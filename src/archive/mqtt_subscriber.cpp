#include "archive/mqtt_subscriber.h"

#include "archive/subscriber_session.h"
#include "archive/subscriber_shared.h"

namespace noxa {

MqttSubscriber::MqttSubscriber(ArchiveBrokerConfig config, MessageInbox& inbox, Log log)
    : config_(std::move(config)),
      inbox_(inbox),
      log_(std::move(log)),
      shared_(std::make_shared<SubscriberShared>()) {
    shared_->owner = this;
}

MqttSubscriber::~MqttSubscriber() {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->owner = nullptr;
        shared_->stop = true;
    }
    shared_->Wake();
    if (thread_.joinable()) thread_.join();
}

void MqttSubscriber::Start() {
    thread_ = std::thread(RunSubscriberSession, shared_, config_, std::ref(inbox_));
}

void MqttSubscriber::PublishRetained(const std::string& topic, const QByteArray& payload) {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->outgoing[topic] = payload;
    }
    shared_->Wake();
}

}  // namespace noxa
