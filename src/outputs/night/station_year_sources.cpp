#include "outputs/night/station_year_sources.h"

#include "core/station_locale.h"
#include "time/station_clock.h"

#include <QFileInfo>

namespace noxa {

std::function<StationYearSources()> StationYearSourcesOf(const OutputContext& context) {
    const OutputServices& services = context.services;
    const StationLocale& locale = context.locale;
    const StationClock& clock = context.clock;
    const WorkDir& dir = context.dir;
    const ObserverPlace& place = context.place;
    return [&services, &locale, &clock, &dir, &place, station = context.stationName] {
        StationYearSources sources;
        if (services.tonightsNightFile)
            sources.nightFileFolder = QFileInfo(services.tonightsNightFile()).path();
        sources.dataFileFolder = dir.File("");
        sources.stationName = station;
        sources.dataTimes = {locale.DatePattern(), locale.TimePattern(), clock.Now().timeZone()};
        sources.place = place;
        return sources;
    };
}

}  // namespace noxa
