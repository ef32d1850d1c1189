#pragma once

#include "night/night_sample.h"

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace noxa {

// What lights a record's sky besides the site's own light, in the order in which a cell of the
// year's chart shows it: a cell is only as dark as the least dark of its records.
enum class SkyLight {
    Dark,      // the Sun below -18°, the Moon below the horizon
    Unknown,   // the Sun or the Moon not known
    MoonUp,    // the Sun below -18°, the Moon above the horizon
    Twilight,  // the Sun at -18° or above
    // A cell without records in the hour the clocks skip when they go forward: no local time
    // of the night falls in it.
    ClockChange,
};

SkyLight SkyLightOf(const NightSample& sample);

// The grid of the year's chart: a column per day of the year, a row per few minutes of the
// night's local time (wall clock) from the evening to the morning.
struct HourglassLayout {
    int eveningHour = 16;  // local time of the first row
    int hours = 16;        // the rows span this many hours, past midnight
    int minutesPerRow = 5;

    int Rows() const { return hours * 60 / minutesPerRow; }
};

// One cell: the median of its records' sky brightness and how the least dark of them was lit.
struct HourglassCell {
    std::optional<float> mag;  // mag/arcsec²; none when no record of the cell had a value
    SkyLight light = SkyLight::Dark;
    int records = 0;
};

struct HourglassGrid {
    int year = 0;
    int channel = 0;  // index into the nights' brightness arrays
    int columns = 0, rows = 0;
    std::vector<HourglassCell> cells;  // row by row

    const HourglassCell& At(int column, int row) const {
        return cells[size_t(row) * size_t(columns) + size_t(column)];
    }
};

// The cells a record covers: the rows of one column.
struct HourglassCells {
    int column = 0, firstRow = 0, lastRow = 0;
};

// The cells covered by a record of `night` on the chart of `year`: the column of the night's
// date, the rows of the local times of the `span` that ends at `time` (a record's values are
// the means of the interval before it); none outside the year or the hours.
std::optional<HourglassCells> HourglassCellsOf(const Night& night, UtcMilliseconds time,
                                               UtcMilliseconds span, int year,
                                               const HourglassLayout& layout);

// The interval of a night's records: the median time between them, at most half an hour, so
// that the instrument's pauses are left as gaps.
UtcMilliseconds RecordSpan(const Night& night);

// One night's column of the grid: its cells with their brightness at 740 nm, and the
// brightness of a single-channel logger's own channel.
struct HourglassColumn {
    QDate date;  // the night's
    std::vector<HourglassCell> cells;
    std::vector<std::optional<float>> singleMags;  // empty when the night has no such value
    bool has740 = false;  // some record of the night has a 740 nm value, in the chart or not
};

HourglassColumn BuildHourglassColumn(const Night& night, const HourglassLayout& layout = {});

// The grid of one instrument's nights that began in `year`, from their nights or their columns.
HourglassGrid BuildHourglassGrid(const std::vector<const Night*>& nights, int year,
                                 const HourglassLayout& layout = {});
HourglassGrid BuildHourglassGrid(const std::vector<const HourglassColumn*>& columns, int year,
                                 const HourglassLayout& layout = {});

// The nights by instrument and by the year in which they began.
std::map<std::pair<std::string, int>, std::vector<const Night*>> NightsByInstrumentYear(
    const std::vector<Night>& nights);

}  // namespace noxa
