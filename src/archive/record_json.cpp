#include "archive/record_json.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace noxa {
namespace {

// The stations' own form, "2026-12-07T21:01:00.000Z", read without the general parser, which
// takes most of a record's time; nothing for any other form.
std::optional<std::int64_t> ParseStationTime(const QString& text) {
    static constexpr char kShape[] = "dddd-dd-ddTdd:dd:dd.dddZ";
    if (text.size() != static_cast<qsizetype>(sizeof kShape - 1)) return std::nullopt;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (kShape[i] == 'd' ? !digit : text[i] != QLatin1Char(kShape[i])) return std::nullopt;
    }
    const auto number = [&](int from, int length) {
        int value = 0;
        for (int i = from; i < from + length; ++i) value = value * 10 + (text[i].unicode() - '0');
        return value;
    };
    const QDate date(number(0, 4), number(5, 2), number(8, 2));
    const QTime time(number(11, 2), number(14, 2), number(17, 2), number(20, 3));
    if (!date.isValid() || !time.isValid()) return std::nullopt;
    return date.startOfDay(Qt::UTC).toMSecsSinceEpoch() + time.msecsSinceStartOfDay();
}

std::optional<std::int64_t> ParseTime(const QJsonValue& value) {
    if (!value.isString()) return std::nullopt;
    if (const auto fast = ParseStationTime(value.toString())) return fast;
    const QDateTime time = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    if (!time.isValid() || time.timeSpec() == Qt::LocalTime) return std::nullopt;
    return time.toMSecsSinceEpoch();
}

bool ReadMeasures(const QJsonObject& json, ArchivedRecord& record, std::string& fault) {
    for (std::size_t i = 0; i < kMeasureKeys.size(); ++i) {
        const QJsonValue value = json.value(kMeasureKeys[i]);
        if (value.isNull() || value.isUndefined()) continue;
        if (!value.isDouble() || !std::isfinite(value.toDouble())) {
            fault = std::string("\"") + kMeasureKeys[i] + "\" is not a number";
            return false;
        }
        record.measures[i] = value.toDouble();
    }
    return true;
}

bool ReadReports(const QJsonObject& json, ArchivedRecord& record, std::string& fault) {
    for (std::size_t i = 0; i < kReportKeys.size(); ++i) {
        const QJsonValue value = json.value(kReportKeys[i]);
        const double count = value.toDouble(-1);
        if (!value.isDouble() || count < 0 || count > 1e9 || count != std::floor(count)) {
            fault = std::string("\"") + kReportKeys[i] + "\" is not a count";
            return false;
        }
        record.reports[i] = static_cast<std::int64_t>(count);
    }
    return true;
}

bool ReadTimes(const QJsonObject& json, ArchivedRecord& record, std::string& fault) {
    const auto start = ParseTime(json.value("start"));
    const auto end = ParseTime(json.value("end"));
    if (!start || !end) {
        fault = "\"start\" or \"end\" is not a UTC time";
        return false;
    }
    record.start = *start;
    record.end = *end;
    const QJsonValue previous = json.value("previous_end");
    if (previous.isNull()) return true;
    record.previousEnd = ParseTime(previous);
    if (record.previousEnd && *record.previousEnd < record.end) return true;
    fault = "\"previous_end\" is missing or not a UTC time before \"end\"";
    return false;
}

}  // namespace

std::optional<ArchivedRecord> ParseRecord(const QString& station, const QByteArray& payload,
                                          std::string& fault) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        fault = "not a JSON object";
        return std::nullopt;
    }
    const QJsonObject json = document.object();
    ArchivedRecord record;
    record.station = station;
    const QJsonValue name = json.value("station");
    if (!name.isString()) {
        fault = "\"station\" is not a name";
        return std::nullopt;
    }
    record.name = name.toString();
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
