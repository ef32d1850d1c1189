#include "core/broadcast_decoder.h"

#include "core/c_numbers.h"
#include "core/readings.h"

#include <cmath>
#include <cstddef>
#include <cstring>

namespace noxa {
namespace {

// Positions count from 1, as the report rules are stated; 0 means "not found". The keys are a
// few characters long: the first is looked for with memchr and the rest compared in place.
std::ptrdiff_t Pos(std::string_view text, std::string_view key) {
    if (key.empty() || text.size() < key.size()) return 0;
    const char* const begin = text.data();
    const char* const last = begin + (text.size() - key.size());  // the last place it can start
    const char* p = begin;
    while (p <= last) {
        p = static_cast<const char*>(
            std::memchr(p, key[0], static_cast<std::size_t>(last - p) + 1));
        if (p == nullptr) return 0;
        std::size_t i = 1;
        while (i < key.size() && p[i] == key[i]) ++i;
        if (i == key.size()) return p - begin + 1;
        ++p;
    }
    return 0;
}

// Up to n characters from position i; empty past the end or for n < 1.
std::string_view Sub(std::string_view text, std::ptrdiff_t i, std::ptrdiff_t n) {
    if (n < 1 || i < 1 || i > static_cast<std::ptrdiff_t>(text.size())) return {};
    return text.substr(static_cast<std::size_t>(i - 1), static_cast<std::size_t>(n));
}

// The green channel from channel 2 minus channels 3 and 4, with channel 2's zero point.
struct GreenChannel {
    float frecG;
    float mvG;
};
GreenChannel DeriveGreen(float frec640, float frecR, float frecB, float ci2) {
    const double frecG = static_cast<double>(frec640) - frecR - frecB;
    // Also taken when the difference is not a number.
    if (!(frecG > 0)) return {0.0f, 25.0f};
    return {static_cast<float>(frecG), static_cast<float>(ci2 - 2.5 * std::log10(frecG))};
}

// A value's text, the number C's atof makes of it and whether the text held a number at all.
struct Field {
    std::string_view text;
    bool read = false;
    float value = 0;
};

// The value at `value` of a text found (`found`), read as atof reads it.
Field ValueField(std::string_view value, bool found) {
    bool number = false;
    const auto read = static_cast<float>(CAtof(value, number));
    return {value, found && number, read};
}

// Five characters starting `offset` characters after the first character of `key`.
Field FixedField(Field text, std::string_view key, std::ptrdiff_t offset) {
    const std::ptrdiff_t at = Pos(text.text, key);
    return ValueField(Sub(text.text, at + offset, 5), text.read && at > 0);
}

// The frequency runs from after "freq": up to the first comma of the channel text.
Field FrequencyText(Field channel) {
    const std::ptrdiff_t at = Pos(channel.text, "freq");
    const std::ptrdiff_t start = at + 6;
    return ValueField(Sub(channel.text, start, Pos(channel.text, ",") - start),
                      channel.read && at > 0);
}

// A channel's text runs from the fifth character after its key to the end of the report.
Field ChannelField(std::string_view report, std::string_view key) {
    const std::ptrdiff_t at = Pos(report, key);
    return {Sub(report, at + 5, static_cast<std::ptrdiff_t>(report.size())), at > 0};
}

struct ChannelFields {
    Field mag, zp, freq;
};

ChannelFields CutChannel(Field channel) {
    return {FixedField(channel, "mag", 5), FixedField(channel, "zp", 4), FrequencyText(channel)};
}

// Every number the report gave or was derived from it.
bool AllFinite(const Observation& o) {
    for (const Channel& c : o.channels) {
        if (!std::isfinite(c.mag) || !std::isfinite(c.freq) || !std::isfinite(c.zeroPoint))
            return false;
    }
    return std::isfinite(o.skyTemperature) && std::isfinite(o.sensorTemperature);
}

}  // namespace

DecodedReport DecodeBroadcast(std::string_view report) {
    DecodedReport decoded;
    Observation& o = decoded.observation;
    ReceivedTexts& received = decoded.received;

    // The instrument's channels 1 to 4 are keyed "F1" to "F4"; the two temperatures are looked
    // for in channel 4's text.
    constexpr std::string_view kKeys[] = {"F1", "F2", "F3", "F4"};
    const Field t4 = ChannelField(report, "F4");
    std::uint32_t& unread = decoded.unread;
    for (std::size_t i = 0; i < kInstrumentChannels.size(); ++i) {
        const ChannelId id = kInstrumentChannels[i];
        const ChannelFields cut =
            CutChannel(id == ChannelId::Blue ? t4 : ChannelField(report, kKeys[i]));
        received.channels[static_cast<std::size_t>(id)] = {cut.mag.text, cut.freq.text};
        o[id] = {cut.mag.value, cut.freq.value, cut.zp.value};
        if (!cut.mag.read) unread |= Bit(Describe(id).mag);
        if (!cut.freq.read) unread |= Bit(Describe(id).freq);
        // Green's brightness is worked out with channel 2's zero point.
        if (id == ChannelId::C640 && !cut.zp.read) unread |= Bit(Reading::MagG);
    }
    const Field sky = FixedField(t4, "tsky", 6);
    const Field sensor = FixedField(t4, "tamb", 6);
    received.skyTemperature = sky.text;
    received.sensorTemperature = sensor.text;

    const Channel& c640 = o[ChannelId::C640];
    const GreenChannel green =
        DeriveGreen(c640.freq, o[ChannelId::Red].freq, o[ChannelId::Blue].freq, c640.zeroPoint);
    o[ChannelId::Green] = {green.mvG, green.frecG, c640.zeroPoint};
    if (unread & (Bit(Reading::Freq2) | Bit(Reading::Freq3) | Bit(Reading::Freq4)))
        unread |= Bit(Reading::FreqG) | Bit(Reading::MagG);

    o.skyTemperature = sky.value;
    o.sensorTemperature = sensor.value;
    if (!sky.read) unread |= Bit(Reading::SkyTemperature);
    if (!sensor.read) unread |= Bit(Reading::SensorTemperature);
    o.counted = AllFinite(o);
    return decoded;
}

}  // namespace noxa
