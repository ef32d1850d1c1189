#pragma once

#include "core/observation.h"
#include "outputs/ida/ida_night_file.h"

#include <QDate>
#include <QString>
#include <QTimeZone>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace noxa::sim {

// What the sky does over a night.
enum class Weather { Clear, Cloudy, Broken };

// Which nights a run writes: `clear`, `cloudy` (overcast with a few breaks), `mixed` (the
// weather changes from night to night and lasts a few nights, as real weather does) and
// `full-moon` (clear nights, starting on the night of the first full Moon on or after the
// first date).
enum class NightKind { Clear, FullMoon, Cloudy, Mixed };
std::optional<NightKind> NightKindFromName(std::string_view name);

// A synthetic night of one-interval records from local noon to the next local noon, with a
// believable sky over a site with some light pollution: a dark zenith near 21.5 mag/arcsec² at
// 740 nm, twilight brightening to about 9 mag at sunset, the instrument saturating at 5 mag by
// day, the Moon brightening the sky by up to 3 mag, clouds brightening it by up to 1.5 mag and
// warming the infrared sky to near the sensor's temperature. The same seed and night give the
// same records.
class NightGenerator {
public:
    NightGenerator(IdaSite site, QTimeZone zone, int intervalSeconds, std::uint32_t seed);

    // The records of the night that began on the local date `night`, each timed at its end.
    std::vector<IntervalRecord> Records(QDate night, Weather weather) const;
    // The night's file as the station writes it: header and a line per record, CR LF ends.
    std::string FileText(QDate night, Weather weather) const;

    const IdaSite& Site() const { return site_; }
    const QTimeZone& Zone() const { return zone_; }

private:
    IdaSite site_;
    QTimeZone zone_;
    int intervalSeconds_;
    std::uint32_t seed_;
};

// A run of night files.
struct NightRun {
    QString folder;
    QDate from;
    int days = 1;
    NightKind kind = NightKind::Clear;
    int intervalSeconds = 60;
    IdaSite site;
    QTimeZone zone;
    std::uint32_t seed = 1;
    int threads = 0;  // 0: one per processor core
};

// The nights a run writes and their weather, in order.
std::vector<std::pair<QDate, Weather>> PlanNights(const NightRun& run);

// Writes the run's night files into its folder (made if need be), each named as the station
// names it. Returns the files' paths, or nothing with `error` set.
std::optional<std::vector<QString>> WriteNightFiles(const NightRun& run, std::string& error);

}  // namespace noxa::sim
