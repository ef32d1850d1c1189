#pragma once

#include "night/night_sample.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace noxa {

// Nights gathered from several files, one per instrument and night: a night found in several
// files (a month's data file ends in the night) is put together, and a record given more than
// once (the same file twice, files that overlap) is kept once.
class NightCollection {
public:
    // Adds the nights of one file; each carries its instrument.
    void Add(std::vector<Night> nights);

    // The nights in the order of their dates, then of their instruments, each night's records
    // in time order. `repeated` counts, per instrument, the records left out as given before.
    std::vector<Night> Take(std::map<std::string, int>& repeated);

private:
    std::map<std::pair<QDate, std::string>, Night> nights_;
};

}  // namespace noxa
