#pragma once

#include "night/night_sample.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace noxa {

// Where each value of a file's lines stands, found by the columns' names in its header; -1 for
// a value the file does not give. Night files name their columns as the skyglow format does
// ("UTC Date & Time", "MSAS", "MSAS1" … "MSASB", "Temperature", …), data files as the station
// writes them ("Date", "Time", "MV-740" … "MV-B", "T-Sens", "T-IR").
struct NightColumns {
    int utc = -1, local = -1;  // night files' times
    int date = -1, time = -1;  // data files' local date and time
    std::array<int, kNightChannels> mags;
    int sensor = -1, sky = -1, sun = -1, moon = -1, moonLit = -1;
    // Names the reader does not know (or that came twice): those columns are left out.
    std::vector<std::string> unknown;

    NightColumns() { mags.fill(-1); }
    // True when some column holds a measured value: a sky brightness or a temperature.
    bool HasValues() const;
};

// Places the columns `names` name, in their order; names are compared without case and without
// the spaces around them. "MSAS" is a single-channel logger's own channel, but channel 1
// (740 nm) in a file that names the station's other channels (MSAS2 … MSASB).
NightColumns PlaceColumns(const std::vector<std::string_view>& names);

// Reads one line's `fields` into `sample`: a brightness that cannot be read or is "unknown" is 0
// (no reading), any other value NaN, and the cloud cover comes from the two temperatures. True
// when some measured value (a brightness or a temperature) could be read, as a number or as
// "unknown".
bool ReadValues(const NightColumns& columns, const std::string_view* fields, size_t count,
                NightSample& sample);

}  // namespace noxa
