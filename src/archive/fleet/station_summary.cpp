#include "archive/fleet/station_summary.h"

#include "archive/fleet/fleet_json.h"

#include <algorithm>

namespace noxa {
namespace {

QString SortName(const StationSummary& s) {
    return s.name.value_or(s.id);
}

Condition ConditionOf(const StationSummary& s) {
    if (s.availability == QLatin1String("offline")) return Condition::Offline;
    if (s.linkOk == false) return Condition::InstrumentSilent;
    if (s.records == 0) return Condition::NoRecords;
    if (s.stale) return Condition::Silent;
    if (s.through && s.lastEnd && *s.through < *s.lastEnd) return Condition::Backlog;
    if (!s.safe) return Condition::Unknown;
    return *s.safe ? Condition::Safe : Condition::Unsafe;
}

// Writes the JSON object's members one after the other, each value already JSON.
class JsonObjectText {
public:
    explicit JsonObjectText(QByteArray& out) : out_(out) { out_ += '{'; }
    ~JsonObjectText() { out_ += '}'; }
    void Add(const char* key, const QByteArray& json) {
        if (!first_) out_ += ',';
        first_ = false;
        out_ += '"';
        out_ += key;
        out_ += "\":";
        out_ += json;
    }
    template <typename T, typename Text>
    void Add(const char* key, const std::optional<T>& value, Text text) {
        Add(key, value ? text(*value) : QByteArray("null"));
    }

private:
    QByteArray& out_;
    bool first_ = true;
};

QByteArray Bool(bool value) {
    return value ? "true" : "false";
}

QByteArray Time(qint64 ms) {
    return '"' + IsoUtc(ms) + '"';
}

void AppendStation(QByteArray& out, const StationSummary& s) {
    JsonObjectText o(out);
    o.Add("station", JsonString(s.id));
    o.Add("name", s.name, JsonString);
    o.Add("availability", s.availability, JsonString);
    o.Add("last_end", s.lastEnd, Time);
    o.Add("age_seconds", s.ageSeconds, JsonNumber);
    o.Add("safe", s.safe, Bool);
    o.Add("mag_v", s.magV, JsonNumber);
    o.Add("last_night_median", s.lastNightMedian, JsonNumber);
    o.Add("records", QByteArray::number(s.records));
    o.Add("stale", Bool(s.stale));
    o.Add("condition", '"' + QByteArray(ConditionKey(s.condition)) + '"');
    o.Add("unsafe_reason", s.unsafeReason, JsonString);
    o.Add("link_ok", s.linkOk, Bool);
    o.Add("through", s.through, Time);
}

}  // namespace

const char* ConditionKey(Condition condition) {
    switch (condition) {
        case Condition::Offline:
            return "offline";
        case Condition::InstrumentSilent:
            return "instrument_silent";
        case Condition::Silent:
            return "silent";
        case Condition::Backlog:
            return "backlog";
        case Condition::NoRecords:
            return "no_records";
        case Condition::Unsafe:
            return "unsafe";
        case Condition::Unknown:
            return "unknown";
        case Condition::Safe:
            return "safe";
    }
    return "unknown";
}

StationSummary Summarize(const StationFacts& facts, qint64 now, qint64 staleSeconds) {
    StationSummary s;
    s.id = facts.id;
    s.name = facts.name;
    s.availability = facts.availability;
    s.lastEnd = facts.lastEnd;
    s.through = facts.through;
    s.records = facts.records;
    s.lastNightMedian = facts.lastNightMedian;
    if (facts.lastEnd) {
        s.ageSeconds = static_cast<double>(now - *facts.lastEnd) / 1000.0;
        s.stale = *s.ageSeconds > static_cast<double>(staleSeconds);
    }
    const bool offline = facts.availability == QLatin1String("offline");
    // The link is told at once when it changes, so the newest state's word on it holds while
    // the station runs, records or not.
    if (!offline) s.linkOk = facts.state.linkOk;
    // A station silent past its limit or gone offline says nothing about the sky now: its
    // last verdict and brightness are unknown, not repeated.
    if (!s.stale && !offline) {
        s.safe = facts.state.safe;
        if (s.safe == false) s.unsafeReason = facts.state.unsafeReason;
        s.magV = facts.state.magV ? facts.state.magV : facts.lastRecordMagV;
    }
    s.condition = ConditionOf(s);
    return s;
}

std::vector<StationSummary> SummarizeByName(const std::vector<StationFacts>& stations, qint64 now,
                                            qint64 staleSeconds) {
    std::vector<StationSummary> out;
    out.reserve(stations.size());
    for (const StationFacts& facts : stations) out.push_back(Summarize(facts, now, staleSeconds));
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) {
        const int byName = SortName(a).compare(SortName(b), Qt::CaseInsensitive);
        return byName != 0 ? byName < 0 : a.id < b.id;
    });
    return out;
}

QByteArray StationsJson(const std::vector<StationSummary>& stations) {
    QByteArray out;
    out.reserve(static_cast<qsizetype>(stations.size()) * 400);
    out += '[';
    for (const StationSummary& s : stations) {
        if (out.size() > 1) out += ',';
        AppendStation(out, s);
    }
    out += ']';
    return out;
}

}  // namespace noxa
