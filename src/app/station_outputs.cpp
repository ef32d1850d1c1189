#include "app/station_outputs.h"

#include "app/station.h"

namespace noxa {

StationOutputs::StationOutputs(Station& station, const StationClock& clock,
                               StationSettings settings)
    : station_(station), settings_(std::move(settings)), latest_(station.Feed(), clock) {}

StationOutputs::~StationOutputs() = default;

void StationOutputs::Start() {
    if (settings_.http.port != 0) StartWeb();
}

void StationOutputs::StartWeb() {
    const HttpSettings& http = settings_.http;
    QHostAddress address;
    if (http.address.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) {
        address = QHostAddress::LocalHost;
    } else if (!address.setAddress(http.address)) {
        Log("Web server not started: \"" + http.address.toStdString() +
            "\" is not an IP address (--http-address).");
        return;
    }
    WebLimits limits;
    limits.maxConnections = http.maxConnections;
    web_ = std::make_unique<WebServer>(latest_, station_.Days(), station_.Dir(), limits);
    QString error;
    if (!web_->Listen(address, http.port, error)) {
        Log("Web server not started: " + ServerUrl(address, http.port).toStdString() +
            " cannot be opened: " + error.toStdString());
        web_.reset();
        return;
    }
    Log("Web server on " + ServerUrl(address, web_->Port()).toStdString());
}

void StationOutputs::Log(const std::string& line) {
    station_.Form().AppendLog(line);
}

}  // namespace noxa
