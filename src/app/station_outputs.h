#pragma once

#include "app/retried_start.h"
#include "app/station_settings.h"
#include "night/night_watcher.h"
#include "outputs/alpaca/alpaca_discovery.h"
#include "outputs/alpaca/alpaca_server.h"
#include "outputs/common/latest_readings.h"
#include "outputs/common/safety_rule.h"
#include "outputs/ida/ida_night_file.h"
#include "outputs/mqtt/mqtt_publisher.h"
#include "outputs/web/web_server.h"

#include <functional>
#include <memory>
#include <string>

namespace noxa {

class Station;
class StationClock;

// The outputs the user turned on in the settings, fed by the station's observations. Each
// output owns its sockets and says in the station's log what it does and what fails.
class StationOutputs {
public:
    StationOutputs(Station& station, const StationClock& clock, StationSettings settings);
    ~StationOutputs();

    // Starts every output that is turned on; called once the station has started.
    void Start();

    const LatestReadings& Latest() const { return latest_; }
    const SafetyRule& Safety() const { return safety_; }

private:
    void Log(const std::string& line);
    void StartMqtt();
    void StartWeb();
    void StartIda();
    void StartNightCharts();
    // The web server listens: says so and starts what rides on it.
    void WebListening(const QHostAddress& address);
    void StartAlpaca(const QHostAddress& address);

    Station& station_;
    const StationClock& clock_;
    StationSettings settings_;
    LatestReadings latest_;
    std::unique_ptr<IdaNightFile> ida_;
    std::unique_ptr<NightWatcher> nights_;
    SafetyRule safety_;
    std::unique_ptr<MqttPublisher> mqtt_;
    std::unique_ptr<AlpacaServer> alpaca_;
    std::unique_ptr<WebServer> web_;
    QString webUrl_;  // the dashboard's address; empty while the web server is off
    std::unique_ptr<AlpacaDiscovery> alpacaDiscovery_;
    // Listening is tried again while the address or the port cannot be had.
    std::unique_ptr<RetriedStart> webStart_;
    std::unique_ptr<RetriedStart> discoveryStart_;
};

}  // namespace noxa
