#include "night/hourglass_grid.h"

#include "core/median.h"

#include <QDateTime>
#include <QTimeZone>

#include <algorithm>
#include <cmath>

namespace noxa {
namespace {

constexpr float kAstronomicalNight = -18.f;

bool HasValue(const Night& night, int channel) {
    return std::any_of(night.samples.begin(), night.samples.end(),
                       [channel](const NightSample& s) { return s.mag[size_t(channel)] > 0; });
}

// Milliseconds of the night's local wall-clock time since the chart's evening hour.
qint64 ChartMilliseconds(const Night& night, UtcMilliseconds time, const HourglassLayout& layout) {
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(time, night.zone);
    const qint64 days = night.date.daysTo(local.date());
    return days * 86400000 + local.time().msecsSinceStartOfDay() -
           qint64(layout.eveningHour) * 3600000;
}

// The night's zone's offset from UTC, in milliseconds, when it holds for all of the night's
// records: no change of the clocks between the first and the last. Saves a look-up in the zone
// for each record.
std::optional<qint64> SteadyOffset(const Night& night) {
    if (night.samples.empty() || !night.zone.isValid()) return std::nullopt;
    const auto [earliest, latest] = std::minmax_element(
        night.samples.begin(), night.samples.end(),
        [](const NightSample& a, const NightSample& b) { return a.time < b.time; });
    const QDateTime first = QDateTime::fromMSecsSinceEpoch(earliest->time, night.zone);
    const QTimeZone::OffsetData next = night.zone.nextTransition(first);
    if (!first.isValid() ||
        (next.atUtc.isValid() && next.atUtc.toMSecsSinceEpoch() <= latest->time))
        return std::nullopt;
    return qint64(first.offsetFromUtc()) * 1000;
}

// As ChartMilliseconds, with the zone's offset known.
qint64 ChartMilliseconds(const Night& night, UtcMilliseconds time, qint64 offset,
                         const HourglassLayout& layout) {
    constexpr qint64 kJulianDayOf1970 = 2440588;
    const qint64 dateStart = (night.date.toJulianDay() - kJulianDayOf1970) * 86400000;
    return time + offset - dateStart - qint64(layout.eveningHour) * 3600000;
}

std::optional<HourglassCells> CellsEndingAt(const Night& night, qint64 end, UtcMilliseconds span,
                                            int year, const HourglassLayout& layout) {
    if (night.date.year() != year || span <= 0) return std::nullopt;
    const qint64 rowMs = qint64(layout.minutesPerRow) * 60000;
    const qint64 first = std::max<qint64>(0, (end - span) / rowMs);
    const qint64 last = std::min<qint64>(layout.Rows() - 1, (end - 1) / rowMs);
    if (end <= 0 || first > last) return std::nullopt;
    return HourglassCells{night.date.dayOfYear() - 1, int(first), int(last)};
}

}  // namespace

SkyLight SkyLightOf(const NightSample& sample) {
    if (std::isnan(sample.sunAltitude)) return SkyLight::Unknown;
    if (sample.sunAltitude >= kAstronomicalNight) return SkyLight::Twilight;
    if (std::isnan(sample.moonAltitude)) return SkyLight::Unknown;
    return sample.moonAltitude >= 0 ? SkyLight::MoonUp : SkyLight::Dark;
}

std::optional<HourglassCells> HourglassCellsOf(const Night& night, UtcMilliseconds time,
                                               UtcMilliseconds span, int year,
                                               const HourglassLayout& layout) {
    if (night.date.year() != year) return std::nullopt;
    return CellsEndingAt(night, ChartMilliseconds(night, time, layout), span, year, layout);
}

UtcMilliseconds RecordSpan(const Night& night) {
    constexpr UtcMilliseconds kLongest = 30 * 60000;
    std::vector<UtcMilliseconds> gaps;
    for (size_t i = 1; i < night.samples.size(); ++i)
        gaps.push_back(night.samples[i].time - night.samples[i - 1].time);
    if (gaps.empty()) return 60000;
    std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
    return std::clamp<UtcMilliseconds>(gaps[gaps.size() / 2], 1, kLongest);
}

int HourglassChannel(const std::vector<const Night*>& nights) {
    const bool any740 =
        std::any_of(nights.begin(), nights.end(), [](const Night* n) { return HasValue(*n, 0); });
    const bool anySingle = std::any_of(nights.begin(), nights.end(),
                                       [](const Night* n) { return HasValue(*n, kSingleChannel); });
    return !any740 && anySingle ? kSingleChannel : 0;
}

HourglassGrid BuildHourglassGrid(const std::vector<const Night*>& nights, int year,
                                 const HourglassLayout& layout) {
    HourglassGrid grid;
    grid.year = year;
    grid.channel = HourglassChannel(nights);
    grid.columns = QDate(year, 1, 1).daysInYear();
    grid.rows = layout.Rows();
    grid.cells.resize(size_t(grid.columns) * size_t(grid.rows));
    std::vector<std::vector<float>> values(grid.cells.size());
    for (const Night* night : nights) {
        if (night->date.year() != year) continue;
        const UtcMilliseconds span = RecordSpan(*night);
        const std::optional<qint64> offset = SteadyOffset(*night);
        for (const NightSample& sample : night->samples) {
            const auto covered =
                offset
                    ? CellsEndingAt(*night, ChartMilliseconds(*night, sample.time, *offset, layout),
                                    span, year, layout)
                    : HourglassCellsOf(*night, sample.time, span, year, layout);
            if (!covered) continue;
            const float mag = sample.mag[size_t(grid.channel)];
            for (int row = covered->firstRow; row <= covered->lastRow; ++row) {
                const size_t at = size_t(row) * size_t(grid.columns) + size_t(covered->column);
                HourglassCell& cell = grid.cells[at];
                ++cell.records;
                cell.light = std::max(cell.light, SkyLightOf(sample));
                if (mag > 0) values[at].push_back(mag);
            }
        }
    }
    for (size_t at = 0; at < grid.cells.size(); ++at)
        if (!values[at].empty()) grid.cells[at].mag = *Median(values[at]);
    return grid;
}

std::map<std::pair<std::string, int>, std::vector<const Night*>> NightsByInstrumentYear(
    const std::vector<Night>& nights) {
    std::map<std::pair<std::string, int>, std::vector<const Night*>> byYear;
    for (const Night& night : nights)
        byYear[{night.instrument, night.date.year()}].push_back(&night);
    return byYear;
}

}  // namespace noxa
