#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace noxa {

// Says when reports of another station arrive: once per name, and again after an hour of
// silence from that name. A name already said costs one lookup per report.
class ForeignStations {
public:
    static constexpr std::int64_t kQuietMilliseconds = 3'600'000;
    // A flood of made-up names cannot grow it further; names beyond are not said.
    static constexpr std::size_t kMaxNames = 64;
    static constexpr std::size_t kMaxNameLength = 40;

    // The log line for a report that does not name this station, or nothing when it is no
    // report of a named station or its name was said within the hour. `now` in milliseconds.
    std::optional<std::string> Notice(std::string_view report, std::string_view stationName,
                                      std::int64_t now);

private:
    void ForgetQuietNames(std::int64_t now);

    // Each name said, with the time of its latest report.
    std::map<std::string, std::int64_t, std::less<>> lastHeard_;
};

// The value of the report's "name" key ({"name":"roof0001",...}), or nothing when there is
// none or it is no plain name (empty, too long, with control characters or escapes).
std::optional<std::string_view> ReportName(std::string_view report);

}  // namespace noxa
