#include "night/night_files.h"

#include "core/sky_quality.h"
#include "time/sun_moon.h"

#include <QFile>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ctime>
#include <limits>
#include <string_view>

namespace noxa {
namespace {

constexpr float kUnknown = std::numeric_limits<float>::quiet_NaN();

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// Plain decimals ("-12.34"), as the files hold them, read exactly: the digits as an integer
// divided by a power of ten, both exact in a double, so the one rounding is the division's.
bool ParsePlainDecimal(std::string_view text, float& value) {
    static constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
    size_t i = 0;
    const bool negative = !text.empty() && (text[0] == '-' || text[0] == '+') && text[i++] == '-';
    std::int64_t digits = 0;
    int count = 0, decimals = -1;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            digits = digits * 10 + (c - '0');
            if (++count > 15) return false;
            if (decimals >= 0) ++decimals;
        } else if (c == '.' && decimals < 0) {
            decimals = 0;
        } else {
            return false;
        }
    }
    if (count == 0 || decimals > 9) return false;
    const double result = double(digits) / kPowers[std::max(decimals, 0)];
    value = float(negative ? -result : result);
    return true;
}

bool ParseFloat(std::string_view text, float& value) {
    text = Trimmed(text);
    if (ParsePlainDecimal(text, value)) return true;
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(int year, unsigned month, unsigned day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

bool Digits(std::string_view text, size_t at, size_t count, int& value) {
    if (at + count > text.size()) return false;
    value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

// "YYYY-MM-DDTHH:mm:ss[.fff…]" as milliseconds from the epoch, the time read as UTC.
bool ParseIsoTime(std::string_view text, UtcMilliseconds& ms) {
    text = Trimmed(text);
    int year, month, day, hour, minute, second;
    if (!Digits(text, 0, 4, year) || text.size() < 19 || text[4] != '-' ||
        !Digits(text, 5, 2, month) || text[7] != '-' || !Digits(text, 8, 2, day) ||
        (text[10] != 'T' && text[10] != ' ') || !Digits(text, 11, 2, hour) || text[13] != ':' ||
        !Digits(text, 14, 2, minute) || text[16] != ':' || !Digits(text, 17, 2, second))
        return false;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return false;
    int fraction = 0;
    if (text.size() > 20 && text[19] == '.') {
        int digits = 0;
        for (size_t i = 20; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits)
            if (digits < 3) fraction = fraction * 10 + (text[i] - '0');
        for (; digits < 3; ++digits) fraction *= 10;
    }
    ms = ((DaysFromCivil(year, unsigned(month), unsigned(day)) * 24 + hour) * 60 + minute) *
             60000LL +
         second * 1000LL + fraction;
    return true;
}

template <typename Visit>
void ForEachLine(const QByteArray& bytes, Visit visit) {
    std::string_view text(bytes.constData(), size_t(bytes.size()));
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        visit(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
}

template <typename Field>
size_t SplitFields(std::string_view line, char separator, Field* fields, size_t capacity) {
    size_t count = 0;
    while (count < capacity) {
        const size_t end = line.find(separator);
        fields[count++] = line.substr(0, end);
        if (end == std::string_view::npos) break;
        line.remove_prefix(end + 1);
    }
    return count;
}

float CloudCover(float sensor, float sky) {
    if (!std::isfinite(sensor) || !std::isfinite(sky)) return kUnknown;
    return std::clamp(CloudIndex(sensor, sky), 0.f, 100.f);
}

// Where each value of a night file's lines stands, from its column names.
struct Columns {
    int utc = 0, local = 1;
    int sensor = -1, sky = -1, sun = -1, moon = -1, moonLit = -1;
    std::vector<int> mags;
};

Columns ColumnsFromNames(std::string_view names) {
    Columns columns;
    std::string_view fields[64];
    const size_t count = SplitFields(names, ',', fields, std::size(fields));
    for (size_t i = 0; i < count; ++i) {
        std::string name(Trimmed(fields[i]));
        std::transform(name.begin(), name.end(), name.begin(), ::tolower);
        const int at = int(i);
        if (name.starts_with("utc")) {
            columns.utc = at;
        } else if (name.starts_with("local")) {
            columns.local = at;
        } else if (name.starts_with("msas")) {
            if (columns.mags.size() < kNightChannels) columns.mags.push_back(at);
        } else if (name.starts_with("sky temp")) {
            columns.sky = at;
        } else if (name.starts_with("temp") && columns.sensor < 0) {
            columns.sensor = at;
        } else if (name.starts_with("sun alt")) {
            columns.sun = at;
        } else if (name.starts_with("moon alt")) {
            columns.moon = at;
        } else if (name.starts_with("moon illum")) {
            columns.moonLit = at;
        }
    }
    return columns;
}

}  // namespace

NightFileRecords ReadNightFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        NightFileRecords out;
        out.error = file.errorString().toStdString();
        return out;
    }
    return ReadNightText(file.readAll());
}

NightFileRecords ReadNightText(const QByteArray& bytes) {
    NightFileRecords out;
    Columns columns;
    std::string previousHeader;
    bool haveColumns = false;
    std::optional<int> offsetSeconds;
    std::string_view fields[64];
    ForEachLine(bytes, [&](std::string_view line) {
        if (Trimmed(line).empty()) return;
        if (line.front() == '#') {
            const std::string_view entry = Trimmed(line.substr(1));
            const auto value = [&](std::string_view key) -> std::optional<std::string_view> {
                if (!entry.starts_with(key)) return std::nullopt;
                return Trimmed(entry.substr(key.size()));
            };
            if (const auto position = value("Position")) {
                const size_t colon = position->find(':');
                std::string_view numbers[3];
                if (colon != std::string_view::npos &&
                    SplitFields(position->substr(colon + 1), ',', numbers, 3) >= 2) {
                    float lat, lon;
                    if (ParseFloat(numbers[0], lat) && ParseFloat(numbers[1], lon) &&
                        std::abs(lat) <= 90 && std::abs(lon) <= 360)
                        out.place = ObserverPlace{lat, lon};
                }
            } else if (const auto zone = value("Local timezone:")) {
                const QTimeZone named(QByteArray(zone->data(), qsizetype(zone->size())));
                if (named.isValid()) out.zone = named;
            } else if (entry.starts_with("YYYY-") && !previousHeader.empty()) {
                // The units line: the line before it names the columns.
                columns = ColumnsFromNames(previousHeader);
                haveColumns = true;
            }
            previousHeader = std::string(entry);
            return;
        }
        const size_t count = SplitFields(line, ';', fields, std::size(fields));
        const auto number = [&](int at) {
            float value;
            return at >= 0 && size_t(at) < count && ParseFloat(fields[at], value) ? value
                                                                                  : kUnknown;
        };
        NightSample sample;
        if (!haveColumns || size_t(columns.utc) >= count ||
            !ParseIsoTime(fields[columns.utc], sample.time)) {
            ++out.skippedLines;
            return;
        }
        if (!offsetSeconds && size_t(columns.local) < count) {
            UtcMilliseconds local;
            if (ParseIsoTime(fields[columns.local], local))
                offsetSeconds = int((local - sample.time) / 1000);
        }
        for (size_t c = 0; c < columns.mags.size(); ++c) {
            const float mag = number(columns.mags[c]);
            sample.mag[c] = std::isfinite(mag) ? mag : 0.f;
        }
        sample.sensorTemperature = number(columns.sensor);
        sample.skyTemperature = number(columns.sky);
        sample.sunAltitude = number(columns.sun);
        sample.moonAltitude = number(columns.moon);
        sample.moonIllumination = number(columns.moonLit);
        sample.cloudCover = CloudCover(sample.sensorTemperature, sample.skyTemperature);
        out.samples.push_back(sample);
    });
    if (!haveColumns) out.error = "no column names before the end of the header";
    // A zone the system does not know: the offset between the first line's two times.
    if (!out.zone.isValid()) out.zone = QTimeZone(offsetSeconds.value_or(0));
    const bool needSky = std::any_of(out.samples.begin(), out.samples.end(), [](const auto& s) {
        return !std::isfinite(s.sunAltitude) || !std::isfinite(s.moonAltitude) ||
               !std::isfinite(s.moonIllumination);
    });
    if (needSky && out.place) AddSky(out.samples, *out.place);
    return out;
}

NightFileRecords ReadDataFile(const QString& path, const std::string& datePattern,
                              const std::string& timePattern, const QTimeZone& zone) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        NightFileRecords out;
        out.error = file.errorString().toStdString();
        return out;
    }
    return ReadDataText(file.readAll(), datePattern, timePattern, zone);
}

NightFileRecords ReadDataText(const QByteArray& bytes, const std::string& datePattern,
                              const std::string& timePattern, const QTimeZone& zone) {
    NightFileRecords out;
    out.zone = zone;
    std::string_view fields[16];
    std::string date, time;
    QDate lastDate;
    std::string lastDateText;
    ForEachLine(bytes, [&](std::string_view line) {
        if (Trimmed(line).empty() || Trimmed(line).front() == '#') return;
        if (SplitFields(line, '\t', fields, std::size(fields)) < 14) {
            ++out.skippedLines;
            return;
        }
        date.assign(Trimmed(fields[0]));
        time.assign(Trimmed(fields[1]));
        std::tm parts{};
        if (date != lastDateText) {
            const char* end = strptime(date.c_str(), datePattern.c_str(), &parts);
            lastDate = end && *end == '\0'
                           ? QDate(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday)
                           : QDate();
            lastDateText = date;
        }
        parts = std::tm{};
        const char* end = strptime(time.c_str(), timePattern.c_str(), &parts);
        if (!lastDate.isValid() || !end || *end != '\0') {
            ++out.skippedLines;
            return;
        }
        NightSample sample;
        sample.time = QDateTime(lastDate, QTime(parts.tm_hour, parts.tm_min, parts.tm_sec), zone)
                          .toMSecsSinceEpoch();
        for (int c = 0; c < kNightChannels; ++c) {
            float mag;
            sample.mag[c] = ParseFloat(fields[3 + 2 * c], mag) ? mag : 0.f;
        }
        if (!ParseFloat(fields[12], sample.sensorTemperature)) sample.sensorTemperature = kUnknown;
        if (!ParseFloat(fields[13], sample.skyTemperature)) sample.skyTemperature = kUnknown;
        sample.cloudCover = CloudCover(sample.sensorTemperature, sample.skyTemperature);
        sample.sunAltitude = sample.moonAltitude = sample.moonIllumination = kUnknown;
        out.samples.push_back(sample);
    });
    if (out.samples.empty() && out.skippedLines > 0)
        out.error = "no line's date and time could be read as " + datePattern + " " + timePattern;
    return out;
}

void AddSky(std::vector<NightSample>& samples, const ObserverPlace& place) {
    for (NightSample& sample : samples) {
        const SunMoon sky = ComputeSunMoon(sample.time, place.latitude, place.longitude);
        sample.sunAltitude = float(sky.sunAltitude);
        sample.moonAltitude = float(sky.moonAltitude);
        sample.moonIllumination = float(sky.moonIllumination);
    }
}

std::vector<Night> SplitIntoNights(std::vector<NightSample> samples, const QTimeZone& zone) {
    const auto earlier = [](const NightSample& a, const NightSample& b) { return a.time < b.time; };
    if (!std::is_sorted(samples.begin(), samples.end(), earlier))
        std::stable_sort(samples.begin(), samples.end(), earlier);
    std::vector<Night> nights;
    // The zone's offset changes at most a few times a year: one look-up per UTC hour.
    constexpr UtcMilliseconds kHour = 3600000;
    UtcMilliseconds cachedHour = std::numeric_limits<UtcMilliseconds>::min();
    int offset = 0;
    for (const NightSample& sample : samples) {
        const UtcMilliseconds hour =
            sample.time >= 0 ? sample.time / kHour : (sample.time - kHour + 1) / kHour;
        if (hour != cachedHour) {
            cachedHour = hour;
            offset =
                zone.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(sample.time, QTimeZone::utc()));
        }
        // Local noon to local noon: the night's date is the local date twelve hours earlier.
        const UtcMilliseconds shifted = sample.time + offset * 1000LL - 12 * kHour;
        const std::int64_t days =
            shifted >= 0 ? shifted / (24 * kHour) : (shifted - 24 * kHour + 1) / (24 * kHour);
        const QDate date = QDate(1970, 1, 1).addDays(days);
        if (nights.empty() || nights.back().date != date) {
            nights.push_back(Night{date, zone, {}});
        }
        nights.back().samples.push_back(sample);
    }
    return nights;
}

}  // namespace noxa
