#pragma once

#include "archive/archive_batch.h"

#include <QByteArray>

#include <cstdint>
#include <optional>

namespace noxa {

// A time in ms as the records write it: "2026-12-07T21:01:00.000Z".
QByteArray UtcText(std::int64_t ms);

// The retained confirmation: {"through": "<end>"|null, "newest": "<end>"|null}.
QByteArray ConfirmationJson(const StationChain& chain);

}  // namespace noxa
