#include "archive/confirmation.h"

#include <QDateTime>
#include <QTimeZone>

namespace noxa {
namespace {

QByteArray OptionalTime(const std::optional<std::int64_t>& ms) {
    return ms ? '"' + UtcText(*ms) + '"' : QByteArray("null");
}

}  // namespace

QByteArray UtcText(std::int64_t ms) {
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs).toUtf8();
}

QByteArray ConfirmationJson(const StationChain& chain) {
    return "{\"through\":" + OptionalTime(chain.through) +
           ",\"newest\":" + OptionalTime(chain.newest) + "}";
}

}  // namespace noxa
