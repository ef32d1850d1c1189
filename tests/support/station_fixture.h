#pragma once

#include "app/station.h"
#include "support/station_options.h"
#include "support/temp_dir.h"
#include "time/station_clock.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace noxa::test {

// A station that has not been started, in a temporary working directory, on a clock that
// stands at 9 April 2023 22:00:05; the errors it would show are collected instead. Its
// broadcast listener, once started, takes `broadcastPort`.
class StationTest : public ::testing::Test {
protected:
    StationTest() : StationTest([](StationOptions&) {}) {}
    // A station with the options `adjust` makes of the usual ones (a serial device, say).
    explicit StationTest(const std::function<void(StationOptions&)>& adjust)
        : station(clock, StationLocale::Fixed("%d/%m/%Y", "%H:%M:%S", "."), Options(adjust)) {
        station.SetErrorHandler([this](const std::string& message) { errors.push_back(message); });
    }
    const std::string& Text(FormText id) { return station.Form().Text(id); }
    const std::deque<std::string>& Log() { return station.Form().LogLines(); }

    ScopedWorkDir dir;
    ManualClock clock{QDateTime(QDate(2023, 4, 9), QTime(22, 0, 5))};
    const quint16 broadcastPort = FreeUdpPort();
    Station station;
    std::vector<std::string> errors;

private:
    StationOptions Options(const std::function<void(StationOptions&)>& adjust) const {
        StationOptions options = TestStationOptions(dir.Path());
        options.udpPort = broadcastPort;
        adjust(options);
        return options;
    }
};

// Options that make the device `name` of the station's working folder its serial port: "station"
// is the station's end of a PtyPair made on that folder.
inline std::function<void(StationOptions&)> SerialDeviceInWorkDir(const QString& name = "station") {
    return [name](StationOptions& options) {
        options.serialDevice = QFile::decodeName(QByteArray::fromStdString(options.workDir)) + name;
    };
}

}  // namespace noxa::test
