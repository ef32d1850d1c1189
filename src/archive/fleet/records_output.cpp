#include "archive/fleet/records_output.h"

#include "archive/fleet/fleet_json.h"
#include "archive/fleet/record_columns.h"
#include "core/c_numbers.h"

#include <QDateTime>
#include <QSqlQuery>
#include <QTimeZone>
#include <QVariant>

namespace noxa {
namespace {

using Kind = RecordColumn::Kind;

// A column of the data file: its name, the record's key it shows and how.
struct DataFileColumn {
    enum class Format { Date, Time, Frequency, Magnitude, SensorTemperature, SkyTemperature };
    const char* name;
    const char* key;
    Format format;
};

using Format = DataFileColumn::Format;

constexpr DataFileColumn kDataFileColumns[] = {
    {"Date", "end", Format::Date},
    {"Time", "end", Format::Time},
    {"Frec-740", "freq_v", Format::Frequency},
    {"MV-740", "mag_v", Format::Magnitude},
    {"Frec-640", "freq_v2", Format::Frequency},
    {"MV-640", "mag_v2", Format::Magnitude},
    {"Frec-R", "freq_r", Format::Frequency},
    {"MV-R", "mag_r", Format::Magnitude},
    {"Frec-G", "freq_g", Format::Frequency},
    {"MV-G", "mag_g", Format::Magnitude},
    {"Frec-B", "freq_b", Format::Frequency},
    {"MV-B", "mag_b", Format::Magnitude},
    {"T-Sens", "temperature", Format::SensorTemperature},
    {"T-IR", "sky_temperature", Format::SkyTemperature},
};

int IndexOf(const char* key) {
    const auto columns = RecordColumns();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (qstrcmp(columns[i].key, key) == 0) return static_cast<int>(i);
    }
    qFatal("No record column %s", key);
}

// A value in the data file's way of showing it.
QByteArray DataFileText(const QVariant& value, Format format) {
    if (value.isNull()) return {};
    const double number = value.toDouble();
    switch (format) {
        case Format::Date:
        case Format::Time: {
            const QDateTime end =
                QDateTime::fromMSecsSinceEpoch(value.toLongLong(), QTimeZone::utc());
            return format == Format::Date ? end.toString(QStringLiteral("yyyy-MM-dd")).toLatin1()
                                          : end.toString(QStringLiteral("HH:mm:ss")).toLatin1();
        }
        case Format::Frequency:
            return QByteArray::fromStdString(CFormat(number > 50 ? "%07.1f" : "%06.3f", number));
        case Format::Magnitude:
        case Format::SkyTemperature:
            return QByteArray::fromStdString(CFormat("%05.2f", number));
        case Format::SensorTemperature:
            return QByteArray::fromStdString(CFormat("%04.1f", number));
    }
    return {};
}

}  // namespace

RecordsJsonWriter::RecordsJsonWriter(const QString& stationName)
    : station_("{\"station\":" + JsonString(stationName)) {
    out_ = "[";
}

void RecordsJsonWriter::Add(const QSqlQuery& row) {
    if (!first_) out_ += ',';
    first_ = false;
    out_ += station_;
    const auto columns = RecordColumns();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const QVariant value = row.value(static_cast<int>(i));
        out_ += ",\"";
        out_ += columns[i].key;
        out_ += "\":";
        if (value.isNull()) {
            out_ += "null";
        } else if (columns[i].kind == Kind::Number) {
            out_ += JsonNumber(value.toDouble());
        } else if (columns[i].kind == Kind::Count) {
            out_ += QByteArray::number(value.toLongLong());
        } else {
            out_ += '"' + IsoUtc(value.toLongLong()) + '"';
        }
    }
    out_ += '}';
}

void RecordsJsonWriter::Finish() {
    out_ += ']';
}

RecordsCsvWriter::RecordsCsvWriter() {
    out_ = DataFileColumnNames().join(',') + "\r\n";
}

void RecordsCsvWriter::Add(const QSqlQuery& row) {
    bool first = true;
    for (const DataFileColumn& column : kDataFileColumns) {
        if (!first) out_ += ',';
        first = false;
        out_ += DataFileText(row.value(IndexOf(column.key)), column.format);
    }
    out_ += "\r\n";
}

QList<QByteArray> DataFileColumnNames() {
    QList<QByteArray> names;
    for (const DataFileColumn& column : kDataFileColumns) names += column.name;
    return names;
}

}  // namespace noxa
