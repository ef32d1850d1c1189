#include "outputs/web/history_json.h"

#include "core/day_tables.h"
#include "outputs/common/latest_readings.h"
#include "time/date_time.h"

#include <QDateTime>

#include <cmath>

namespace noxa {
namespace {

// A slot that no chart point ever filled: the history starts with these.
bool Empty(const DaySlot& s) {
    return s.date == 0 ||
           (s.meanTSens == 0 && s.meanTIR == 0 && s.meanMv740 == 0 && s.meanMv640 == 0 &&
            s.meanMvR == 0 && s.meanMvG == 0 && s.meanMvB == 0 && s.nelm == 0 && s.cloudIndex == 0);
}

// The slot's local date-time as UTC text, or null.
QByteArray Time(const DaySlot& s) {
    if (s.date == 0) return "null";
    const QDateTime fields = FromDayNumber(s.date + s.time);
    if (!fields.isValid()) return "null";
    const QDateTime local(fields.date(), fields.time(), Qt::LocalTime);
    // A local time skipped by a clock change has no instant.
    if (!local.isValid()) return "null";
    const QDateTime utc = local.toUTC().addMSecs(500);
    return '"' + utc.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ")).toLatin1() + '"';
}

QByteArray Number(float value) {
    if (!std::isfinite(value)) return "null";
    return QByteArray::number(value, 'g', 7);
}

}  // namespace

QByteArray HistoryJson(const DayTables& days) {
    struct Series {
        const char* key;
        float (*value)(const DaySlot&);
    };
    static const Series kSeries[] = {
        {"mag_v", [](const DaySlot& s) { return s.meanMv740; }},
        {"mag_v2", [](const DaySlot& s) { return s.meanMv640; }},
        {"mag_r", [](const DaySlot& s) { return s.meanMvR; }},
        {"mag_g", [](const DaySlot& s) { return s.meanMvG; }},
        {"mag_b", [](const DaySlot& s) { return s.meanMvB; }},
        {"temperature", [](const DaySlot& s) { return s.meanTSens; }},
        {"sky_temperature", [](const DaySlot& s) { return s.meanTIR; }},
        {"nelm", [](const DaySlot& s) { return s.nelm; }},
        {"cloud_cover", [](const DaySlot& s) { return CloudCoverPercent(s.cloudIndex); }},
    };
    bool empty[kDaySlots];
    for (std::size_t i = 0; i < kDaySlots; ++i) empty[i] = Empty(days.slot[i]);

    QByteArray out;
    out.reserve(160 * 1024);
    out += "{\"time\":[";
    for (std::size_t i = 0; i < kDaySlots; ++i) {
        if (i) out += ',';
        out += Time(days.slot[i]);
    }
    out += ']';
    for (const Series& series : kSeries) {
        out += ",\"";
        out += series.key;
        out += "\":[";
        for (std::size_t i = 0; i < kDaySlots; ++i) {
            if (i) out += ',';
            out += empty[i] ? QByteArray("null") : Number(series.value(days.slot[i]));
        }
        out += ']';
    }
    out += "}";
    return out;
}

}  // namespace noxa
