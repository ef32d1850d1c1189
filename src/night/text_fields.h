#pragma once

// The small pieces of reading the station's text files back: lines, fields, numbers, times.

#include "core/observation.h"

#include <QByteArray>

#include <string_view>

namespace noxa {

// `text` without the spaces and tabs around it (and a line's CR).
std::string_view Trimmed(std::string_view text);

// A plain decimal ("-12.34", "1e3" too), the whole text, finite. Decimal commas are not read.
bool ParseFloat(std::string_view text, float& value);

// The skyglow format's word for a value that was not measured, "unknown", in any case.
bool IsUnknownValue(std::string_view text);

// "YYYY-MM-DDTHH:mm:ss[.fff…]", the whole text, as milliseconds from the epoch read as UTC.
bool ParseIsoTime(std::string_view text, UtcMilliseconds& ms);

// Visits each line of `bytes` without its line end; a UTF-8 byte-order mark is skipped.
template <typename Visit>
void ForEachLine(const QByteArray& bytes, Visit visit) {
    std::string_view text(bytes.constData(), size_t(bytes.size()));
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        visit(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
}

// How many line ends `bytes` has.
size_t CountLineEnds(const QByteArray& bytes);

// Splits `line` at `separator` into at most `capacity` fields (any further ones are left out);
// returns how many.
template <typename Field>
size_t SplitFields(std::string_view line, char separator, Field* fields, size_t capacity) {
    size_t count = 0;
    while (count < capacity) {
        const size_t end = line.find(separator);
        fields[count++] = line.substr(0, end);
        if (end == std::string_view::npos) break;
        line.remove_prefix(end + 1);
    }
    return count;
}

}  // namespace noxa
