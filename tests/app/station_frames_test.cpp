#include "app/station.h"

#include "support/station_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace noxa {
namespace {

// Frames from the serial line (and socket 1, which shares its framing) reach the decoder only
// when they are reports of the station's own instrument.
class StationFramesTest : public test::StationTest {
protected:
    StationFramesTest() { station.Form().SetText(FormText::Esitio, "qelvoxxx"); }

    void Feed(const std::string& bytes) { station.Serial().Parser().AppendAndParse(bytes); }

    static std::string Report(const std::string& name, const std::string& magnitude = "21.34") {
        // Padded to the length of the instrument's frames, which end only after 220 bytes.
        std::string report = R"({"name":")" + name + R"(","pad":")" + std::string(40, ' ') +
                             R"(","F1":{"freq":1234.5678,"mag":)" + magnitude +
                             R"(,"zp":20.37},"F2":{"freq":2000,"mag":20.90,)"
                             R"("zp":20.00},"F3":{"freq":600,"mag":20.80,"zp":19.60},)"
                             R"("F4":{"freq":400,"mag":21.50,"zp":19.40,"tamb":10.25,)"
                             R"("tsky":-15.30}})";
        return report;
    }
};

TEST_F(StationFramesTest, NoiseAndOtherInstrumentsAreFramedButNotDecoded) {
    std::string noise = "{" + std::string(300, '3') + "}}";
    noise[100] = '.';
    station.Readings().rxTicks = 9;
    const std::string shownBefore = Text(FormText::Lmv);
    Feed(noise);
    EXPECT_EQ(station.Readings().rxTicks, 0);  // still a sign of life
    Feed(Report("otherstn"));
    EXPECT_EQ(station.Serial().Parser().FramesCompleted(), 2u);
    EXPECT_EQ(station.Readings().chart.count, 0.0f);
    EXPECT_EQ(Text(FormText::Lmv), shownBefore);

    Feed(Report("qelvoxxx"));
    EXPECT_EQ(station.Readings().chart.count, 1.0f);
    EXPECT_EQ(Text(FormText::Lmv), "21.34");
}

TEST_F(StationFramesTest, AFrameEndsAtItsFirstZeroByte) {
    std::string report = Report("qelvoxxx", std::string("2\0"
                                                        "1.3",
                                                        5));
    Feed(report);
    ASSERT_EQ(station.Readings().chart.count, 1.0f);
    EXPECT_EQ(Text(FormText::Lmv).find('\0'), std::string::npos);
    EXPECT_EQ(Text(FormText::Lmv), "2");
}

TEST_F(StationFramesTest, PublishesEachReportAsNumbersWithItsTimeAndSource) {
    std::vector<Observation> seen;
    QObject::connect(&station.Feed(), &ObservationFeed::observed,
                     [&](const Observation& o) { seen.push_back(o); });
    Feed(Report("qelvoxxx"));
    const std::string datagram = Report("qelvoxxx", "20.5 ");
    station.Listener().IdUDPServer1UDPRead(
        QByteArrayView(datagram.data(), static_cast<qsizetype>(datagram.size())));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].source, ReportSource::Serial);
    EXPECT_EQ(seen[1].source, ReportSource::Broadcast);
    EXPECT_EQ(seen[0].time, clock.Now().toMSecsSinceEpoch());
    EXPECT_FLOAT_EQ(seen[0].magV, 21.34f);
    EXPECT_FLOAT_EQ(seen[1].magV, 20.5f);
    EXPECT_FLOAT_EQ(seen[0].freq1, 1234.5678f);
    EXPECT_FLOAT_EQ(seen[0].freqG, 1000.0f);
    EXPECT_FLOAT_EQ(seen[0].zeroPoint4, 19.4f);
    EXPECT_FLOAT_EQ(seen[0].sensorTemperature, 10.25f);
    EXPECT_FLOAT_EQ(seen[0].skyTemperature, -15.3f);
    EXPECT_TRUE(seen[0].counted);
}

}  // namespace
}  // namespace noxa
