#pragma once

#include "archive/archive_settings.h"
#include "archive/message_inbox.h"
#include "core/station_log.h"

#include <QObject>

#include <memory>
#include <string>
#include <thread>

namespace noxa {

struct SubscriberShared;

// The archive's link to the broker: libmosquitto on a network thread of its own, subscribed
// (QoS 1, a fixed client id, the session kept by the broker) to every station's record, state
// and availability. What arrives goes into the inbox; the confirmations the main thread hands
// over are published, retained, once connected. It reconnects with a growing pause.
class MqttSubscriber : public QObject {
    Q_OBJECT

public:
    MqttSubscriber(ArchiveBrokerConfig config, MessageInbox& inbox, Log log);
    ~MqttSubscriber() override;

    void Start();
    // Publishes `payload` retained on `topic` (QoS 1) once connected; a newer payload for the
    // same topic replaces one not sent yet.
    void PublishRetained(const std::string& topic, const QByteArray& payload);

signals:
    void connectionChanged(bool connected);

private:
    friend struct SubscriberShared;

    ArchiveBrokerConfig config_;
    MessageInbox& inbox_;
    Log log_;
    std::shared_ptr<SubscriberShared> shared_;
    std::thread thread_;
};

}  // namespace noxa
