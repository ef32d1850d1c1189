#include "recording/config_file.h"

#include "core/c_numbers.h"
#include "core/form_model.h"
#include "core/station_config.h"
#include "core/station_error.h"
#include "recording/atomic_file.h"

#include <QFile>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

namespace noxa {
namespace {

struct Field {
    std::size_t offset;
    std::size_t width;
};

constexpr std::size_t kPathWidth = 80;
constexpr std::int32_t kBroadcastPort = 2255;
constexpr Field kZoomStep{80, 1};
constexpr Field kSerialPort{130, 2};
constexpr Field kLatitude{140, 7};
constexpr Field kLatitudeHemisphere{148, 1};
constexpr Field kLongitude{150, 7};
constexpr Field kLongitudeSide{158, 1};
constexpr Field kTempOffset{170, 5};
constexpr Field kIpPort{200, 6};
constexpr Field kIpAddress{220, 20};
constexpr Field kChartInterval{240, 3};
constexpr Field kRecordInterval{245, 3};
constexpr Field kStationName{350, 20};

struct IntegerSetting {
    Field field;
    FormText edit;
    std::int32_t StationConfig::*value;
};
const IntegerSetting kMagnetometer[] = {
    {{100, 5}, FormText::EmaxX, &StationConfig::magMaxX},
    {{105, 5}, FormText::EmaxY, &StationConfig::magMaxY},
    {{110, 5}, FormText::EmaxZ, &StationConfig::magMaxZ},
    {{115, 5}, FormText::EminX, &StationConfig::magMinX},
    {{120, 5}, FormText::EminY, &StationConfig::magMinY},
    {{125, 5}, FormText::EminZ, &StationConfig::magMinZ},
};

struct MagnitudeSetting {
    Field field;
    FormText edit;
    float StationConfig::*value;
    bool isGain;
};
// Offsets and gains per channel, in record order.
const MagnitudeSetting kMagnitudeSettings[] = {
    {{260, 5}, FormText::EOfsetMag, &StationConfig::magOffsetV, false},
    {{270, 5}, FormText::EGainMag, &StationConfig::magGainV, true},
    {{280, 5}, FormText::EOfsetMagR, &StationConfig::magOffsetR, false},
    {{290, 5}, FormText::EGainMagR, &StationConfig::magGainR, true},
    {{300, 5}, FormText::EOfsetMagG, &StationConfig::magOffsetG, false},
    {{310, 5}, FormText::EGainMagG, &StationConfig::magGainG, true},
    {{320, 5}, FormText::EOfsetMagB, &StationConfig::magOffsetB, false},
    {{330, 5}, FormText::EGainMagB, &StationConfig::magGainB, true},
};

// A field's text: its characters up to the first NUL or the end of the field.
std::string_view Read(const ConfigRecord& record, Field field) {
    const std::string_view raw(record.data() + field.offset, field.width);
    return raw.substr(0, raw.find('\0'));
}

// The first characters of the text, cut at the width; a shorter text is padded with NULs.
void Put(ConfigRecord& record, Field field, std::string_view text) {
    char* out = record.data() + field.offset;
    const std::size_t n = std::min(text.size(), field.width);
    std::memcpy(out, text.data(), n);
    std::memset(out + n, '\0', field.width - n);
}

// A decimal number typed by the user: optional blanks, a sign, digits with "." or "," as the
// decimal separator, an optional exponent, and nothing else.
double ConvertDecimal(const std::string& text) {
    std::string number = text;
    std::replace(number.begin(), number.end(), ',', '.');
    const auto first = number.find_first_not_of(' ');
    const auto last = number.find_last_not_of(' ');
    double value = 0;
    bool ok = first != std::string::npos;
    if (ok) {
        const char* begin = number.data() + first;
        const char* end = number.data() + last + 1;
        if (*begin == '+') ++begin;
        const auto result = std::from_chars(begin, end, value, std::chars_format::general);
        ok = result.ec == std::errc() && result.ptr == end && std::isfinite(value) &&
             std::count(number.begin(), number.end(), '.') <= 1;
    }
    if (!ok) throw StationError("'" + text + "' is not a valid floating point value");
    return value;
}

// Degrees and minutes as unsigned decimal degrees with three decimals.
std::string DegreesText(const std::string& degrees, const std::string& minutes) {
    const double d = ConvertDecimal(degrees);
    const double m = ConvertDecimal(minutes);
    const float value = static_cast<float>(d + m * (1.0 / 60));
    return CFormat("%003.3f", value);
}

// Whole degrees and whole minutes of a position, the minutes rounded to the nearest minute
// (60 carries into the degrees) so that a saved position reads back as it was typed. Nothing
// for a value that is no position at all (not a number, or beyond any angle).
std::optional<std::pair<std::string, std::string>> DegreesAndMinutes(float value) {
    if (!std::isfinite(value) || std::fabs(value) > 1e6f) return std::nullopt;
    double degrees = std::trunc(static_cast<double>(value));
    long minutes = std::lround((static_cast<double>(value) - degrees) * 60);
    if (minutes == 60 || minutes == -60) {
        degrees += minutes > 0 ? 1 : -1;
        minutes = 0;
    }
    return std::pair{std::to_string(static_cast<long long>(degrees)), std::to_string(minutes)};
}

// Hemisphere letters are taken in either case: "s" is south like "S".
char Capital(char letter) {
    return letter >= 'a' && letter <= 'z' ? static_cast<char>(letter - 'a' + 'A') : letter;
}

// The text of a hemisphere field with a lone lower-case letter made a capital.
std::string CapitalLetter(const std::string& text) {
    return text.size() == 1 ? std::string(1, Capital(text[0])) : text;
}

std::string IntervalText(std::string_view field, std::int64_t max) {
    const std::int64_t n = CAtol(field);
    return n >= 1 && n <= max ? std::to_string(n) : "60";
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

ConfigFile::ConfigFile(FormModel& form, StationConfig& config, WorkDir dir)
    : form_(form), config_(config), dir_(std::move(dir)) {}

std::optional<QByteArray> ConfigFile::OnDisk() const {
    QFile file(dir_.File(kFileName));
    if (!file.exists() || !file.open(QIODevice::ReadOnly)) return std::nullopt;
    // More than a record's worth is read, so that a file grown beyond it counts as changed.
    return file.read(2 * static_cast<qint64>(kConfigRecordSize));
}

void ConfigFile::LoadStationConfig() {
    QFile file(dir_.File(kFileName));
    ConfigRecord record;
    record.fill(' ');  // a short file reads as if padded with spaces
    known_ = OnDisk();
    if (!file.open(QIODevice::ReadOnly) ||
        file.read(record.data(), static_cast<qint64>(record.size())) < 0) {
        // Something by that name that cannot be read (a folder, a file without read
        // permission) is said as such before the defaults.
        if (file.exists()) {
            form_.AppendLog(LogLevel::Error, "Config file " + Path() + " cannot be read: " +
                                                 file.errorString().toStdString());
        }
        ApplyDefaults();
    } else {
        form_.AppendLog(LogLevel::Info, "Read config file: " + Path());
        ApplyRecord(record);
    }
    ReportUnusableSettings();
}

void ConfigFile::ReportUnusableSettings() {
    // A report is taken only when it contains the station name as it stands, blanks and all,
    // and the instrument writes its name without them.
    const std::string& name = form_.Text(FormText::Esitio);
    constexpr const char* kNoReport = ": no report will be accepted.";
    if (name.empty()) {
        form_.AppendLog(LogLevel::Warning, std::string("Station name is empty") + kNoReport);
    } else if (std::all_of(name.begin(), name.end(), IsBlank)) {
        form_.AppendLog(LogLevel::Warning, std::string("Station name is only blanks") + kNoReport);
    } else if (IsBlank(name.back())) {
        form_.AppendLog(LogLevel::Warning,
                        "Station name \"" + name + "\" ends with blanks" + kNoReport);
    }

    // The same reading of the field as the connect operation's.
    const std::string& port = form_.Text(FormText::EPuertoEth);
    std::int32_t number = 0;
    if (!ParseStrictInt(port, number) || number < 1 || number > 65535) {
        form_.AppendLog(
            LogLevel::Warning,
            "UDP port \"" + port + "\" is not a port number: no broadcast will be received.");
    } else if (number != kBroadcastPort && !config_.SerialMode()) {
        // The listener opens only when the field holds the instrument's port.
        form_.AppendLog(
            LogLevel::Warning,
            "UDP port " + std::to_string(number) + " is not " + std::to_string(kBroadcastPort) +
                ", the port the instrument broadcasts on: no broadcast will be received.");
    }
}

void ConfigFile::ApplyRecord(const ConfigRecord& record) {
    FormModel& f = form_;
    StationConfig& c = config_;

    c.zoomStep = CAtoi32(Read(record, kZoomStep));
    for (const IntegerSetting& s : kMagnetometer) {
        c.*s.value = CAtoi32(Read(record, s.field));
        f.SetText(s.edit, Read(record, s.field));
    }
    f.SetText(FormText::EPuerto, Read(record, kSerialPort));
    c.serialPortNumber = CAtoi32(Read(record, kSerialPort));

    c.latitude = static_cast<float>(CAtof(Read(record, kLatitude)));
    const char hemisphere = Capital(record[kLatitudeHemisphere.offset]);
    if (hemisphere == 'N' || hemisphere == 'S') {
        if (const auto shown = DegreesAndMinutes(c.latitude)) {
            f.SetText(FormText::ELatGrad, shown->first);
            f.SetText(FormText::ELatMin, shown->second);
        }
        f.SetText(FormText::Ens, std::string(1, hemisphere));
        if (hemisphere == 'S') c.latitude = -c.latitude;
    }

    c.longitude = static_cast<float>(CAtof(Read(record, kLongitude)));
    const char side = Capital(record[kLongitudeSide.offset]);
    if (side == 'E' || side == 'O' || side == 'W') {
        if (const auto shown = DegreesAndMinutes(c.longitude)) {
            f.SetText(FormText::ELongHoras, shown->first);
            f.SetText(FormText::ELongMin, shown->second);
        }
        f.SetText(FormText::Eeo, side == 'E' ? "E" : "W");
        if (side != 'E') c.longitude = -c.longitude;
    }

    c.tempOffset = static_cast<float>(CAtof(Read(record, kTempOffset)));
    f.SetText(FormText::EofsetTamb, Read(record, kTempOffset));
    for (const MagnitudeSetting& s : kMagnitudeSettings) {
        c.*s.value = static_cast<float>(CAtof(Read(record, s.field)));
        f.SetText(s.edit, Read(record, s.field));
    }

    f.SetText(FormText::Esitio, Read(record, kStationName));
    f.SetText(FormText::EPuertoEth, Read(record, kIpPort));
    f.SetText(FormText::EDirEth, Read(record, kIpAddress));
    f.SetText(FormText::ETiempo, IntervalText(Read(record, kChartInterval), 499));
    f.SetText(FormText::Esalto, IntervalText(Read(record, kRecordInterval), 999));
}

void ConfigFile::ApplyDefaults() {
    FormModel& f = form_;
    StationConfig& c = config_;
    f.AppendLog(LogLevel::Warning, "Config file not found");
    f.SetText(FormText::EmaxX, "240");
    f.SetText(FormText::EmaxY, "350");
    f.SetText(FormText::EmaxZ, "570");
    f.SetText(FormText::EminX, "-600");
    f.SetText(FormText::EminY, "-390");
    f.SetText(FormText::EminZ, "-390");
    c.latitude = 40.2f;
    f.SetText(FormText::ELatGrad, "40");
    c.longitude = -3.7f;
    f.SetText(FormText::ELongHoras, "3");
    f.SetText(FormText::Eeo, "O");
    f.SetText(FormText::EPuerto, "0");
    c.serialPortNumber = 0;
    f.SetText(FormText::Esalto, "60");
    f.SetText(FormText::ETiempo, "60");
    for (const MagnitudeSetting& s : kMagnitudeSettings) {
        c.*s.value = s.isGain ? 1.0f : 0.0f;
        f.SetText(s.edit, s.isGain ? "1" : "0");
    }
}

ConfigRecord ConfigFile::BuildRecord() {
    FormModel& f = form_;
    ConfigRecord record;
    record.fill(' ');

    // The file's own path heads the record, cut to leave room for its NUL.
    const std::string path = Path();
    const std::size_t pathLength = std::min(path.size(), kPathWidth - 1);
    std::memcpy(record.data(), path.data(), pathLength);
    record[pathLength] = '\0';

    Put(record, kZoomStep, std::to_string(config_.zoomStep));
    for (const IntegerSetting& s : kMagnetometer) Put(record, s.field, f.Text(s.edit));
    Put(record, kSerialPort, f.Text(FormText::EPuerto));

    Put(record, kLatitude, DegreesText(f.Text(FormText::ELatGrad), f.Text(FormText::ELatMin)));
    const std::string hemisphere = CapitalLetter(f.Text(FormText::Ens));
    f.SetText(FormText::Ens, hemisphere == "S" ? "S" : "N");
    Put(record, kLatitudeHemisphere, f.Text(FormText::Ens));

    Put(record, kLongitude, DegreesText(f.Text(FormText::ELongHoras), f.Text(FormText::ELongMin)));
    const std::string side = CapitalLetter(f.Text(FormText::Eeo));
    f.SetText(FormText::Eeo, side == "E" || side == "W" ? side : "O");
    Put(record, kLongitudeSide, side == "E" ? "E" : "O");  // west is always stored as "O"

    Put(record, kTempOffset, CFormat("%04.2f", ConvertDecimal(f.Text(FormText::EofsetTamb))));
    for (const MagnitudeSetting& s : kMagnitudeSettings) {
        double value = ConvertDecimal(f.Text(s.edit));
        const double whole = std::fabs(std::trunc(value));
        if (s.isGain && whole > 25) value = 1;
        if (!s.isGain && whole > 5) value = 0;
        Put(record, s.field, CFormat("%04.3f", value));
    }

    Put(record, kIpPort, f.Text(FormText::EPuertoEth));
    Put(record, kIpAddress, f.Text(FormText::EDirEth));
    Put(record, kChartInterval, f.Text(FormText::ETiempo));
    Put(record, kRecordInterval, f.Text(FormText::Esalto));
    Put(record, kStationName, f.Text(FormText::Esitio));
    return record;
}

bool ConfigFile::WriteRecord(const ConfigRecord& record, std::string& error) {
    if (known_ && OnDisk() != *known_) {
        error =
            "the file was changed on disk since the station read it (by --set or another "
            "program); it was not overwritten, and its settings are now read";
        return false;
    }
    // Replaced as a whole, so the settings are never lost half-written.
    const QByteArray bytes(record.data(), static_cast<qsizetype>(record.size()));
    QString reason;
    const bool ok = ReplaceFile(dir_.File(kFileName), bytes, reason);
    if (!ok) {
        error = reason.toStdString();  // the file on disk stays as it was
        return false;
    }
    known_ = bytes;
    return true;
}

}  // namespace noxa
