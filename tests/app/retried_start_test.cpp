#include "app/retried_start.h"

#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace noxa {
namespace {

TEST(RetriedStart, TriesUntilItStartsSayingEachFailureOnce) {
    std::vector<std::string> reasons = {"port in use", "port in use", "address not up"};
    std::vector<std::string> log;
    int tries = 0;
    RetriedStart start(
        [&]() -> std::optional<std::string> {
            if (tries == static_cast<int>(reasons.size())) return std::nullopt;
            return reasons[tries++];
        },
        [&](const std::string& line) { log.push_back(line); }, 10);
    start.Start();
    EXPECT_FALSE(start.Started());
    EXPECT_TRUE(QTest::qWaitFor([&] { return start.Started(); }, 5000));
    EXPECT_EQ(log, (std::vector<std::string>{"port in use; trying again",
                                             "address not up; trying again"}));
}

}  // namespace
}  // namespace noxa
