#include "app/station_outputs.h"

#include "app/station.h"
#include "outputs/alpaca/alpaca_output.h"
#include "outputs/common/safety_settings.h"
#include "outputs/ida/ida_output.h"
#include "outputs/mqtt/mqtt_output.h"
#include "outputs/night/night_charts_output.h"
#include "outputs/web/web_output.h"

namespace noxa {

const std::vector<OutputKind>& OutputKinds() {
    // The web server first: others mount on it, and Home Assistant links the station's device
    // to its dashboard. Night files before the night charts, which restart from them.
    static const std::vector<OutputKind> kinds{
        WebOutput(), AlpacaOutput(), MqttOutput(), IdaOutput(), NightChartsOutput(),
    };
    return kinds;
}

StationOutputs::StationOutputs(Station& station, const StationClock& clock, Settings settings,
                               QTimeZone siteZone)
    : station_(station),
      clock_(clock),
      settings_(std::move(settings)),
      limits_(ReadSafetyLimits(settings_)),
      status_(station.Feed(), clock, limits_.staleSeconds),
      latest_(station.Feed(), clock, limits_.staleSeconds),
      safety_(latest_, limits_, station.Form().LogTo()),
      siteZone_(std::move(siteZone)) {}

StationOutputs::~StationOutputs() {
    while (!running_.empty()) running_.pop_back();
}

void StationOutputs::Start() {
    const std::string name = station_.Form().Text(FormText::Esitio);
    latest_.SetStationName(name);
    place_ = station_.Place();
    const Log log = station_.Form().LogTo();
    // What was wrong in the settings read so far: the file, the station's and the limits'.
    for (const std::string& problem : settings_.TakeProblems()) log.Warning(problem);
    OutputContext context{
        station_.Feed(),   latest_, safety_,   status_, clock_, station_.Dir(), station_.Days(),
        station_.Locale(), place_,  siteZone_, name,    log,    services_};
    for (const OutputKind& kind : OutputKinds()) {
        if (std::unique_ptr<Output> output = kind.start(settings_, context)) {
            running_.push_back(std::move(output));
        }
        for (const std::string& problem : settings_.TakeProblems()) log.Warning(problem);
    }
}

}  // namespace noxa
