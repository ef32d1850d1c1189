#include "archive/fleet/station_board.h"
#include "archive/fleet/station_summary.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <thread>

namespace noxa {
namespace {

constexpr qint64 kNow = 1'800'000'000'000;
constexpr qint64 kStale = 900;

StationFacts Reporting(const char* state) {
    StationFacts f;
    f.id = "s";
    f.availability = "online";
    f.lastEnd = f.through = kNow - 60'000;
    f.records = 10;
    f.state = ParseState(state);
    return f;
}

TEST(StationSummaryTest, EachStationGetsItsMostUrgentCondition) {
    struct Case {
        const char* name;
        StationFacts facts;
        const char* condition;
    };
    std::vector<Case> cases{
        {"safe", Reporting(R"({"safe":true,"link_ok":true})"), "safe"},
        {"cloud", Reporting(R"({"safe":false,"unsafe_reason":"too cloudy"})"), "unsafe"},
        {"no verdict", Reporting("{}"), "unknown"},
        {"link lost", Reporting(R"({"safe":false,"link_ok":false})"), "instrument_silent"},
        {"backlog", Reporting("{}"), "backlog"},
        {"stale", Reporting(R"({"safe":true})"), "silent"},
        {"offline", Reporting(R"({"safe":true,"link_ok":false})"), "offline"},
        {"no records", Reporting("{}"), "no_records"},
    };
    cases[4].facts.through = kNow - 600'000;
    cases[5].facts.lastEnd = kNow - (kStale + 1) * 1000;
    cases[6].facts.availability = "offline";
    cases[7].facts.records = 0;
    cases[7].facts.lastEnd.reset();
    for (const Case& c : cases) {
        EXPECT_STREQ(ConditionKey(Summarize(c.facts, kNow, kStale).condition), c.condition)
            << c.name;
    }
}

TEST(StationSummaryTest, ReasonOnlyWhileTheVerdictHoldsAndNamesStayValidJson) {
    StationFacts cloudy = Reporting(R"({"safe":false,"unsafe_reason":"too cloudy"})");
    cloudy.name = QString("Roof \"A\"\t\u00c1vila\x01");
    StationFacts stale = cloudy;
    stale.id = "t";
    stale.lastEnd = kNow - 3600'000;
    const QJsonArray json =
        QJsonDocument::fromJson(StationsJson(SummarizeAll({cloudy, stale}, kNow, kStale))).array();
    ASSERT_EQ(json.size(), 2);
    EXPECT_EQ(json[0]["name"].toString(), *cloudy.name);
    EXPECT_EQ(json[0]["unsafe_reason"].toString(), "too cloudy");
    EXPECT_EQ(json[0]["link_ok"], QJsonValue::Null);
    EXPECT_EQ(json[1]["unsafe_reason"], QJsonValue::Null);
    EXPECT_EQ(json[1]["safe"], QJsonValue::Null);
}

ArchivedRecord Record(const char* station, qint64 end, double magV, const char* name) {
    ArchivedRecord r;
    r.station = station;
    r.end = end;
    r.name = name;
    r.measures[0] = magV;
    return r;
}

TEST(StationBoardTest, CommitsBringTheStationsUpToDateAndForgettingDropsOne) {
    StationBoard board;
    EXPECT_FALSE(board.Loaded());
    StationRow row;
    row.id = "a";
    row.records = 3;
    board.Load({row});
    board.SetLastNight("a", 21.5);
    board.Load({row});  // the database opened again: the median found stays

    ArchiveBatch batch;
    batch.records = {Record("a", 2000, 20.5, "A new"), Record("a", 1000, 19.0, "A old")};
    batch.reports = {{StationReport::Kind::State, "b", "a", R"({"safe":false,"link_ok":false})"},
                     {StationReport::Kind::Availability, "b", "", "online"}};
    CommitOutcome outcome;
    outcome.touched["a"] = {1000, 2000, 1000, 5};
    board.Apply(batch, outcome);
    std::vector<StationFacts> all = board.Copy();
    ASSERT_EQ(all.size(), 2u);
    // In order of their names, case aside: the new name moved "b" first.
    EXPECT_EQ(all[0].name, "a");
    EXPECT_EQ(all[0].availability, "online");
    EXPECT_EQ(all[0].state.linkOk, false);
    EXPECT_EQ(all[1].name, "A new");
    EXPECT_EQ(all[1].lastEnd, 2000);
    EXPECT_EQ(all[1].through, 1000);
    EXPECT_EQ(all[1].records, 5);
    EXPECT_EQ(all[1].lastRecordMagV, 20.5);
    EXPECT_EQ(all[1].lastNightMedian, 21.5);

    // A retained state cleared: nothing is known of it any more.
    batch = {};
    batch.reports = {{StationReport::Kind::State, "b", "", std::nullopt}};
    board.Apply(batch, {});
    board.Forget("a");
    all = board.Copy();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].state.linkOk, std::nullopt);
}

TEST(StationBoardTest, ReadersOnOtherThreadsSeeWholeStations) {
    StationBoard board;
    board.Load({});
    std::thread reader([&board] {
        for (int i = 0; i < 2000; ++i) {
            for (const StationFacts& f : board.Copy()) ASSERT_EQ(f.records, f.lastEnd.value_or(0));
        }
    });
    for (qint64 i = 1; i <= 2000; ++i) {
        CommitOutcome outcome;
        outcome.touched[QString::number(i % 7)] = {i, i, i, i};
        board.Apply({}, outcome);
    }
    reader.join();
}

}  // namespace
}  // namespace noxa
