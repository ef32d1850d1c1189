#include "archive/fleet/station_facts.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace noxa {
namespace {

// The longest reason shown: a station's own words, never a whole message.
constexpr qsizetype kMostReasonChars = 200;

}  // namespace

StationState ParseState(const QByteArray& json) {
    StationState state;
    const QJsonObject object = QJsonDocument::fromJson(json).object();
    const QJsonValue safe = object.value(QLatin1String("safe"));
    if (safe.isBool()) state.safe = safe.toBool();
    const QJsonValue reason = object.value(QLatin1String("unsafe_reason"));
    if (reason.isString() && !reason.toString().isEmpty())
        state.unsafeReason = reason.toString().left(kMostReasonChars);
    const QJsonValue magV = object.value(QLatin1String("mag_v"));
    if (magV.isDouble()) state.magV = magV.toDouble();
    const QJsonValue link = object.value(QLatin1String("link_ok"));
    if (link.isBool()) state.linkOk = link.toBool();
    return state;
}

StationFacts FactsOf(const StationRow& row) {
    StationFacts facts;
    facts.id = row.id;
    facts.name = row.name;
    facts.lastEnd = row.lastEnd;
    facts.through = row.through;
    facts.records = row.records;
    facts.lastRecordMagV = row.lastRecordMagV;
    facts.availability = row.availability;
    facts.state = ParseState(row.state);
    return facts;
}

}  // namespace noxa
