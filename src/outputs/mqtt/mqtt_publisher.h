#pragma once

#include "core/station_log.h"
#include "outputs/common/station_view.h"
#include "outputs/mqtt/mqtt_discovery.h"
#include "outputs/mqtt/record_outbox.h"
#include "time/sun_moon.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace noxa {

class StationClock;
struct MqttShared;

// Where and as whom the publisher connects; the station's name names its topics and device.
struct MqttPublisherConfig {
    std::string host;
    int port = 1883;
    std::string user;
    std::string password;     // never logged
    std::string caFile;       // a CA certificate file (PEM) turns TLS on
    std::string topicPrefix;  // empty: "noxa/<station>"
    std::string discoveryPrefix = "homeassistant";
    std::string stationName;
    std::string configurationUrl;  // the web dashboard, for Home Assistant; empty: none
    // Home Assistant's readings expire when no state came for this long; 0: never.
    double staleSeconds = 0;
    // The state is published again at least this often, even when nothing changed, so that
    // Home Assistant's link and safety verdict, which expire after four times as long, stay
    // while the station runs and go when it hangs.
    int heartbeatMs = 15000;
    // Where the retained topics published are remembered, so that those no longer published
    // are cleared on the next connection; empty: nowhere, and nothing is cleared.
    std::string topicsFile;
    // Where the records on their way to the archives are kept; empty: records are not sent.
    std::string recordJournal;
    // Records that did not reach every archive in this many days are given up.
    int backlogDays = 7;
    // The archives whose confirmations count; empty: every archive that confirms.
    std::set<std::string> archives;
};

// Publishes the newest readings to an MQTT broker: the readings' JSON with the safety verdict,
// retained, from the start (before any report: unsafe, "no report yet"), at every change of the
// readings, the verdict or the link, and at every heartbeat; the station's availability
// ("online", and "offline" as its will and when it stops); Home Assistant's discovery messages.
// Everything that touches the network (name lookup, connecting, TLS, writing) runs on a thread
// of its own, which reconnects after 1 s, 2 s, … up to 60 s, and again from 1 s after a
// connection that the broker accepted, so a broker that is gone never holds up the station.
// Each (re)connection sends the discovery, the newest state, then the availability again (so
// the broker never holds "online" beside an old run's state), and clears the retained topics
// of the last run that are no longer published. The log function is called on the thread that
// created the publisher: one line when an outage starts and whenever its reason changes, one
// when it is connected.
//
// With a record journal, each data-file record also goes to "<prefix>/record" (QoS 1, not
// retained) and the archives' confirmations on "<prefix>/archived/+" are followed until every
// record is done (see RecordOutbox).
class MqttPublisher : public QObject {
    Q_OBJECT

public:
    // `clock` dates the records' backlog; none: the computer's clock.
    MqttPublisher(StationView station, MqttPublisherConfig config, Log log,
                  const StationClock* clock = nullptr);
    // Publishes a last state (link down, unsafe: the station stopped) and "offline", and
    // disconnects, waiting for that a few seconds at most.
    ~MqttPublisher() override;

    void Start();

    const MqttTopics& Topics() const { return topics_; }
    // Whether the broker accepted the connection and it still holds, as last heard from the
    // network thread.
    bool Connected() const { return connected_; }
    // Sends a data-file record to the archives, with `sky` at its end; nothing with records off.
    void Record(const IntervalRecord& record, const SunMoon& sky);
    // The records held until they are done; 0 with records off.
    std::size_t RecordsHeld() const { return outbox_ ? outbox_->Held() : 0; }

signals:
    void connectionChanged(bool connected);

private:
    friend struct MqttShared;

    // Hands the state as it is now to the network thread.
    void OfferState();
    // Offers the state once the station's thread is done with what it is doing.
    void StateChanged();
    void SetConnected(bool connected);
    void RecordsReady();
    void RecordAcknowledged(UtcMilliseconds end);
    void ArchiveConfirmation(const std::string& archive, const QByteArray& payload);
    void HandOver(std::vector<OutgoingRecord> records);

    const StationView station_;
    MqttPublisherConfig config_;
    Log log_;
    MqttTopics topics_;
    bool connected_ = false;
    std::unique_ptr<RecordOutbox> outbox_;
    std::shared_ptr<MqttShared> shared_;
    bool statePending_ = false;
    QTimer heartbeat_;
    std::thread worker_;
};

}  // namespace noxa
