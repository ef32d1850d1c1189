#include "app/station_outputs.h"

#include "app/station.h"

namespace noxa {

StationOutputs::StationOutputs(Station& station, const StationClock& clock,
                               StationSettings settings)
    : station_(station), settings_(std::move(settings)), latest_(station.Feed(), clock) {}

StationOutputs::~StationOutputs() = default;

void StationOutputs::Start() {}

void StationOutputs::Log(const std::string& line) {
    station_.Form().AppendLog(line);
}

}  // namespace noxa
