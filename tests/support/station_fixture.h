#pragma once

#include "app/station.h"
#include "support/station_options.h"
#include "support/temp_dir.h"
#include "time/station_clock.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace noxa::test {

// A station that has not been started, in a temporary working directory, on a clock that
// stands at 9 April 2023 22:00:05; the errors it would show are collected instead.
class StationTest : public ::testing::Test {
protected:
    StationTest() {
        station.SetErrorHandler([this](const std::string& message) { errors.push_back(message); });
    }
    const std::string& Text(FormText id) { return station.Form().Text(id); }
    const std::deque<std::string>& Log() { return station.Form().LogLines(); }

    ScopedWorkDir dir;
    ManualClock clock{QDateTime(QDate(2023, 4, 9), QTime(22, 0, 5))};
    Station station{clock, StationLocale::Fixed("%d/%m/%Y", "%H:%M:%S", "."),
                    TestStationOptions(dir.Path())};
    std::vector<std::string> errors;
};

}  // namespace noxa::test
