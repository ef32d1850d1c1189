#include "outputs/common/retried_start.h"
#include "support/log_lines.h"

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
        test::KeepIn(log), 10);
    start.Start();
    EXPECT_FALSE(start.Started());
    EXPECT_TRUE(QTest::qWaitFor([&] { return start.Started(); }, 5000));
    EXPECT_EQ(log, (std::vector<std::string>{"port in use; trying again",
                                             "address not up; trying again"}));
}

}  // namespace
}  // namespace noxa
