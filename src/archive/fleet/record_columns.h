#pragma once

#include <QByteArray>

#include <span>

namespace noxa {

// The records table's columns, in the order of the record JSON's keys after "station".
struct RecordColumn {
    enum class Kind { Time, OptionalTime, Number, Count };
    const char* key;     // the record JSON's key
    const char* column;  // the records table's column
    Kind kind;
};

std::span<const RecordColumn> RecordColumns();

// "start_time, end_time, ...": the columns above for a SELECT, in their order.
QByteArray RecordSelectList();

}  // namespace noxa
