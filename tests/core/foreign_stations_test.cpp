#include "core/foreign_stations.h"

#include <gtest/gtest.h>

#include <string>

namespace noxa {
namespace {

constexpr std::int64_t kMinute = 60'000;

std::string Report(const std::string& name) {
    return "{\"name\":\"" + name + "\",\"fw\":\"V4I-2.3\",\"seq\":1}";
}

TEST(ForeignStations, SaysEachNameOnceAndAgainAfterAnHourOfSilence) {
    ForeignStations foreign;
    const auto notice = foreign.Notice(Report("roof0001"), "qelvoxxx", 0);
    ASSERT_TRUE(notice);
    EXPECT_EQ(*notice, "Reports from station \"roof0001\" ignored: this station is \"qelvoxxx\"");
    // Reports every half hour keep it quiet; another name is said at once.
    EXPECT_FALSE(foreign.Notice(Report("roof0001"), "qelvoxxx", 30 * kMinute));
    EXPECT_FALSE(foreign.Notice(Report("roof0001"), "qelvoxxx", 60 * kMinute));
    EXPECT_TRUE(foreign.Notice(Report("dome0002"), "qelvoxxx", 60 * kMinute));
    EXPECT_FALSE(foreign.Notice(Report("roof0001"), "qelvoxxx", 119 * kMinute));
    // After an hour without a report of it, the name is said again.
    EXPECT_TRUE(foreign.Notice(Report("roof0001"), "qelvoxxx", 179 * kMinute));
}

TEST(ForeignStations, FindsOnlyAPlainName) {
    const struct {
        const char* report;
        const char* name;  // nullptr: none
    } cases[] = {
        {"{\"name\":\"roof0001\",\"seq\":1}", "roof0001"},
        {"{\"seq\":1, \"name\" : \"roof 1\"}", "roof 1"},
        {"{\"seq\":1}", nullptr},
        {"{\"name\":\"\"}", nullptr},
        {"{\"name\":\"roof", nullptr},
        {"{\"name\":42}", nullptr},
        {"{\"name\":\"a\\\"b\"}", nullptr},
        {"{\"name\":\"a\tb\"}", nullptr},
        {"{\"name\":\"12345678901234567890123456789012345678901\"}", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.report);
        const auto name = ReportName(c.report);
        if (c.name == nullptr) {
            EXPECT_FALSE(name);
        } else {
            ASSERT_TRUE(name);
            EXPECT_EQ(*name, c.name);
        }
    }
}

TEST(ForeignStations, AFloodOfNamesIsBounded) {
    ForeignStations foreign;
    std::size_t said = 0;
    for (int i = 0; i < 1000; ++i) {
        if (foreign.Notice(Report("n" + std::to_string(i)), "qelvoxxx", i)) ++said;
    }
    EXPECT_EQ(said, ForeignStations::kMaxNames);
    // Names quiet for an hour make room again.
    EXPECT_TRUE(foreign.Notice(Report("late"), "qelvoxxx", 61 * kMinute));
}

}  // namespace
}  // namespace noxa
