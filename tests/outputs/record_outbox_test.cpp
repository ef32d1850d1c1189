// The records' journal, JSON and log lines, without a broker.
#include "outputs/mqtt/record_outbox.h"
#include "outputs/mqtt/record_json.h"
#include "support/log_lines.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace noxa {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;

constexpr UtcMilliseconds kMinute = 60'000;
constexpr UtcMilliseconds kDay = 24 * 60 * kMinute;
const UtcMilliseconds kStart =
    QDateTime(QDate(2026, 12, 7), QTime(21, 0), Qt::UTC).toMSecsSinceEpoch();

class RecordOutboxTest : public ::testing::Test {
protected:
    std::unique_ptr<RecordOutbox> Outbox() {
        auto outbox = std::make_unique<RecordOutbox>(
            QFile::encodeName(dir.filePath("noxa-records.journal")).toStdString(), 7,
            [this] { return now; }, test::KeepIn(log),
            [this](std::vector<OutgoingRecord> records) {
                for (OutgoingRecord& record : records) sent.push_back(std::move(record));
            });
        outbox->Start();
        return outbox;
    }
    static void Add(RecordOutbox& outbox, UtcMilliseconds end) {
        IntervalRecord record;
        record.start = end - kMinute;
        record.end = end;
        outbox.Add(end, [&](std::optional<UtcMilliseconds> previousEnd) {
            return RecordJson(record, "Roof", SunMoon{}, previousEnd);
        });
    }
    // The ends sent, and the previous ends they carried (-1: null), since the last call.
    std::vector<std::pair<UtcMilliseconds, UtcMilliseconds>> TakeSent() {
        std::vector<std::pair<UtcMilliseconds, UtcMilliseconds>> chain;
        for (const OutgoingRecord& record : std::exchange(sent, {})) {
            const auto read = ReadRecordChain(record.payload);
            chain.emplace_back(read->end, read->previousEnd.value_or(-1));
        }
        return chain;
    }

    QTemporaryDir dir;
    UtcMilliseconds now = kStart;
    std::vector<std::string> log;
    std::vector<OutgoingRecord> sent;
};

TEST_F(RecordOutboxTest, ARestartSendsWhatTheJournalHeldAndIgnoresACutOffLine) {
    {
        auto outbox = Outbox();
        for (int i = 1; i <= 3; ++i) Add(*outbox, kStart + i * kMinute);
        EXPECT_THAT(log, ElementsAre("MQTT: 1 record waits for the broker"));
        outbox->Connected();
        EXPECT_EQ(TakeSent().size(), 3u);
        outbox->Acknowledged(kStart + kMinute);  // no archive known: done
    }
    QFile journal(dir.filePath("noxa-records.journal"));
    ASSERT_TRUE(journal.open(QIODevice::Append));
    journal.write("R {\"end\":\"2026-12");  // killed while writing
    journal.close();
    log.clear();

    auto outbox = Outbox();
    EXPECT_EQ(outbox->Held(), 2u);
    EXPECT_THAT(log, Contains(::testing::HasSubstr("a last line cut off was ignored")));
    outbox->Connected();
    Add(*outbox, kStart + 4 * kMinute);
    EXPECT_THAT(TakeSent(), ElementsAre(std::pair(kStart + 2 * kMinute, kStart + kMinute),
                                        std::pair(kStart + 3 * kMinute, kStart + 2 * kMinute),
                                        std::pair(kStart + 4 * kMinute, kStart + 3 * kMinute)));
}

TEST_F(RecordOutboxTest, RecordsOlderThanTheBacklogAreGivenUpWithOneLogLine) {
    auto outbox = Outbox();
    for (int i = 1; i <= 3; ++i) Add(*outbox, kStart + i * kMinute);
    now = kStart + 7 * kDay + 2 * kMinute + 1;
    outbox->Connected();
    EXPECT_THAT(log, Contains("MQTT: gave up 2 records older than 7 days that did not reach "
                              "every archive"));
    EXPECT_THAT(TakeSent(), ElementsAre(std::pair(kStart + 3 * kMinute, UtcMilliseconds(-1))));
    EXPECT_EQ(Outbox()->Held(), 1u);  // a restart holds the same
}

TEST_F(RecordOutboxTest, AnArchiveKnownBeforeARestartStillHoldsBackWhatItLacks) {
    {
        auto outbox = Outbox();
        outbox->Connected();
        outbox->Confirmation("a", R"({"through":null,"newest":null})");
        for (int i = 1; i <= 2; ++i) Add(*outbox, kStart + i * kMinute);
        for (int i = 1; i <= 2; ++i) outbox->Acknowledged(kStart + i * kMinute);
        outbox->Confirmation("a", R"({"through":"2026-12-07T21:01:00.000Z",)"
                                  R"("newest":"2026-12-07T21:01:00.000Z"})");
        EXPECT_EQ(outbox->Held(), 1u);
    }
    // No retained confirmation after the restart: the broker's acknowledgement is not enough.
    auto outbox = Outbox();
    outbox->Connected();
    TakeSent();
    outbox->Acknowledged(kStart + 2 * kMinute);
    EXPECT_EQ(outbox->Held(), 1u);
    outbox->Confirmation("a", R"({"through":"2026-12-07T21:02:00.000Z",)"
                              R"("newest":"2026-12-07T21:02:00.000Z"})");
    EXPECT_EQ(outbox->Held(), 0u);
}

TEST_F(RecordOutboxTest, AnUnreadableConfirmationIsOneLogLineAndIgnored) {
    auto outbox = Outbox();
    for (const char* payload : {"through", "{\"through\":5,\"newest\":null}", "[]"})
        outbox->Confirmation("a", payload);
    outbox->Confirmation("a", R"({"through":null,"newest":"2026-12-07T21:01:00.000Z"})");
    EXPECT_THAT(log, ElementsAre("MQTT: the confirmation of archive \"a\" cannot be read; ignored",
                                 "MQTT: the confirmation of archive \"a\" is readable again",
                                 "MQTT: archive \"a\" confirms records"));
}

TEST_F(RecordOutboxTest, AConfirmationBeyondTheNewestRecordSentIsIgnoredWithOneWarning) {
    auto outbox = Outbox();
    outbox->Connected();
    Add(*outbox, kStart + kMinute);
    TakeSent();
    outbox->Acknowledged(kStart + kMinute);  // no archive known yet: done
    Add(*outbox, kStart + 2 * kMinute);
    outbox->Acknowledged(kStart + 2 * kMinute);
    outbox->Confirmation("a", R"({"through":"2026-12-07T21:02:00.000Z",)"
                              R"("newest":"2026-12-07T21:02:00.000Z"})");
    log.clear();
    const QByteArray forged = R"({"through":"9999-12-31T23:59:59.999Z","newest":null})";
    outbox->Confirmation("a", forged);
    outbox->Confirmation("a", forged);
    EXPECT_THAT(log, ElementsAre(::testing::HasSubstr("beyond the newest one sent")));
    // The archive still lacks the next record: it is held after the broker's acknowledgement.
    Add(*outbox, kStart + 3 * kMinute);
    outbox->Acknowledged(kStart + 3 * kMinute);
    EXPECT_EQ(outbox->Held(), 1u);
}

TEST_F(RecordOutboxTest, AnArchiveNotTrustedNeitherHoldsNorReleasesRecords) {
    auto outbox = std::make_unique<RecordOutbox>(
        QFile::encodeName(dir.filePath("noxa-records.journal")).toStdString(), 7,
        [this] { return now; }, test::KeepIn(log), [](std::vector<OutgoingRecord>) {});
    outbox->TrustOnly({"lite"});
    outbox->Start();
    outbox->Connected();
    for (int i = 0; i < 2; ++i) outbox->Confirmation("ghost", R"({"through":null,"newest":null})");
    Add(*outbox, kStart + kMinute);
    outbox->Acknowledged(kStart + kMinute);
    EXPECT_EQ(outbox->Held(), 0u);  // "ghost" holds nothing back
    outbox->Confirmation("lite", R"({"through":null,"newest":null})");
    Add(*outbox, kStart + 2 * kMinute);
    outbox->Acknowledged(kStart + 2 * kMinute);
    outbox->Confirmation("ghost", R"({"through":"2026-12-07T21:02:00.000Z",)"
                                  R"("newest":"2026-12-07T21:02:00.000Z"})");
    EXPECT_EQ(outbox->Held(), 1u);  // nor releases what "lite" lacks
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& line) {
                                return line.find("\"ghost\" is not among") != std::string::npos;
                            }),
              1);
}

TEST(RecordJson, TheStationNameIsUtf8OrElseLatin1) {
    for (const auto& [bytes, name] : {std::pair("\xc3\x81vila", "Ávila"),
                                      std::pair("\xc1vila", "Ávila"), std::pair("Roof", "Roof")}) {
        const QJsonObject json =
            QJsonDocument::fromJson(RecordJson(IntervalRecord{}, bytes, {}, std::nullopt)).object();
        EXPECT_EQ(json["station"].toString(), QString::fromUtf8(name)) << bytes;
    }
}

TEST(RecordJson, EveryKeyIsThereAndWhatIsUnknownIsNull) {
    IntervalRecord record;
    record.start = kStart;
    record.end = kStart + kMinute;
    record.magV = 21.25;
    record.freqR = 0;
    record.reports = 3;
    record.skyTemperature = -12.5f;
    const QJsonObject json =
        QJsonDocument::fromJson(RecordJson(record, "Roof \xe9", {-30.5, 10, 0.25}, std::nullopt))
            .object();
    EXPECT_EQ(json.size(), 23);
    EXPECT_EQ(json["station"].toString(), QString::fromUtf8("Roof é"));
    EXPECT_EQ(json["end"].toString(), "2026-12-07T21:01:00.000Z");
    EXPECT_EQ(json["mag_v"].toDouble(), 21.25);
    EXPECT_EQ(json["sky_temperature"].toDouble(), -12.5);
    EXPECT_EQ(json["sun_altitude"].toDouble(), -30.5);
    for (const char* key : {"previous_end", "mag_r", "freq_r", "freq_b", "temperature"})
        EXPECT_TRUE(json[key].isNull()) << key;
}

}  // namespace
}  // namespace noxa
