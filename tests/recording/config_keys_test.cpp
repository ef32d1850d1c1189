#include "recording/config_keys.h"

#include "core/form_model.h"
#include "core/station_config.h"
#include "recording/config_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace noxa {
namespace {

using namespace std::string_view_literals;

// The settings of a fresh folder after one "KEY=VALUE" has been saved the way the command
// line saves it, read back as the station reads them; or the refusal.
struct Saved {
    std::string refusal;
    std::vector<std::string> values;
    std::string record;
};

Saved SaveOne(const std::string& assignment) {
    test::ScopedWorkDir dir;
    FormModel form;
    StationConfig config;
    ConfigFile file(form, config, dir.Dir());
    file.LoadStationConfig();
    SetPositionFields(form, config.latitude, config.longitude);
    Saved saved;
    saved.refusal = ApplyConfigSetting(form, assignment);
    if (!saved.refusal.empty()) return saved;
    std::string error;
    EXPECT_TRUE(file.WriteRecord(file.BuildRecord(), error)) << error;
    FormModel readForm;
    StationConfig readConfig;
    ConfigFile(readForm, readConfig, dir.Dir()).LoadStationConfig();
    saved.values = ConfigValues(readForm, readConfig);
    saved.record = dir.ReadFile(ConfigFile::kFileName);
    return saved;
}

struct GoodCase {
    const char* assignment;
    const char* shown;        // the value line as read back
    std::size_t offset;       // where the record holds it
    std::string_view stored;  // and how
};

TEST(ConfigKeys, EachKeyIsStoredAsTheRecordStoresItAndReadBack) {
    const GoodCase cases[] = {
        {"station=roof0001", "station=roof0001", 350, "roof0001\0"sv},
        {"station=twenty_characters_ok", "station=twenty_characters_ok", 350,
         "twenty_characters_ok "sv},
        {"latitude=28.5", "latitude=28.5", 140, "28.500\0 N"sv},
        {"latitude=-28.5", "latitude=-28.5", 140, "28.500\0 S"sv},
        {"latitude=40,4168", "latitude=40.417", 140, "40.417\0 N"sv},
        {"longitude=-16.5", "longitude=-16.5", 150, "16.500\0 O"sv},
        {"longitude=2.1234", "longitude=2.123", 150, "2.123\0\0 E"sv},
        {"longitude=-180", "longitude=-180", 150, "180.000 O"sv},
        {"serial_port=3", "serial_port=3", 130, "3\0"sv},
        {"serial_port=0", "serial_port=0", 130, "0\0"sv},
        {"udp_port=2255", "udp_port=2255", 200, "2255\0\0"sv},
        {"record_seconds=300", "record_seconds=300", 245, "300"},
        {"chart_seconds=499", "chart_seconds=499", 240, "499"},
    };
    for (const GoodCase& c : cases) {
        SCOPED_TRACE(c.assignment);
        const Saved saved = SaveOne(c.assignment);
        ASSERT_EQ(saved.refusal, "");
        ASSERT_EQ(saved.record.size(), kConfigRecordSize);
        EXPECT_EQ(saved.record.substr(c.offset, c.stored.size()), c.stored);
        EXPECT_NE(std::find(saved.values.begin(), saved.values.end(), c.shown), saved.values.end());
    }
}

TEST(ConfigKeys, AnotherKeyLeavesTheDefaultPositionAsItWas) {
    const Saved saved = SaveOne("station=roof0001");
    EXPECT_EQ(saved.record.substr(140, 19), "40.200\0 N 3.700\0\0 O"sv);
    EXPECT_EQ(saved.values[1], "latitude=40.2");
    EXPECT_EQ(saved.values[2], "longitude=-3.7");
}

TEST(ConfigKeys, RefusalsNameTheKeyOrTheValue) {
    const struct {
        const char* assignment;
        const char* refusal;
    } cases[] = {
        {"station", "\"station\": not KEY=VALUE"},
        {"stations=x", "unknown key \"stations\""},
        {"station=", "station=: no report would be accepted without a name"},
        {"station=twenty_one_characters",
         "station=twenty_one_characters: at most 20 bytes (characters outside ASCII take more)"},
        {"station=roof ", "station=roof : no blanks at either end"},
        {"latitude=90.5", "latitude=90.5: expected decimal degrees from -90 to 90, north positive"},
        {"latitude=40N", "latitude=40N: expected decimal degrees from -90 to 90, north positive"},
        {"latitude=nan", "latitude=nan: expected decimal degrees from -90 to 90, north positive"},
        {"longitude=1e2",
         "longitude=1e2: expected decimal degrees from -180 to 180, east positive"},
        {"serial_port=-1",
         "serial_port=-1: expected 0 (network mode) or a serial port number from 1 to 99"},
        {"serial_port=100",
         "serial_port=100: expected 0 (network mode) or a serial port number from 1 to 99"},
        {"udp_port=2256", "udp_port=2256: expected 2255, the port the instrument broadcasts on"},
        {"record_seconds=0", "record_seconds=0: expected 1 to 999"},
        {"record_seconds=1000", "record_seconds=1000: expected 1 to 999"},
        {"chart_seconds=500", "chart_seconds=500: expected 1 to 499"},
        {"chart_seconds= 60", "chart_seconds= 60: expected 1 to 499"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SaveOne(c.assignment).refusal, c.refusal);
    }
}

}  // namespace
}  // namespace noxa
