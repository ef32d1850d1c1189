#include "archive/fleet/station_summary.h"

#include "archive/fleet/fleet_json.h"

namespace noxa {
namespace {

Condition ConditionOf(const StationSummary& s) {
    if (s.availability == QLatin1String("offline")) return Condition::Offline;
    if (s.linkOk == false) return Condition::InstrumentSilent;
    if (s.records == 0) return Condition::NoRecords;
    if (s.stale) return Condition::Silent;
    if (s.through && s.lastEnd && *s.through < *s.lastEnd) return Condition::Backlog;
    if (!s.safe) return Condition::Unknown;
    return *s.safe ? Condition::Safe : Condition::Unsafe;
}

// Writes a JSON object's members one after the other straight into `out`.
class JsonObjectText {
public:
    explicit JsonObjectText(QByteArray& out) : out_(out) { out_ += '{'; }
    ~JsonObjectText() { out_ += '}'; }
    JsonObjectText(const JsonObjectText&) = delete;
    JsonObjectText& operator=(const JsonObjectText&) = delete;

    void Raw(const char* key, const char* json) { Key(key) += json; }
    // A word that needs no escape.
    void Word(const char* key, const char* word) {
        Key(key) += '"';
        out_ += word;
        out_ += '"';
    }
    void Text(const char* key, const QString& text) { AppendJsonString(Key(key), text); }
    void Text(const char* key, const std::optional<QString>& text) {
        text ? Text(key, *text) : Raw(key, "null");
    }
    void Number(const char* key, const std::optional<double>& value) {
        value ? AppendJsonNumber(Key(key), *value) : Raw(key, "null");
    }
    void Bool(const char* key, const std::optional<bool>& value) {
        Raw(key, value ? (*value ? "true" : "false") : "null");
    }
    void Time(const char* key, const std::optional<qint64>& ms) {
        if (!ms) return Raw(key, "null");
        Key(key) += '"' + IsoUtc(*ms) + '"';
    }

private:
    QByteArray& Key(const char* key) {
        if (!first_) out_ += ',';
        first_ = false;
        out_ += '"';
        out_ += key;
        out_ += "\":";
        return out_;
    }
    QByteArray& out_;
    bool first_ = true;
};

void AppendStation(QByteArray& out, const StationSummary& s) {
    JsonObjectText o(out);
    o.Text("station", s.id);
    o.Text("name", s.name);
    o.Text("availability", s.availability);
    o.Time("last_end", s.lastEnd);
    o.Number("age_seconds", s.ageSeconds);
    o.Bool("safe", s.safe);
    o.Number("mag_v", s.magV);
    o.Number("last_night_median", s.lastNightMedian);
    o.Number("records", static_cast<double>(s.records));
    o.Bool("stale", s.stale);
    o.Word("condition", ConditionKey(s.condition));
    o.Text("unsafe_reason", s.unsafeReason);
    o.Bool("link_ok", s.linkOk);
    o.Time("through", s.through);
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

std::vector<StationSummary> SummarizeAll(const std::vector<StationFacts>& stations, qint64 now,
                                         qint64 staleSeconds) {
    std::vector<StationSummary> out;
    out.reserve(stations.size());
    for (const StationFacts& facts : stations) out.push_back(Summarize(facts, now, staleSeconds));
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
