#include "night/night_digest.h"

#include <QDataStream>
#include <QIODevice>

#include <isa-l/crc64.h>

#include <cstring>

#include <cmath>

namespace noxa {
namespace {

constexpr float kAstronomicalNight = -18.f;
constexpr quint32 kMagic = 0x4e585931;  // "NXY1"

// The channel whose steadiness tells a clear sky: 740 nm, or a logger's own.
int SteadyChannel(const Night& night) {
    for (const NightSample& sample : night.samples)
        if (sample.mag[0] > 0) return 0;
    return kSingleChannel;
}

// The channels that have a value in any of the records, one bit each.
quint8 ChannelsOf(const std::vector<DarkRecord>& records) {
    quint8 mask = 0;
    for (const DarkRecord& record : records)
        for (size_t c = 0; c < kNightChannels; ++c)
            if (record.mag[c] > 0) mask |= quint8(1 << c);
    return mask;
}

void WriteCells(QDataStream& out, const HourglassColumn& column) {
    out << quint8(column.has740) << quint8(!column.singleMags.empty());
    for (size_t row = 0; row < column.cells.size(); ++row) {
        const HourglassCell& cell = column.cells[row];
        out << quint8(cell.light) << qint32(cell.records) << cell.mag.value_or(NAN);
        if (!column.singleMags.empty()) out << column.singleMags[row].value_or(NAN);
    }
}

std::optional<float> Known(float value) {
    return std::isnan(value) ? std::nullopt : std::optional(value);
}

void ReadCells(QDataStream& in, HourglassColumn& column, int rows) {
    quint8 has740 = 0, hasSingle = 0;
    in >> has740 >> hasSingle;
    column.has740 = has740 != 0;
    column.cells.resize(size_t(rows));
    if (hasSingle) column.singleMags.resize(size_t(rows));
    for (int row = 0; row < rows && in.status() == QDataStream::Ok; ++row) {
        HourglassCell& cell = column.cells[size_t(row)];
        quint8 light = 0;
        qint32 records = 0;
        float mag = NAN, single = NAN;
        in >> light >> records >> mag;
        if (hasSingle) in >> single;
        cell.light = SkyLight(std::min<quint8>(light, quint8(SkyLight::ClockChange)));
        cell.records = records;
        cell.mag = Known(mag);
        if (hasSingle) column.singleMags[size_t(row)] = Known(single);
    }
}

void WriteDark(QDataStream& out, const std::vector<DarkRecord>& records) {
    const quint8 mask = ChannelsOf(records);
    out << quint32(records.size()) << mask;
    for (const DarkRecord& record : records) {
        out << record.cloudCover << quint8(record.steady);
        for (size_t c = 0; c < kNightChannels; ++c)
            if (mask & (1 << c)) out << record.mag[c];
    }
}

void ReadDark(QDataStream& in, std::vector<DarkRecord>& records) {
    quint32 count = 0;
    quint8 mask = 0;
    in >> count >> mask;
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        DarkRecord record;
        quint8 steady = 0;
        in >> record.cloudCover >> steady;
        record.steady = steady != 0;
        for (size_t c = 0; c < kNightChannels; ++c)
            if (mask & (1 << c)) in >> record.mag[c];
        records.push_back(record);
    }
}

}  // namespace

std::vector<bool> SteadyRecords(const Night& night) {
    const std::vector<NightSample>& samples = night.samples;
    const size_t channel = size_t(SteadyChannel(night));
    constexpr UtcMilliseconds kHalfWindow = kSteadyWindowMinutes * 60000 / 2;
    std::vector<bool> steady(samples.size());
    // The records of the window around each record, with their sums, slid along the night.
    size_t first = 0, last = 0;
    double sum = 0, squares = 0;
    int count = 0;
    const auto take = [&](size_t i, int sign) {
        const double mag = samples[i].mag[channel];
        if (!(mag > 0)) return;
        sum += sign * mag;
        squares += sign * mag * mag;
        count += sign;
    };
    for (size_t i = 0; i < samples.size(); ++i) {
        while (last < samples.size() && samples[last].time <= samples[i].time + kHalfWindow)
            take(last++, +1);
        while (samples[first].time < samples[i].time - kHalfWindow) take(first++, -1);
        if (count < 5 || !(samples[i].mag[channel] > 0)) continue;
        const double mean = sum / count;
        const double variance = std::max(0.0, squares / count - mean * mean);
        steady[i] = std::sqrt(variance) <= kSteadySpread;
    }
    return steady;
}

quint64 RecordsHash(const Night& night) {
    // The values one by one, so that no padding between them goes into the hash.
    constexpr size_t kSampleBytes =
        sizeof(UtcMilliseconds) + sizeof(NightSample::mag) + 6 * sizeof(float);
    const QByteArray zone = night.zone.id();
    const qint64 day = night.date.toJulianDay();
    // Raised when the charts are drawn otherwise, so that charts drawn before are drawn again.
    constexpr int kChartDrawing = 2;
    std::vector<char> bytes(night.samples.size() * kSampleBytes + size_t(zone.size()) +
                            night.instrument.size() + sizeof day + sizeof kChartDrawing);
    char* out = bytes.data();
    const auto put = [&](const void* at, size_t size) {
        std::memcpy(out, at, size);
        out += size;
    };
    const auto putValue = [&](const auto& value) { put(&value, sizeof value); };
    for (const NightSample& s : night.samples) {
        putValue(s.time);
        putValue(s.mag);
        for (const float value : {s.sensorTemperature, s.skyTemperature, s.sunAltitude,
                                  s.moonAltitude, s.moonIllumination, s.cloudCover})
            putValue(value);
    }
    put(zone.constData(), size_t(zone.size()));
    put(night.instrument.data(), night.instrument.size());
    putValue(day);
    putValue(kChartDrawing);
    // A CRC, the same in every run (Qt's own hashes are seeded afresh in each process).
    return crc64_ecma_refl(0, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

NightDigest DigestNight(const Night& night, const HourglassLayout& layout) {
    NightDigest digest;
    digest.recordsHash = RecordsHash(night);
    digest.column = BuildHourglassColumn(night, layout);
    const std::vector<bool> steady = SteadyRecords(night);
    for (size_t i = 0; i < night.samples.size(); ++i) {
        const NightSample& sample = night.samples[i];
        if (!(sample.sunAltitude < kAstronomicalNight && sample.moonAltitude < 0)) continue;
        digest.dark.push_back({sample.mag, sample.cloudCover, steady[i]});
    }
    return digest;
}

QByteArray EncodeDigests(const std::vector<NightDigest>& nights, const HourglassLayout& layout) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    out.setFloatingPointPrecision(QDataStream::SinglePrecision);
    out << kMagic << qint32(layout.eveningHour) << qint32(layout.hours)
        << qint32(layout.minutesPerRow) << quint32(nights.size());
    for (const NightDigest& night : nights) {
        out << qint64(night.Date().toJulianDay()) << night.recordsHash;
        WriteCells(out, night.column);
        WriteDark(out, night.dark);
    }
    return bytes;
}

std::optional<std::vector<NightDigest>> DecodeDigests(const QByteArray& bytes,
                                                      const HourglassLayout& layout) {
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_4);
    in.setFloatingPointPrecision(QDataStream::SinglePrecision);
    quint32 magic = 0, count = 0;
    qint32 evening = 0, hours = 0, minutes = 0;
    in >> magic >> evening >> hours >> minutes >> count;
    if (magic != kMagic || evening != layout.eveningHour || hours != layout.hours ||
        minutes != layout.minutesPerRow)
        return std::nullopt;
    std::vector<NightDigest> nights;
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        NightDigest night;
        qint64 day = 0;
        in >> day >> night.recordsHash;
        night.column.date = QDate::fromJulianDay(day);
        ReadCells(in, night.column, layout.Rows());
        ReadDark(in, night.dark);
        nights.push_back(std::move(night));
    }
    if (in.status() != QDataStream::Ok || !in.atEnd()) return std::nullopt;
    return nights;
}

}  // namespace noxa
