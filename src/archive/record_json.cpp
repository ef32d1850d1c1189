#include "archive/record_json.h"

#include <rapidjson/error/error.h>
#include <rapidjson/reader.h>

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <string_view>

namespace noxa {
namespace {

// What a key of the record held; a key missing or given twice keeps its last value.
struct Held {
    enum class Kind { Missing, Null, Number, Text, Other } kind = Kind::Missing;
    double number = 0;
    std::string text;
};

// The keys the record is read from: the fixed ones, then the measures, then the counts.
enum FixedKey { kStation, kStart, kEnd, kPreviousEnd, kFixedKeys };
constexpr std::size_t kHeldKeys = kFixedKeys + kMeasureKeys.size() + kReportKeys.size();

// The keys in the order of `Held`s.
constexpr std::array<std::string_view, kHeldKeys> HeldKeyNames() {
    std::array<std::string_view, kHeldKeys> names{"station", "start", "end", "previous_end"};
    for (std::size_t i = 0; i < kMeasureKeys.size(); ++i) names[kFixedKeys + i] = kMeasureKeys[i];
    for (std::size_t i = 0; i < kReportKeys.size(); ++i)
        names[kFixedKeys + kMeasureKeys.size() + i] = kReportKeys[i];
    return names;
}

// The index of `key`, -1 for another; `after` (the key before it) is the first guess, as
// stations write the keys in about this order.
int KeyIndex(std::string_view key, int after) {
    static constexpr std::array<std::string_view, kHeldKeys> kNames = HeldKeyNames();
    const std::size_t guess = static_cast<std::size_t>(after + 1) % kHeldKeys;
    if (kNames[guess] == key) return static_cast<int>(guess);
    for (std::size_t i = 0; i < kHeldKeys; ++i)
        if (kNames[i] == key) return static_cast<int>(i);
    return -1;
}

// Reads the top-level object's known keys as the parser meets them; nested values and other
// keys are passed over.
class RecordHandler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, RecordHandler> {
public:
    std::array<Held, kHeldKeys> held;
    bool object = false;  // the document is an object

    bool Null() { return Scalar(Held::Kind::Null, 0); }
    bool Bool(bool) { return Scalar(Held::Kind::Other, 0); }
    bool Int(int value) { return Scalar(Held::Kind::Number, value); }
    bool Uint(unsigned value) { return Scalar(Held::Kind::Number, value); }
    bool Int64(std::int64_t value) { return Scalar(Held::Kind::Number, double(value)); }
    bool Uint64(std::uint64_t value) { return Scalar(Held::Kind::Number, double(value)); }
    bool Double(double value) { return Scalar(Held::Kind::Number, value); }
    bool String(const char* text, rapidjson::SizeType length, bool) {
        if (Slot() != nullptr) Slot()->text.assign(text, length);
        return Scalar(Held::Kind::Text, 0);
    }
    bool Key(const char* text, rapidjson::SizeType length, bool) {
        if (depth_ == 1) key_ = KeyIndex(std::string_view(text, length), key_);
        return true;
    }
    bool StartObject() { return Open(true); }
    bool StartArray() { return Open(false); }
    bool EndObject(rapidjson::SizeType) { return Close(); }
    bool EndArray(rapidjson::SizeType) { return Close(); }

private:
    Held* Slot() {
        return depth_ == 1 && key_ >= 0 ? &held[static_cast<std::size_t>(key_)] : nullptr;
    }
    bool Scalar(Held::Kind kind, double number) {
        if (depth_ == 0) return true;  // a document that is not an object
        if (Held* slot = Slot()) {
            slot->kind = kind;
            slot->number = number;
        }
        return true;
    }
    bool Open(bool isObject) {
        if (depth_ == 0) object = isObject;
        if (Held* slot = Slot()) slot->kind = Held::Kind::Other;
        ++depth_;
        return true;
    }
    bool Close() {
        --depth_;
        return true;
    }
    int depth_ = 0;
    int key_ = -1;
};

// The stations' own form, "2026-12-07T21:01:00.000Z", read without the general parser, which
// takes most of a record's time; nothing for any other form.
std::optional<std::int64_t> ParseStationTime(std::string_view text) {
    static constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:dd.dddZ";
    if (text.size() != kShape.size()) return std::nullopt;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (kShape[i] == 'd' ? !digit : text[i] != kShape[i]) return std::nullopt;
    }
    const auto number = [&](std::size_t from, std::size_t length) {
        int value = 0;
        for (std::size_t i = from; i < from + length; ++i) value = value * 10 + (text[i] - '0');
        return value;
    };
    const QDate date(number(0, 4), number(5, 2), number(8, 2));
    const QTime time(number(11, 2), number(14, 2), number(17, 2), number(20, 3));
    if (!date.isValid() || !time.isValid()) return std::nullopt;
    constexpr std::int64_t kUnixEpochDay = 2440588;  // 1970-01-01 as a Julian day
    constexpr std::int64_t kDayMs = 86400000;
    return (date.toJulianDay() - kUnixEpochDay) * kDayMs + time.msecsSinceStartOfDay();
}

std::optional<std::int64_t> ParseTime(const Held& value) {
    if (value.kind != Held::Kind::Text) return std::nullopt;
    if (const auto fast = ParseStationTime(value.text)) return fast;
    const QDateTime time =
        QDateTime::fromString(QString::fromStdString(value.text), Qt::ISODateWithMs);
    if (!time.isValid() || time.timeSpec() == Qt::LocalTime) return std::nullopt;
    return time.toMSecsSinceEpoch();
}

bool ReadTimes(const RecordHandler& json, ArchivedRecord& record, std::string& fault) {
    const auto start = ParseTime(json.held[kStart]);
    const auto end = ParseTime(json.held[kEnd]);
    if (!start || !end) {
        fault = "\"start\" or \"end\" is not a UTC time";
        return false;
    }
    record.start = *start;
    record.end = *end;
    const Held& previous = json.held[kPreviousEnd];
    if (previous.kind == Held::Kind::Null) return true;
    record.previousEnd = ParseTime(previous);
    if (record.previousEnd && *record.previousEnd < record.end) return true;
    fault = "\"previous_end\" is missing or not a UTC time before \"end\"";
    return false;
}

bool ReadMeasures(const RecordHandler& json, ArchivedRecord& record, std::string& fault) {
    for (std::size_t i = 0; i < kMeasureKeys.size(); ++i) {
        const Held& value = json.held[kFixedKeys + i];
        if (value.kind == Held::Kind::Null || value.kind == Held::Kind::Missing) continue;
        if (value.kind != Held::Kind::Number || !std::isfinite(value.number)) {
            fault = std::string("\"") + kMeasureKeys[i] + "\" is not a number";
            return false;
        }
        record.measures[i] = value.number;
    }
    return true;
}

bool ReadReports(const RecordHandler& json, ArchivedRecord& record, std::string& fault) {
    for (std::size_t i = 0; i < kReportKeys.size(); ++i) {
        const Held& value = json.held[kFixedKeys + kMeasureKeys.size() + i];
        const double count = value.number;
        if (value.kind != Held::Kind::Number || count < 0 || count > 1e9 ||
            count != std::floor(count)) {
            fault = std::string("\"") + kReportKeys[i] + "\" is not a count";
            return false;
        }
        record.reports[i] = static_cast<std::int64_t>(count);
    }
    return true;
}

}  // namespace

std::optional<ArchivedRecord> ParseRecord(const QString& station, const QByteArray& payload,
                                          std::string& fault) {
    RecordHandler json;
    // Read in place, in a copy of its own; iteratively: however deep a payload nests, it takes
    // no stack.
    std::string text(payload.constData(), static_cast<std::size_t>(payload.size()));
    rapidjson::InsituStringStream stream(text.data());
    rapidjson::Reader reader;
    constexpr unsigned kFlags = rapidjson::kParseInsituFlag | rapidjson::kParseFullPrecisionFlag |
                                rapidjson::kParseIterativeFlag;
    if (reader.Parse<kFlags>(stream, json).IsError() || !json.object) {
        fault = "not a JSON object";
        return std::nullopt;
    }
    ArchivedRecord record;
    record.station = station;
    const Held& name = json.held[kStation];
    if (name.kind != Held::Kind::Text) {
        fault = "\"station\" is not a name";
        return std::nullopt;
    }
    record.name = QString::fromStdString(name.text);
    if (!ReadTimes(json, record, fault) || !ReadMeasures(json, record, fault) ||
        !ReadReports(json, record, fault)) {
        return std::nullopt;
    }
    return record;
}

QString NameOfState(const QByteArray& payload) {
    const QJsonDocument document = QJsonDocument::fromJson(payload);
    return document.isObject() ? document.object().value("station").toString() : QString();
}

}  // namespace noxa
