#include "core/broadcast_decoder.h"

#include "core/c_numbers.h"
#include "core/live_readings.h"

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

// A channel's text runs from the fifth character after its key to the end of the report.
std::string_view ChannelText(std::string_view report, std::string_view key) {
    return Sub(report, Pos(report, key) + 5, static_cast<std::ptrdiff_t>(report.size()));
}

// Five characters starting `offset` characters after the first character of `key`.
std::string_view FixedField(std::string_view text, std::string_view key, std::ptrdiff_t offset) {
    return Sub(text, Pos(text, key) + offset, 5);
}

// The frequency runs from after "freq": up to the first comma of the channel text.
std::string_view FrequencyText(std::string_view channel) {
    const std::ptrdiff_t start = Pos(channel, "freq") + 6;
    return Sub(channel, start, Pos(channel, ",") - start);
}

struct ChannelFields {
    std::string_view mag, zp, freq;
};

ChannelFields CutChannel(std::string_view channel) {
    return {FixedField(channel, "mag", 5), FixedField(channel, "zp", 4), FrequencyText(channel)};
}

float Value(std::string_view text) {
    return static_cast<float>(CAtof(text));
}

// Every number the report gave or was derived from it.
bool AllFinite(const Observation& o) {
    for (const float value : {o.freq1, o.magV, o.zeroPoint1, o.freq2, o.magV2, o.zeroPoint2,
                              o.freq3, o.magR, o.zeroPoint3, o.freq4, o.magB, o.zeroPoint4, o.freqG,
                              o.magG, o.skyTemperature, o.sensorTemperature}) {
        if (!std::isfinite(value)) return false;
    }
    return true;
}

}  // namespace

DecodedReport DecodeBroadcast(std::string_view report) {
    DecodedReport decoded;
    Observation& o = decoded.observation;
    ReceivedTexts& received = decoded.received;

    const ChannelFields c1 = CutChannel(ChannelText(report, "F1"));  // 740 nm
    const ChannelFields c2 = CutChannel(ChannelText(report, "F2"));  // 640 nm
    const ChannelFields c3 = CutChannel(ChannelText(report, "F3"));  // red
    // The two temperatures are looked for in channel 4's text.
    const std::string_view t4 = ChannelText(report, "F4");
    const ChannelFields c4 = CutChannel(t4);  // blue
    const std::string_view sky = FixedField(t4, "tsky", 6);
    const std::string_view sensor = FixedField(t4, "tamb", 6);

    received = {.magnitude1 = c1.mag,
                .magnitude2 = c2.mag,
                .frequency2 = c2.freq,
                .magnitudeR = c3.mag,
                .frequencyR = c3.freq,
                .magnitudeB = c4.mag,
                .frequencyB = c4.freq,
                .skyTemperature = sky,
                .sensorTemperature = sensor};

    o.magV = Value(c1.mag);
    o.zeroPoint1 = Value(c1.zp);
    o.freq1 = Value(c1.freq);
    o.magV2 = Value(c2.mag);
    o.zeroPoint2 = Value(c2.zp);
    o.freq2 = Value(c2.freq);
    o.magR = Value(c3.mag);
    o.zeroPoint3 = Value(c3.zp);
    o.freq3 = Value(c3.freq);
    o.magB = Value(c4.mag);
    o.zeroPoint4 = Value(c4.zp);
    o.freq4 = Value(c4.freq);

    const GreenChannel green = DeriveGreen(o.freq2, o.freq3, o.freq4, o.zeroPoint2);
    o.freqG = green.frecG;
    o.magG = green.mvG;

    o.skyTemperature = Value(sky);
    o.sensorTemperature = Value(sensor);
    o.counted = AllFinite(o);
    return decoded;
}

}  // namespace noxa
