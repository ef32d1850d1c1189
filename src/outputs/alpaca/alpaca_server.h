#pragma once

#include "outputs/web/web_server.h"

#include <QByteArray>
#include <QString>
#include <QUuid>

#include <cstdint>

class QHttpServerRequest;

namespace noxa {

class LatestReadings;
class SafetyRule;

// What the station says about itself to Alpaca clients.
struct AlpacaIdentity {
    QString stationName;
    QString version;  // "major.minor"
};

// The station as two Alpaca devices on the web server: an ObservingConditions device (sky
// quality from channel 1, sky and sensor temperature, cloud cover) and a SafetyMonitor that
// gives the safety rule's verdict, each device number 0, with the management requests that
// list them. Requests under "/management/" and "/api/v1/" come here; every answer is JSON with
// the client's and the server's transaction numbers, an Alpaca error number and message, and
// HTTP 400 only for a request that cannot be understood.
class AlpacaServer {
public:
    AlpacaServer(const LatestReadings& readings, const SafetyRule& safety, AlpacaIdentity identity);

    // Mounts the management and device requests on `web`.
    void MountOn(WebServer& web);

    // One request: PUT or not (HEAD and GET alike), its path and its parameters, form-encoded
    // (the query for a GET, the body for a PUT).
    WebReply Handle(bool put, const QString& path, const QByteArray& parameters);
    WebReply Handle(const QHttpServerRequest& request);

    // The unique id of one of the station's devices: the same for the same station name.
    static QUuid DeviceId(const QString& stationName, const QString& deviceType);

private:
    struct Call;
    WebReply Management(const Call& call, const QString& path);
    WebReply Device(const Call& call, const QString& type, const QString& member);
    WebReply ObservingConditions(const Call& call, const QString& member);
    WebReply SafetyMonitor(const Call& call, const QString& member);

    const LatestReadings& readings_;
    const SafetyRule& safety_;
    const AlpacaIdentity identity_;
    std::uint32_t serverTransaction_ = 0;
    // Whether a client connected each device: [0] ObservingConditions, [1] SafetyMonitor.
    bool connected_[2] = {false, false};
};

}  // namespace noxa
