#pragma once

#include "archive/fleet/archive_reader.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace noxa {

// What a station's newest state says, read once when it arrives. Unknown values are empty.
struct StationState {
    std::optional<bool> safe;
    std::optional<QString> unsafeReason;  // why the sky is unsafe, as the station words it
    std::optional<double> magV;
    std::optional<bool> linkOk;  // the station hears its instrument
};

// The state JSON a station published; empty for none or for what is not a JSON object.
StationState ParseState(const QByteArray& json);

// What the archive holds of a station: its row of the stations table, its state read, and
// last night's median once it is known.
struct StationFacts {
    QString id;
    std::optional<QString> name;
    std::optional<qint64> lastEnd;  // ms UTC
    std::optional<qint64> through;  // how far its records are stored without a gap
    qint64 records = 0;
    std::optional<double> lastRecordMagV;
    std::optional<QString> availability;
    StationState state;
    std::optional<double> lastNightMedian;
};

StationFacts FactsOf(const StationRow& row);

}  // namespace noxa
