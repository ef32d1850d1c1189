#include "archive/fleet/record_columns.h"

namespace noxa {
namespace {

using Kind = RecordColumn::Kind;

constexpr RecordColumn kColumns[] = {
    {"start", "start_time", Kind::Time},
    {"end", "end_time", Kind::Time},
    {"previous_end", "previous_end", Kind::OptionalTime},
    {"mag_v", "mag_v", Kind::Number},
    {"mag_v2", "mag_v2", Kind::Number},
    {"mag_r", "mag_r", Kind::Number},
    {"mag_g", "mag_g", Kind::Number},
    {"mag_b", "mag_b", Kind::Number},
    {"freq_v", "freq_v", Kind::Number},
    {"freq_v2", "freq_v2", Kind::Number},
    {"freq_r", "freq_r", Kind::Number},
    {"freq_g", "freq_g", Kind::Number},
    {"freq_b", "freq_b", Kind::Number},
    {"temperature", "temperature", Kind::Number},
    {"sky_temperature", "sky_temperature", Kind::Number},
    {"reports", "reports", Kind::Count},
    {"reports_r", "reports_r", Kind::Count},
    {"reports_g", "reports_g", Kind::Count},
    {"reports_b", "reports_b", Kind::Count},
    {"sun_altitude", "sun_altitude", Kind::Number},
    {"moon_altitude", "moon_altitude", Kind::Number},
    {"moon_illumination", "moon_illumination", Kind::Number},
};

}  // namespace

std::span<const RecordColumn> RecordColumns() {
    return kColumns;
}

QByteArray RecordSelectList() {
    QByteArray list;
    for (const RecordColumn& c : kColumns) {
        if (!list.isEmpty()) list += ", ";
        list += c.column;
    }
    return list;
}

}  // namespace noxa
