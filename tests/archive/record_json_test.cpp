#include "archive/record_json.h"
#include "archive/database_url.h"
#include "archive/incoming_message.h"

#include <gtest/gtest.h>

namespace noxa {
namespace {

const QByteArray kRecord =
    R"({"station":"Roof 1","start":"2026-12-07T21:00:00.000Z","end":"2026-12-07T21:01:00.000Z",)"
    R"("previous_end":null,"mag_v":21.5,"mag_v2":null,"mag_r":null,"mag_g":null,"mag_b":null,)"
    R"("freq_v":1.5,"freq_v2":null,"freq_r":null,"freq_g":null,"freq_b":null,)"
    R"("temperature":-2.5,"sky_temperature":null,"reports":3,"reports_r":0,"reports_g":0,)"
    R"("reports_b":0,"sun_altitude":-20.1,"moon_altitude":null,"moon_illumination":0.5})";

TEST(RecordJson, AStationsRecordReadsWithItsNulls) {
    std::string fault;
    const auto record = ParseRecord("roof", kRecord, fault);
    ASSERT_TRUE(record) << fault;
    EXPECT_EQ(record->name, "Roof 1");
    EXPECT_EQ(record->end - record->start, 60000);
    EXPECT_EQ(record->end, 1796677260000);
    EXPECT_FALSE(record->previousEnd);
    EXPECT_EQ(record->measures[0], 21.5);
    EXPECT_FALSE(record->measures[1]);
    EXPECT_EQ(record->reports[0], 3);
}

// Each change makes the record unreadable, with a fault that names what is wrong.
TEST(RecordJson, UnreadableRecordsSayWhy) {
    const std::vector<std::pair<QByteArray, std::string>> cases{
        {"\"start\":\"2026-12-07T21:00:00.000Z\"", "\"start\":\"yesterday\""},
        {"\"previous_end\":null", "\"previous_end\":\"2026-12-07T21:02:00.000Z\""},
        {"\"previous_end\":null,", ""},
        {"\"mag_v\":21.5", "\"mag_v\":\"21.5\""},
        {"\"reports\":3", "\"reports\":-3"},
        {"\"station\":\"Roof 1\"", "\"station\":7"},
        {"\"mag_v\":21.5", "\"mag_v\":[21.5]"},
        {"\"reports\":3", "\"reports\":{\"reports\":3}"},
    };
    for (const auto& [from, to] : cases) {
        std::string fault;
        QByteArray payload = kRecord;
        payload.replace(from, QByteArray::fromStdString(to));
        EXPECT_FALSE(ParseRecord("roof", payload, fault)) << payload.toStdString();
        EXPECT_FALSE(fault.empty());
    }
    for (const QByteArray& broken : {QByteArray("{\"station\":"), kRecord + "x", QByteArray("[{}]"),
                                     QByteArray(1 << 20, '[')}) {
        std::string fault;
        EXPECT_FALSE(ParseRecord("roof", broken, fault));
        EXPECT_EQ(fault, "not a JSON object");
    }
}

TEST(RecordJson, KeysInsideOtherValuesAreNotTheRecords) {
    QByteArray payload = kRecord;
    payload.insert(1, R"("extra":{"mag_v":"x","station":null,"reports":[-1]},)");
    std::string fault;
    const auto record = ParseRecord("roof", payload, fault);
    ASSERT_TRUE(record) << fault;
    EXPECT_EQ(record->measures[0], 21.5);
}

TEST(RecordJson, TopicsNameTheirStationAndKind) {
    using Kind = IncomingMessage::Kind;
    EXPECT_EQ(ClassifyTopic("noxa/roof/record", "noxa"), std::pair(Kind::Record, QString("roof")));
    EXPECT_EQ(ClassifyTopic("a/b/roof/state", "a/b"), std::pair(Kind::State, QString("roof")));
    for (const char* other : {"noxa/roof/archived/x", "noxa//record", "noxb/roof/record", "noxa"})
        EXPECT_FALSE(ClassifyTopic(other, "noxa")) << other;
}

TEST(DatabaseUrl, SqliteAndPostgresAndNothingElse) {
    QString problem;
    EXPECT_EQ(ParseDatabaseUrl("sqlite:a.db", "/srv", problem)->path, "/srv/a.db");
    const auto pg = ParseDatabaseUrl("postgresql://noxa@db:5433/archive", "", problem);
    ASSERT_TRUE(pg);
    EXPECT_EQ(pg->Shown(), "postgresql://noxa@db:5433/archive");
    for (const char* wrong : {"mysql://db/x", "postgresql://u:secret@db/x", "postgresql://db"})
        EXPECT_FALSE(ParseDatabaseUrl(wrong, "", problem)) << wrong;
}

}  // namespace
}  // namespace noxa
