// Configuration files of any content and length: read into the settings, the sidereal time
// computed from the longitude they give, and a record built again from the fields.
#include "core/form_model.h"
#include "core/station_config.h"
#include "core/station_error.h"
#include "recording/config_file.h"
#include "time/sky_time.h"
#include "time/station_clock.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static noxa::ManualClock clock(QDateTime(QDate(2026, 12, 7), QTime(21, 30)));
    noxa::FormModel form;
    noxa::StationConfig config;
    noxa::ConfigFile file(form, config, noxa::WorkDir("/nonexistent/"));
    noxa::ConfigRecord record;
    record.fill(' ');  // a short file reads as if padded with spaces
    std::memcpy(record.data(), data, std::min(size, record.size()));
    file.ApplyRecord(record);

    noxa::SkyTime sky(clock);
    noxa::SiderealText(sky.SiderealDegrees(config.longitude));
    try {
        file.BuildRecord();
    } catch (const noxa::StationError&) {
        // a field that is no number stops the save: that is the expected answer
    }
    return 0;
}
