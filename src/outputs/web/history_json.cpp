#include "outputs/web/history_json.h"

#include "core/day_tables.h"
#include "core/readings.h"
#include "outputs/common/shortest_decimal.h"
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
    return ShortestDecimal(value);
}

}  // namespace

QByteArray HistoryJson(const DayTables& days) {
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
    for (const ReadingDescription& series : kReadings) {
        if (!series.chartMean) continue;
        out += ",\"";
        out += series.key;
        out += "\":[";
        for (std::size_t i = 0; i < kDaySlots; ++i) {
            if (i) out += ',';
            out += empty[i] ? QByteArray("null")
                            : Number(ShownValue(series, days.slot[i].*series.chartMean));
        }
        out += ']';
    }
    out += "}";
    return out;
}

}  // namespace noxa
