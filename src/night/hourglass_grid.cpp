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

// The night's column in the hourglass of `year`, its day of the year less one; none for a night
// of another year.
std::optional<int> ColumnOf(const Night& night, int year) {
    if (night.date.year() != year) return std::nullopt;
    return night.date.dayOfYear() - 1;
}

std::optional<HourglassCells> CellsEndingAt(std::optional<int> column, qint64 end,
                                            UtcMilliseconds span, const HourglassLayout& layout) {
    if (!column || span <= 0) return std::nullopt;
    const qint64 rowMs = qint64(layout.minutesPerRow) * 60000;
    const qint64 first = std::max<qint64>(0, (end - span) / rowMs);
    const qint64 last = std::min<qint64>(layout.Rows() - 1, (end - 1) / rowMs);
    if (end <= 0 || first > last) return std::nullopt;
    return HourglassCells{*column, int(first), int(last)};
}

// Marks the cells of the local hour the clocks skip in the night (going forward), which no
// record can fill.
void MarkSkippedHour(const Night& night, const HourglassLayout& layout,
                     std::vector<HourglassCell>& cells) {
    if (!night.zone.isValid()) return;
    const QDateTime noon(night.date, QTime(12, 0), night.zone);
    const QTimeZone::OffsetData next = night.zone.nextTransition(noon);
    if (!next.atUtc.isValid() || next.atUtc >= noon.addDays(1)) return;
    const qint64 at = next.atUtc.toMSecsSinceEpoch();
    const qint64 before =
        qint64(night.zone.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(at - 1, QTimeZone::utc())));
    const qint64 after = qint64(next.offsetFromUtc);
    if (after <= before) return;
    const qint64 start = ChartMilliseconds(night, at, before * 1000, layout);
    const qint64 end = ChartMilliseconds(night, at, after * 1000, layout);
    const qint64 rowMs = qint64(layout.minutesPerRow) * 60000;
    for (qint64 row = std::max<qint64>(0, start / rowMs); row < qint64(cells.size()); ++row) {
        if ((row + 1) * rowMs > end) break;
        if (row * rowMs >= start && cells[size_t(row)].records == 0)
            cells[size_t(row)].light = SkyLight::ClockChange;
    }
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
    // From the interval's start on the clock: an interval over a change of the clocks keeps the
    // clock time it began in.
    return CellsEndingAt(ColumnOf(night, year),
                         ChartMilliseconds(night, time - span, layout) + span, span, layout);
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

HourglassColumn BuildHourglassColumn(const Night& night, const HourglassLayout& layout) {
    HourglassColumn column;
    column.date = night.date;
    column.has740 = HasValue(night, 0);
    const bool hasSingle = HasValue(night, kSingleChannel);
    const int rows = layout.Rows();
    column.cells.resize(size_t(rows));
    if (hasSingle) column.singleMags.resize(size_t(rows));
    std::vector<std::vector<float>> values(static_cast<size_t>(rows));
    std::vector<std::vector<float>> single(hasSingle ? static_cast<size_t>(rows) : 0);
    const UtcMilliseconds span = RecordSpan(night);
    const std::optional<qint64> offset = SteadyOffset(night);
    const int year = night.date.year();
    const std::optional<int> dayColumn = ColumnOf(night, year);
    for (const NightSample& sample : night.samples) {
        const auto covered =
            offset
                ? CellsEndingAt(dayColumn, ChartMilliseconds(night, sample.time, *offset, layout),
                                span, layout)
                : HourglassCellsOf(night, sample.time, span, year, layout);
        if (!covered) continue;
        for (int row = covered->firstRow; row <= covered->lastRow; ++row) {
            HourglassCell& cell = column.cells[size_t(row)];
            ++cell.records;
            cell.light = std::max(cell.light, SkyLightOf(sample));
            if (sample.mag[0] > 0) values[size_t(row)].push_back(sample.mag[0]);
            if (hasSingle && sample.mag[kSingleChannel] > 0)
                single[size_t(row)].push_back(sample.mag[kSingleChannel]);
        }
    }
    for (size_t row = 0; row < size_t(rows); ++row) {
        column.cells[row].mag = Median(values[row]);
        if (hasSingle) column.singleMags[row] = Median(single[row]);
    }
    MarkSkippedHour(night, layout, column.cells);
    return column;
}

HourglassGrid BuildHourglassGrid(const std::vector<const Night*>& nights, int year,
                                 const HourglassLayout& layout) {
    std::vector<HourglassColumn> columns;
    for (const Night* night : nights)
        if (night->date.year() == year) columns.push_back(BuildHourglassColumn(*night, layout));
    std::vector<const HourglassColumn*> pointers;
    for (const HourglassColumn& column : columns) pointers.push_back(&column);
    return BuildHourglassGrid(pointers, year, layout);
}

HourglassGrid BuildHourglassGrid(const std::vector<const HourglassColumn*>& columns, int year,
                                 const HourglassLayout& layout) {
    // 740 nm, or a single-channel logger's own when the nights give no 740 nm value at all.
    const bool any740 = std::any_of(columns.begin(), columns.end(),
                                    [](const HourglassColumn* c) { return c->has740; });
    const bool anySingle = std::any_of(columns.begin(), columns.end(),
                                       [](const auto* c) { return !c->singleMags.empty(); });
    HourglassGrid grid;
    grid.year = year;
    grid.channel = !any740 && anySingle ? kSingleChannel : 0;
    grid.columns = QDate(year, 1, 1).daysInYear();
    grid.rows = layout.Rows();
    grid.cells.resize(size_t(grid.columns) * size_t(grid.rows));
    for (const HourglassColumn* column : columns) {
        if (column->date.year() != year || int(column->cells.size()) != grid.rows) continue;
        const size_t x = size_t(column->date.dayOfYear() - 1);
        for (size_t row = 0; row < size_t(grid.rows); ++row) {
            HourglassCell& cell = grid.cells[row * size_t(grid.columns) + x];
            cell = column->cells[row];
            if (grid.channel == kSingleChannel)
                cell.mag = column->singleMags.empty() ? std::nullopt : column->singleMags[row];
        }
    }
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
