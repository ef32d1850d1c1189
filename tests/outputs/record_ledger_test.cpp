// Which records are done, which are sent and sent again, without a broker.
#include "outputs/mqtt/record_ledger.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace noxa {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr UtcMilliseconds kMinute = 60'000;

// A ledger holding records that end at minutes `first` to `last`, each chained to the one
// before; the first record ever ends at minute 1.
RecordLedger Holding(int last, RecordLedger::Limits limits = {}, int first = 1) {
    RecordLedger ledger(limits);
    for (int minute = first; minute <= last; ++minute) {
        std::optional<UtcMilliseconds> previous;
        if (minute > 1) previous = (minute - 1) * kMinute;
        ledger.Add({minute * kMinute, previous, QByteArray::number(minute)});
    }
    return ledger;
}

std::vector<int> Minutes(const std::vector<DueRecord>& due) {
    std::vector<int> minutes;
    for (const DueRecord& record : due)
        minutes.push_back(int(record.end / kMinute) * (record.withoutPreviousEnd ? -1 : 1));
    return minutes;  // negative: sent with "previous_end" null
}

ArchiveConfirmation Confirmation(std::optional<int> through, std::optional<int> newest) {
    ArchiveConfirmation c;
    if (through) c.through = *through * kMinute;
    if (newest) c.newest = *newest * kMinute;
    return c;
}

void SendAndAcknowledge(RecordLedger& ledger) {
    ledger.Connected();
    for (const DueRecord& record : ledger.TakeDue()) ledger.Acknowledged(record.end);
}

TEST(RecordLedger, WithoutAnArchiveTheAcknowledgementIsEnough) {
    RecordLedger ledger = Holding(2);
    EXPECT_THAT(ledger.TakeDue(), IsEmpty());  // not connected
    SendAndAcknowledge(ledger);
    EXPECT_THAT(ledger.TakeDone(), ElementsAre(kMinute, 2 * kMinute));
    EXPECT_EQ(ledger.Held(), 0u);
    EXPECT_EQ(ledger.LastEnd(), 2 * kMinute);
}

TEST(RecordLedger, AKnownArchiveHoldsRecordsUntilItsThroughReachesThem) {
    RecordLedger ledger = Holding(3);
    ledger.Confirmed("a", Confirmation(std::nullopt, std::nullopt), 0);
    ledger.Confirmed("b", Confirmation(3, 3), 0);
    SendAndAcknowledge(ledger);
    EXPECT_THAT(ledger.TakeDone(), IsEmpty());
    ledger.Confirmed("a", Confirmation(2, 3), 0);
    EXPECT_THAT(ledger.TakeDone(), ElementsAre(kMinute, 2 * kMinute));
    ledger.Confirmed("a", std::nullopt, 0);  // the archive is gone
    EXPECT_THAT(ledger.TakeDone(), ElementsAre(3 * kMinute));
}

TEST(RecordLedger, AtMostAWindowIsUnacknowledgedAndAReconnectionSendsAllNotDone) {
    RecordLedger ledger = Holding(5, {.window = 2});
    ledger.Confirmed("a", Confirmation(std::nullopt, std::nullopt), 0);
    ledger.Connected();
    EXPECT_THAT(Minutes(ledger.TakeDue()), ElementsAre(1, 2));
    ledger.Acknowledged(kMinute);
    EXPECT_THAT(Minutes(ledger.TakeDue()), ElementsAre(3));
    ledger.Disconnected();
    ledger.Connected();
    EXPECT_THAT(Minutes(ledger.TakeDue()), ElementsAre(1, 2));
}

TEST(RecordLedger, AGapIsSentAgainAtMostOncePerPause) {
    RecordLedger ledger = Holding(5);
    ledger.Confirmed("a", Confirmation(1, 1), 0);
    SendAndAcknowledge(ledger);
    ledger.Confirmed("a", Confirmation(2, 5), 1000);
    EXPECT_THAT(Minutes(ledger.TakeDue()), ElementsAre(3, 4));
    for (const UtcMilliseconds end : {3 * kMinute, 4 * kMinute}) ledger.Acknowledged(end);
    ledger.Confirmed("a", Confirmation(2, 5), 30'999);
    EXPECT_THAT(ledger.TakeDue(), IsEmpty());
    ledger.Confirmed("a", Confirmation(2, 5), 31'000);
    EXPECT_THAT(Minutes(ledger.TakeDue()), ElementsAre(3, 4));
}

TEST(RecordLedger, AnArchiveThatCannotReachTheOldestRecordGetsItWithoutPreviousEnd) {
    struct Case {
        std::optional<int> through;
        std::vector<int> resent;
    };
    for (const Case& c : {Case{std::nullopt, {-3}}, Case{1, {-3}}, Case{2, {}}}) {
        RecordLedger ledger = Holding(4, {}, 3);  // the oldest held follows minute 2
        ledger.Confirmed("a", Confirmation(std::nullopt, std::nullopt), 0);
        SendAndAcknowledge(ledger);
        ledger.Confirmed("a", Confirmation(c.through, std::nullopt), 0);
        EXPECT_EQ(Minutes(ledger.TakeDue()), c.resent) << c.through.value_or(-1);
    }
}

TEST(RecordLedger, GivingUpSendsTheOldestKeptWithoutPreviousEnd) {
    RecordLedger ledger = Holding(4);
    EXPECT_THAT(ledger.GiveUpBefore(3 * kMinute), ElementsAre(kMinute, 2 * kMinute));
    ledger.Connected();
    EXPECT_THAT(Minutes(ledger.TakeDue()), ElementsAre(-3, 4));
}

}  // namespace
}  // namespace noxa
