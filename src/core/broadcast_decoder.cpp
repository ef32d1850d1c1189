#include "core/broadcast_decoder.h"

#include "core/c_numbers.h"
#include "core/day_tables.h"
#include "core/form_model.h"
#include "core/live_readings.h"
#include "core/number_display.h"
#include "core/sky_quality.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <utility>

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

// Every number the report gave or the decoder derived from it.
bool AllFinite(const LiveReadings& r) {
    for (const float value : {r.frec740, r.mv740, r.ci1, r.frec640, r.mv640, r.ci2, r.frecR, r.mvR,
                              r.ci3, r.frecB, r.mvB, r.ci4, r.frecG, r.mvG, r.tIR, r.tSens}) {
        if (!std::isfinite(value)) return false;
    }
    return true;
}

void AddToSums(LiveReadings& r) {
    ChartSums& cs = r.chart;
    cs.count += 1;
    cs.sumMv740 += r.mv740;
    cs.sumMv640 += r.mv640;
    cs.sumMvR += r.mvR;
    cs.sumMvG += r.mvG;
    cs.sumMvB += r.mvB;
    cs.sumTIR += r.tIR;
    cs.countTIR += 1;
    cs.sumTSens += r.tSens;
    cs.countTSens += 1;

    RecordSums& rs = r.record;
    rs.count740 += 1;
    rs.countR += 1;
    rs.countG += 1;
    rs.countB += 1;
    rs.sumMv740 += r.mv740;
    rs.sumMv640 += r.mv640;
    rs.sumMvR += r.mvR;
    rs.sumMvG += r.mvG;
    rs.sumMvB += r.mvB;
    rs.sumFrec740 += r.frec740;
    rs.sumFrec640 += r.frec640;
    rs.sumFrecR += r.frecR;
    rs.sumFrecG += r.frecG;
    rs.sumFrecB += r.frecB;
}

}  // namespace

BroadcastDecoder::BroadcastDecoder(FormModel& form, LiveReadings& readings, const DayTables& days,
                                   const StationLocale& locale)
    : form_(form), readings_(readings), days_(days), locale_(locale) {}

std::string_view BroadcastDecoder::DecodeRawChannel(std::string_view report, std::string_view key,
                                                    FormText magnitudeLabel,
                                                    FormText frequencyLabel, float& magnitude,
                                                    float& zeroPoint, float& frequency) {
    const std::string_view channel = ChannelText(report, key);
    const ChannelFields fields = CutChannel(channel);
    form_.SetText(magnitudeLabel, fields.mag);
    magnitude = Value(fields.mag);
    form_.SetText(frequencyLabel, fields.freq);
    zeroPoint = Value(fields.zp);
    frequency = Value(fields.freq);
    return channel;
}

const BroadcastDecoder::Estimates& BroadcastDecoder::EstimateTexts(const DaySlot& newest) {
    const std::array<std::uint32_t, 3> means{std::bit_cast<std::uint32_t>(newest.meanMv740),
                                             std::bit_cast<std::uint32_t>(newest.meanTSens),
                                             std::bit_cast<std::uint32_t>(newest.meanTIR)};
    if (!estimates_.valid || means != estimates_.means) {
        estimates_.nelmValue = NelmFromMag(newest.meanMv740);
        estimates_.cloudValue = CloudIndex(newest.meanTSens, newest.meanTIR);
        estimates_.nelm = FormatRounded(estimates_.nelmValue, 1, locale_);
        estimates_.cloudIndex = FormatRounded(estimates_.cloudValue, 0, locale_);
        estimates_.means = means;
        estimates_.valid = true;
    }
    return estimates_;
}

const Observation& BroadcastDecoder::DecodeBroadcast(std::string_view report) {
    LiveReadings& r = readings_;
    const DaySlot& newest = days_.Newest();

    // Channel 1, 740 nm: its frequency is shown formatted, the others as received.
    const ChannelFields c1 = CutChannel(ChannelText(report, "F1"));
    form_.SetText(FormText::Lmv, c1.mag);
    r.mv740 = Value(c1.mag);
    r.ci1 = Value(c1.zp);
    form_.SetText(FormText::Lnelm, EstimateTexts(newest).nelm);
    r.frec740 = Value(c1.freq);
    form_.SetText(FormText::LHz, FormatRounded(r.frec740, 3, locale_));

    DecodeRawChannel(report, "F2", FormText::Lmv2, FormText::LHz2, r.mv640, r.ci2, r.frec640);
    DecodeRawChannel(report, "F3", FormText::LmvR, FormText::LHzR, r.mvR, r.ci3, r.frecR);
    // The two temperatures are looked for in channel 4's text.
    const std::string_view t4 =
        DecodeRawChannel(report, "F4", FormText::LmvB, FormText::LHzB, r.mvB, r.ci4, r.frecB);

    const GreenChannel green = DeriveGreen(r.frec640, r.frecR, r.frecB, r.ci2);
    r.frecG = green.frecG;
    r.mvG = green.mvG;
    form_.SetText(FormText::LmvG, FormatRounded(r.mvG, 2, locale_));
    form_.SetText(FormText::LHzG, FormatRounded(r.frecG, 3, locale_));

    const std::string_view sky = FixedField(t4, "tsky", 6);
    form_.SetText(FormText::Ltir, sky);
    r.tIR = Value(sky);

    const std::string_view sensor = FixedField(t4, "tamb", 6);
    form_.SetText(FormText::Ltsensor, sensor);
    r.tSens = Value(sensor);

    // The label shows the cloud index unclamped; only the chart replaces values above 100.
    form_.SetText(FormText::LClouds, EstimateTexts(newest).cloudIndex);

    Observation& o = latest_;
    o.magV = r.mv740;
    o.magV2 = r.mv640;
    o.magR = r.mvR;
    o.magG = r.mvG;
    o.magB = r.mvB;
    o.freq1 = r.frec740;
    o.freq2 = r.frec640;
    o.freq3 = r.frecR;
    o.freq4 = r.frecB;
    o.freqG = r.frecG;
    o.zeroPoint1 = r.ci1;
    o.zeroPoint2 = r.ci2;
    o.zeroPoint3 = r.ci3;
    o.zeroPoint4 = r.ci4;
    o.sensorTemperature = r.tSens;
    o.skyTemperature = r.tIR;
    o.nelm = estimates_.nelmValue;
    o.cloudIndex = estimates_.cloudValue;
    o.counted = AllFinite(r);
    if (o.counted) {
        AddToSums(r);
    } else if (!nonFiniteSaid_) {
        // One value that is no number would turn every mean of the interval into one.
        form_.AppendLog(LogLevel::Warning,
                        "Report with values that are not numbers left out of the averages");
        nonFiniteSaid_ = true;
    }

    r.rxTicks = 0;
    form_.SetRxColour(kIndicatorGray);
    return latest_;
}

}  // namespace noxa
