#pragma once

#include "archive/archived_record.h"

#include <QByteArray>

#include <optional>
#include <string>

namespace noxa {

// The record a station published on its record topic; nothing when the payload is unreadable,
// with `fault` saying what is wrong in words that are the same for every such payload.
std::optional<ArchivedRecord> ParseRecord(const QString& station, const QByteArray& payload,
                                          std::string& fault);

// The display name a state's JSON carries ("station"); empty when it has none.
QString NameOfState(const QByteArray& payload);

}  // namespace noxa
