#include "app/station.h"

#include "support/station_fixture.h"
#include "time/sun_moon.h"

#include <QTest>
#include <QUdpSocket>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace noxa {
namespace {

using ::testing::ElementsAre;

// Frames from the serial line (and socket 1, which shares its framing) reach the decoder only
// when they are reports of the station's own instrument.
class StationFramesTest : public test::StationTest {
protected:
    StationFramesTest() {
        station.Form().SetText(FormText::Esitio, "qelvoxxx");
        QObject::connect(&station.Feed(), &ObservationFeed::observed,
                         [this](const Observation& o) { seen.push_back(o); });
        QObject::connect(
            &station.Feed(), &ObservationFeed::linkStatus,
            [this](const LinkStatus& status) { silentSeconds = status.secondsSinceReport; });
    }

    void Feed(const std::string& bytes) { station.Framing().AppendAndParse(bytes); }

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

    std::vector<Observation> seen;
    // The silence the last tick counted.
    std::int32_t silentSeconds = -1;
};

TEST_F(StationFramesTest, NoiseAndOtherInstrumentsAreFramedButNotDecoded) {
    std::string noise = "{" + std::string(300, '3') + "}}";
    noise[100] = '.';
    for (int second = 0; second < 5; ++second) station.Tick();
    const std::string shownBefore = Text(FormText::Lmv);
    Feed(noise);
    station.Tick();
    EXPECT_EQ(silentSeconds, 1);  // still a sign of life
    Feed(Report("otherstn"));
    EXPECT_EQ(station.Framing().FramesCompleted(), 2u);
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(Text(FormText::Lmv), shownBefore);

    Feed(Report("qelvoxxx"));
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_EQ(Text(FormText::Lmv), "21.34");
}

TEST_F(StationFramesTest, AFrameEndsAtItsFirstZeroByte) {
    std::string report = Report("qelvoxxx", std::string("2\0"
                                                        "1.3",
                                                        5));
    Feed(report);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(Text(FormText::Lmv).find('\0'), std::string::npos);
    EXPECT_EQ(Text(FormText::Lmv), "2");
}

// Socket 1's reports take the same way, with their own source (the socket handlers' tests).
TEST_F(StationFramesTest, PublishesEachReportAsNumbersWithItsTimeAndSource) {
    Feed(Report("qelvoxxx"));
    const std::string datagram = Report("qelvoxxx", "20.5 ");
    station.ReceiveDatagram(
        QByteArrayView(datagram.data(), static_cast<qsizetype>(datagram.size())));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].source, ReportSource::Serial);
    EXPECT_EQ(seen[1].source, ReportSource::Broadcast);
    EXPECT_EQ(seen[0].time, clock.Now().toMSecsSinceEpoch());
    EXPECT_FLOAT_EQ(seen[0][ChannelId::C740].mag, 21.34f);
    EXPECT_FLOAT_EQ(seen[1][ChannelId::C740].mag, 20.5f);
    EXPECT_FLOAT_EQ(seen[0][ChannelId::C740].freq, 1234.5678f);
    EXPECT_FLOAT_EQ(seen[0][ChannelId::Green].freq, 1000.0f);
    EXPECT_FLOAT_EQ(seen[0][ChannelId::Blue].zeroPoint, 19.4f);
    EXPECT_FLOAT_EQ(seen[0].sensorTemperature, 10.25f);
    EXPECT_FLOAT_EQ(seen[0].skyTemperature, -15.3f);
    EXPECT_TRUE(seen[0].counted);
}

TEST_F(StationFramesTest, EachReportCarriesTheSunAndMoonAtTheConfiguredPlace) {
    // 33° 54' S, 70° 42' W, saved on the settings page.
    const std::pair<FormText, const char*> place[] = {
        {FormText::ELatGrad, "33"},   {FormText::ELatMin, "54"},  {FormText::Ens, "S"},
        {FormText::ELongHoras, "70"}, {FormText::ELongMin, "42"}, {FormText::Eeo, "W"}};
    for (const auto& [id, text] : place) station.Form().SetText(id, text);
    station.SaveSettings();
    Feed(Report("qelvoxxx"));
    ASSERT_EQ(seen.size(), 1u);
    const SunMoon expected = ComputeSunMoon(seen[0].time, -33.9f, -70.7f);
    EXPECT_NEAR(seen[0].sunAltitude, expected.sunAltitude, 1e-4);
    EXPECT_NEAR(seen[0].moonAltitude, expected.moonAltitude, 1e-4);
    EXPECT_NEAR(seen[0].moonIllumination, expected.moonIllumination, 1e-6);
}

// Datagrams from the broadcast listener, by the station's handler.
class StationDatagramTest : public test::StationTest {
protected:
    StationDatagramTest() {
        QObject::connect(&station.Feed(), &ObservationFeed::observed, [this](const Observation& o) {
            decoded.push_back(o[ChannelId::C740].mag);
        });
        lines = Log().size();
    }
    void Receive(const QByteArray& datagram) { station.ReceiveDatagram(datagram); }
    std::vector<std::string> NewLines() {
        return {Log().begin() + static_cast<std::ptrdiff_t>(lines), Log().end()};
    }
    static QByteArray Report(const char* name, const char* magnitude) {
        return QByteArray(R"({"name":")") + name + R"(","F1":{"freq":1,"mag":)" + magnitude +
               R"(,"zp":20},"F2":{"freq":2,"mag":20.9,"zp":20},"F3":{"freq":6,"mag":20.8,)"
               R"("zp":19.6},"F4":{"freq":4,"mag":21.5,"zp":19.4,"tamb":10,"tsky":-15}})";
    }

    std::vector<float> decoded;
    std::size_t lines = 0;
};

TEST_F(StationDatagramTest, DecodesOnlyDatagramsThatNameTheStation) {
    Receive(Report("qelvoxxx", "21.5"));
    Receive(Report("otherstn", "20.5"));
    Receive(Report("xqelvoxxxy", "19.5"));  // a substring test: a longer name also matches
    EXPECT_THAT(decoded, ElementsAre(21.5f, 19.5f));
    EXPECT_THAT(NewLines(), ElementsAre("Reports from station \"otherstn\" ignored: this station "
                                        "is \"qelvoxxx\""));
}

TEST_F(StationDatagramTest, SaysOnceAnHourWhichOtherStationsReportsAreIgnored) {
    for (int minute = 0; minute < 180; ++minute) {
        Receive(Report("roof0001", "20.5"));
        if (minute < 30) Receive(Report("dome0002", "20.5"));
        clock.Advance(60'000);
    }
    // dome0002, silent for over an hour, is said again.
    Receive(Report("dome0002", "20.5"));
    const std::string roof =
        "Reports from station \"roof0001\" ignored: this station is "
        "\"qelvoxxx\"";
    const std::string dome =
        "Reports from station \"dome0002\" ignored: this station is "
        "\"qelvoxxx\"";
    EXPECT_THAT(NewLines(), ElementsAre(roof, dome, dome));
    EXPECT_THAT(decoded, ElementsAre());
}

TEST_F(StationDatagramTest, LogsEveryDatagramWhenAskedTo) {
    station.Form().SetChecked(FormCheck::CBvermensaje, true);
    Receive("from otherstn");
    Receive(Report("qelvoxxx", "21.5"));
    EXPECT_THAT(NewLines(), ElementsAre("from otherstn", Report("qelvoxxx", "21.5").toStdString()));
}

TEST_F(StationDatagramTest, CutsADatagramAtItsFirstZeroByte) {
    station.Form().SetChecked(FormCheck::CBvermensaje, true);
    Receive(Report("qelvoxxx", "21.5") + QByteArray("\0tail", 5));
    Receive(QByteArray("\0qelvoxxx", 9));
    EXPECT_THAT(decoded, ElementsAre(21.5f));
    EXPECT_THAT(NewLines(), ElementsAre(Report("qelvoxxx", "21.5").toStdString(), ""));
}

TEST_F(StationDatagramTest, ReadsTheStationNameAtEveryDatagram) {
    station.Form().SetText(FormText::Esitio, "alpha");
    Receive(Report("alpha", "1"));
    Receive(Report("beta", "2"));
    station.Form().SetText(FormText::Esitio, "beta");
    Receive(Report("alpha", "3"));
    Receive(Report("beta", "4"));
    station.Form().SetText(FormText::Esitio, "");
    Receive(Report("alpha", "5"));
    EXPECT_THAT(decoded, ElementsAre(1.0f, 4.0f));
}

TEST_F(StationDatagramTest, TheListenersDatagramsReachTheHandler) {
    station.Connect();  // the IP port field reads 2255: the listener starts
    ASSERT_EQ(Log().back(), "22:00:05  Waiting NOXA-V4I broadcast on port 2255.");
    QUdpSocket sender;
    sender.writeDatagram(Report("qelvoxxx", "21.5"), QHostAddress::LocalHost, broadcastPort);
    EXPECT_TRUE(QTest::qWaitFor([&] { return decoded.size() == 1; }, 5000));
}

}  // namespace
}  // namespace noxa
