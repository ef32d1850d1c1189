#pragma once

#include "outputs/alpaca/alpaca_connections.h"
#include "outputs/web/web_server.h"

#include <QByteArray>
#include <QString>
#include <QUuid>

#include <chrono>
#include <cstdint>
#include <mutex>

namespace noxa {

class StationClock;

// What the station says about itself to Alpaca clients.
struct AlpacaIdentity {
    QString stationName;
    QString version;  // "major.minor"
    // The station's own id, made once and kept in its settings: each device's unique id is
    // derived from it, so two stations never share one and a rename changes none.
    QString deviceId;
    QString location;  // the site's name; may be empty
};

// The station as two Alpaca devices on the web server: an ObservingConditions device (sky
// quality from channel 1, sky and sensor temperature, cloud cover) and a SafetyMonitor that
// gives the safety rule's verdict, each device number 0, with the management requests that
// list them. Requests under "/management/" and "/api/v1/" come here; every answer is JSON with
// the client's and the server's transaction numbers, an Alpaca error number and message, and
// HTTP 400 only for a request that cannot be understood. Each client connects a device for
// itself (by its ClientID); a reading the station does not know now is never given as a number.
// Requests are answered on the web server's threads: the readings and the verdict come from the
// snapshot the station publishes, and the clients' connections are the server's own state.
class AlpacaServer {
public:
    AlpacaServer(const StationClock& clock, AlpacaIdentity identity);

    // Mounts the management and device requests and the setup pages on `web`, and reads the
    // station's snapshots from it.
    void MountOn(WebServer& web);

    // One request: PUT or not (HEAD and GET alike), its path and its parameters, form-encoded
    // (the query for a GET, the body for a PUT).
    WebReply Handle(bool put, const QString& path, const QByteArray& parameters);
    WebReply Handle(const WebRequest& request);

    // The unique id of one of the station's devices: the same for the same station id.
    static QUuid DeviceId(const QString& stationId, const QString& deviceType);

    // The setup page of "/setup" and "/setup/v1/<device type>/0/setup": where the settings live.
    WebReply SetupPage(const QString& path) const;

private:
    struct Call;
    WebReply Management(const Call& call, const QString& path);
    WebReply Device(const Call& call, const QString& type, const QString& member);
    WebReply ObservingConditions(const Call& call, const QString& member);
    WebReply SafetyMonitor(const Call& call, const QString& member);
    WebReply SensorValue(const Call& call, const QString& member) const;
    WebReply SensorInfo(const Call& call, const QString& member) const;
    bool Connected(int device, std::uint32_t client);

    const StationClock& clock_;
    const AlpacaIdentity identity_;
    const StationSnapshots* snapshots_ = nullptr;
    std::mutex mutex_;
    std::uint32_t serverTransaction_ = 0;
    // The clients that connected each device: [0] ObservingConditions, [1] SafetyMonitor.
    AlpacaConnections connections_[2];
};

}  // namespace noxa
