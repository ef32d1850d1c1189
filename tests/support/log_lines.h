#pragma once

#include "core/station_log.h"

#include <string>
#include <vector>

namespace noxa::test {

// A log handle that keeps what is said, for a test to look at.
template <typename Lines>
Log KeepIn(Lines& lines) {
    return Log([&lines](LogLevel, std::string_view line) { lines.emplace_back(line); });
}

}  // namespace noxa::test
