#pragma once

#include <QSqlDriver>
#include <QSqlField>
#include <QString>

#include <charconv>
#include <cstdint>
#include <optional>
#include <string>

namespace noxa {

// Values written into a statement's text in a form both engines read back exactly: integers as
// they are, finite doubles as their shortest round-trip form, unknown as NULL.
inline void AppendSqlNumber(std::string& sql, std::int64_t value) {
    char text[24];
    sql.append(text, std::to_chars(text, text + sizeof text, value).ptr);
}

inline void AppendSqlNumber(std::string& sql, double value) {
    char text[32];
    sql.append(text, std::to_chars(text, text + sizeof text, value).ptr);
}

template <typename Number>
void AppendSqlNumber(std::string& sql, const std::optional<Number>& value) {
    if (value) {
        AppendSqlNumber(sql, *value);
    } else {
        sql += "NULL";
    }
}

// `text` as a string literal, quoted by the connection's own driver for its engine; the NUL
// character, which neither engine keeps, is left out.
inline std::string SqlTextLiteral(const QSqlDriver& driver, QString text) {
    QSqlField field(QString(), QMetaType::fromType<QString>());
    field.setValue(text.remove(QChar(0)));
    return driver.formatValue(field).toStdString();
}

}  // namespace noxa
