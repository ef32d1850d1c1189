#include "recording/config_keys.h"

#include "core/c_numbers.h"
#include "core/form_model.h"
#include "core/station_config.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace noxa {
namespace {

constexpr std::size_t kStationNameWidth = 20;  // the record's field
// The one port the station listens on for broadcasts; the record's IP port only turns it on.
constexpr std::int32_t kBroadcastPort = 2255;

// A signed decimal number with "." or "," as separator, and nothing else.
bool ParseDecimal(std::string_view text, double& value) {
    std::string number(text);
    std::replace(number.begin(), number.end(), ',', '.');
    const char* begin = number.data();
    const char* end = begin + number.size();
    if (begin != end && *begin == '+' && begin + 1 != end && begin[1] != '-') ++begin;
    const auto result = std::from_chars(begin, end, value, std::chars_format::fixed);
    return begin != end && result.ec == std::errc() && result.ptr == end && std::isfinite(value);
}

// A whole number from `low` to `high`, written as plain digits.
bool ParseWhole(std::string_view text, std::int32_t low, std::int32_t high, std::int32_t& value) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
           ParseStrictInt(text, value) && value >= low && value <= high;
}

bool IsPrintable(char c) {
    return static_cast<unsigned char>(c) >= 0x20 && c != 0x7f;
}

// Why a station name cannot be used, or an empty text. Reports are kept when they contain
// the name as it stands, so blanks at either end would match no report.
std::string NameProblem(std::string_view name) {
    if (name.empty()) return "no report would be accepted without a name";
    if (name.size() > kStationNameWidth) {
        return "at most 20 bytes (characters outside ASCII take more)";
    }
    if (!std::all_of(name.begin(), name.end(), IsPrintable)) return "no control characters";
    if (name.front() == ' ' || name.back() == ' ') return "no blanks at either end";
    return {};
}

// Degrees and decimal minutes of one coordinate.
void SetCoordinate(FormModel& form, double value, FormText degrees, FormText minutes,
                   FormText letter, const char* positive, const char* negative) {
    const double size = std::fabs(value);
    const double whole = std::trunc(size);
    form.SetText(degrees, CFormat("%.0f", whole));
    form.SetText(minutes, CFormat("%.6f", (size - whole) * 60));
    form.SetText(letter, value < 0 ? negative : positive);
}

std::string Refused(std::string_view key, std::string_view value, const std::string& why) {
    return std::string(key) + "=" + std::string(value) + ": " + why;
}

// Shortest text that reads back as the same single-precision number; a negative zero (a
// southern or western position that rounds to 0) is 0.
std::string FloatText(float value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value + 0.0f);
    return std::string(buffer, result.ptr);
}

}  // namespace

const std::vector<ConfigKey>& ConfigKeys() {
    static const std::vector<ConfigKey> keys{
        {"station", "a name of 1 to 20 bytes (characters outside ASCII take more)"},
        {"latitude", "decimal degrees from -90 to 90, north positive"},
        {"longitude", "decimal degrees from -180 to 180, east positive"},
        {"serial_port", "0 (network mode) or a serial port number from 1 to 99"},
        {"udp_port", "2255, the port the instrument broadcasts on"},
        {"record_seconds", "1 to 999"},
        {"chart_seconds", "1 to 499"},
    };
    return keys;
}

std::string ApplyConfigSetting(FormModel& form, std::string_view assignment) {
    const std::size_t equals = assignment.find('=');
    if (equals == std::string_view::npos) {
        return "\"" + std::string(assignment) + "\": not KEY=VALUE";
    }
    const std::string_view key = assignment.substr(0, equals);
    const std::string_view value = assignment.substr(equals + 1);
    const auto known = std::find_if(ConfigKeys().begin(), ConfigKeys().end(),
                                    [&](const ConfigKey& k) { return key == k.name; });
    if (known == ConfigKeys().end()) return "unknown key \"" + std::string(key) + "\"";
    const std::string expected = std::string("expected ") + known->values;

    double degrees = 0;
    std::int32_t number = 0;
    if (key == "station") {
        const std::string problem = NameProblem(value);
        if (!problem.empty()) return Refused(key, value, problem);
        form.SetText(FormText::Esitio, value);
    } else if (key == "latitude" || key == "longitude") {
        const double limit = key == "latitude" ? 90 : 180;
        if (!ParseDecimal(value, degrees) || std::fabs(degrees) > limit) {
            return Refused(key, value, expected);
        }
        if (key == "latitude") {
            SetCoordinate(form, degrees, FormText::ELatGrad, FormText::ELatMin, FormText::Ens, "N",
                          "S");
        } else {
            SetCoordinate(form, degrees, FormText::ELongHoras, FormText::ELongMin, FormText::Eeo,
                          "E", "W");
        }
    } else if (key == "udp_port") {
        if (!ParseWhole(value, kBroadcastPort, kBroadcastPort, number)) {
            return Refused(key, value, expected);
        }
        form.SetText(FormText::EPuertoEth, std::to_string(number));
    } else {
        struct Whole {
            std::string_view key;
            std::int32_t high;
            FormText field;
        };
        static const Whole kWholes[] = {{"serial_port", 99, FormText::EPuerto},
                                        {"record_seconds", 999, FormText::Esalto},
                                        {"chart_seconds", 499, FormText::ETiempo}};
        const auto whole = std::find_if(std::begin(kWholes), std::end(kWholes),
                                        [&](const Whole& w) { return w.key == key; });
        const std::int32_t low = key == "serial_port" ? 0 : 1;
        if (!ParseWhole(value, low, whole->high, number)) return Refused(key, value, expected);
        form.SetText(whole->field, std::to_string(number));
    }
    return {};
}

void SetPositionFields(FormModel& form, double latitude, double longitude) {
    SetCoordinate(form, latitude, FormText::ELatGrad, FormText::ELatMin, FormText::Ens, "N", "S");
    SetCoordinate(form, longitude, FormText::ELongHoras, FormText::ELongMin, FormText::Eeo, "E",
                  "W");
}

std::vector<std::string> ConfigValues(const FormModel& form, const StationConfig& config) {
    return {
        "station=" + form.Text(FormText::Esitio),
        "latitude=" + FloatText(config.latitude),
        "longitude=" + FloatText(config.longitude),
        "serial_port=" + std::to_string(config.serialPortNumber),
        "udp_port=" + form.Text(FormText::EPuertoEth),
        "record_seconds=" + form.Text(FormText::Esalto),
        "chart_seconds=" + form.Text(FormText::ETiempo),
    };
}

}  // namespace noxa
