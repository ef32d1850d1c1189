#include "core/broadcast_decoder.h"

#include "core/readings.h"

#include <gtest/gtest.h>

#include <string>

namespace noxa {
namespace {

// A report in the instrument's layout with the given channel texts.
std::string Report(
    const std::string& f1 = R"("freq":1234.5678,"mag":21.34,"zp":20.37)",
    const std::string& f2 = R"("freq":2000,"mag":20.90,"zp":20.00)",
    const std::string& f3 = R"("freq":600,"mag":20.80,"zp":19.60)",
    const std::string& f4 = R"("freq":400,"mag":21.50,"zp":19.40,"tamb":10.25,"tsky":-15.30)") {
    return R"({"name":"qelvoxxx","F1":{)" + f1 + R"(},"F2":{)" + f2 + R"(},"F3":{)" + f3 +
           R"(},"F4":{)" + f4 + "}}";
}

TEST(DecodeBroadcast, CutsEveryChannelAndTemperature) {
    const std::string report = Report();
    const DecodedReport decoded = DecodeBroadcast(report);
    const Observation& o = decoded.observation;
    EXPECT_FLOAT_EQ(o[ChannelId::C740].mag, 21.34f);
    EXPECT_FLOAT_EQ(o[ChannelId::C740].zeroPoint, 20.37f);
    EXPECT_FLOAT_EQ(o[ChannelId::C740].freq, 1234.5678f);
    EXPECT_FLOAT_EQ(o[ChannelId::C640].mag, 20.9f);
    EXPECT_FLOAT_EQ(o[ChannelId::C640].zeroPoint, 20.0f);
    EXPECT_FLOAT_EQ(o[ChannelId::C640].freq, 2000.0f);
    EXPECT_FLOAT_EQ(o[ChannelId::Red].mag, 20.8f);
    EXPECT_FLOAT_EQ(o[ChannelId::Red].zeroPoint, 19.6f);
    EXPECT_FLOAT_EQ(o[ChannelId::Red].freq, 600.0f);
    EXPECT_FLOAT_EQ(o[ChannelId::Blue].mag, 21.5f);
    EXPECT_FLOAT_EQ(o[ChannelId::Blue].zeroPoint, 19.4f);
    EXPECT_FLOAT_EQ(o[ChannelId::Blue].freq, 400.0f);
    EXPECT_FLOAT_EQ(o.sensorTemperature, 10.25f);
    EXPECT_FLOAT_EQ(o.skyTemperature, -15.3f);
    // Green: 2000 - 600 - 400 = 1000 Hz with channel 2's zero point 20.
    EXPECT_FLOAT_EQ(o[ChannelId::Green].freq, 1000.0f);
    EXPECT_FLOAT_EQ(o[ChannelId::Green].mag, 12.5f);
    EXPECT_TRUE(o.counted);

    const ReceivedTexts& received = decoded.received;
    EXPECT_EQ(received[ChannelId::C740].mag, "21.34");
    EXPECT_EQ(received[ChannelId::C640].mag, "20.90");
    EXPECT_EQ(received[ChannelId::C640].freq, "2000");
    EXPECT_EQ(received[ChannelId::Red].mag, "20.80");
    EXPECT_EQ(received[ChannelId::Red].freq, "600");
    EXPECT_EQ(received[ChannelId::Blue].mag, "21.50");
    EXPECT_EQ(received[ChannelId::Blue].freq, "400");
    EXPECT_EQ(received.sensorTemperature, "10.25");
    EXPECT_EQ(received.skyTemperature, "-15.3");  // five characters
}

TEST(DecodeBroadcast, GreenIsTwentyFiveWhenChannelTwoIsNotBrighter) {
    const Observation o = DecodeBroadcast(Report(R"("freq":1,"mag":21.34,"zp":20.37)",
                                                 R"("freq":1000,"mag":20.90,"zp":20.00)"))
                              .observation;
    EXPECT_EQ(o[ChannelId::Green].freq, 0.0f);
    EXPECT_EQ(o[ChannelId::Green].mag, 25.0f);
}

// Values are cut at fixed distances from the first place their key is found, wherever that is.
struct CutCase {
    const char* what;
    std::string report;
    Reading text;  // the reading whose text is looked at
    std::string_view expectedText;
    ReadingField value;
    float expectedValue;
};

std::string_view Received(const ReceivedTexts& received, Reading reading) {
    if (reading == Reading::SkyTemperature) return received.skyTemperature;
    const ReadingField field = Describe(reading).field;
    const ReceivedChannel& channel = received[field.channel];
    return field.member == &Channel::mag ? channel.mag : channel.freq;
}

TEST(DecodeBroadcast, CutsAtFixedDistancesFromTheKeys) {
    const std::string noF3 =
        R"({"name":"qelvoxxx","F1":{"freq":1,"mag":21.34,"zp":20.37},)"
        R"("F2":{"freq":2,"mag":20.90,"zp":20.00},)"
        R"("F4":{"freq":4,"mag":21.50,"zp":19.40,"tamb":10.25,"tsky":-15.30}})";
    const CutCase cases[] = {
        {"a short value carries the next character", Report(R"("freq":1,"mag":9.87,"zp":20.37)"),
         Reading::MagV, "9.87,", ReadingField{ChannelId::C740, &Channel::mag}, 9.87f},
        {"a short temperature too",
         Report(R"("freq":1,"mag":21.34,"zp":20.37)", R"("freq":2000,"mag":20.90,"zp":20.00)",
                R"("freq":600,"mag":20.80,"zp":19.60)",
                R"("freq":400,"mag":21.50,"zp":19.40,"tamb":10.25,"tsky":-5.5,"x":1)"),
         Reading::SkyTemperature, "-5.5,", ReadingField{.scalar = &Observation::skyTemperature},
         -5.5f},
        {"a station name holding F1 gives channel 1 from there",
         R"({"name":"F1:{"freq":7,"mag":17.00,"zp":18.00","F1":{"freq":1,"mag":21.34,"zp":20.37},)"
         R"("F2":{"freq":2,"mag":20.90,"zp":20.00},"F3":{"freq":3,"mag":20.80,"zp":19.60},)"
         R"("F4":{"freq":4,"mag":21.50,"zp":19.40,"tamb":10.25,"tsky":-15.30}})",
         Reading::MagV, "17.00", ReadingField{ChannelId::C740, &Channel::freq}, 7.0f},
        {"a magnitude before the frequency leaves the frequency empty",
         Report(R"("freq":1,"mag":21.34,"zp":20.37)", R"("mag":20.90,"freq":1000,"zp":20.00)"),
         Reading::Freq2, "", ReadingField{ChannelId::C640, &Channel::freq}, 0.0f},
        // Channel 4's text begins at "freq"; without "tsky" in it, the five characters start at
        // its sixth character.
        {"a sky temperature before F4 is cut at the missing key's offset",
         R"({"name":"qelvoxxx","tsky":-9.99,"F1":{"freq":1,"mag":21.34,"zp":20.37},)"
         R"("F2":{"freq":2,"mag":20.90,"zp":20.00},"F3":{"freq":3,"mag":20.80,"zp":19.60},)"
         R"("F4":{"freq":4,"mag":21.50,"zp":19.40,"tamb":10.25}})",
         Reading::SkyTemperature, "\":4,\"", ReadingField{.scalar = &Observation::skyTemperature},
         0.0f},
        // Without "F3", channel 3's text starts at the fifth character of the report: its "mag",
        // "zp" and "freq" are channel 1's, except that the first comma comes before "freq".
        {"a missing channel has channel 1's magnitude", noF3, Reading::MagR, "21.34",
         ReadingField{ChannelId::Red, &Channel::zeroPoint}, 20.37f},
        {"a missing channel has no frequency", noF3, Reading::Freq3, "",
         ReadingField{ChannelId::Red, &Channel::freq}, 0.0f},
        {"a channel without \"mag\" has the five characters from the fifth of its text",
         Report(R"("freq":1,"zp":20.37,"other":5)", R"("freq":2,"zp":20.00)",
                R"("freq":3,"zp":19.60)", R"("freq":4,"zp":19.40,"tamb":10.25,"tsky":-15.30)"),
         Reading::MagB, "q\":4,", ReadingField{ChannelId::Blue, &Channel::mag}, 0.0f},
    };
    for (const CutCase& c : cases) {
        SCOPED_TRACE(c.what);
        const DecodedReport decoded = DecodeBroadcast(c.report);
        EXPECT_EQ(Received(decoded.received, c.text), c.expectedText);
        EXPECT_FLOAT_EQ(c.value.Of(decoded.observation), c.expectedValue);
    }
}

TEST(DecodeBroadcast, NeverReadsPastTheReport) {
    // Every prefix of a report, down to nothing: decoded without reading past its end
    // (AddressSanitizer checks the reads), into numbers that count like any report's.
    const std::string report = Report();
    for (std::size_t length = 0; length <= report.size(); ++length) {
        const std::string prefix = report.substr(0, length);
        EXPECT_TRUE(DecodeBroadcast(prefix).observation.counted) << prefix;
    }
}

TEST(DecodeBroadcast, AReportWithAValueThatIsNoNumberIsNotCounted) {
    std::string beyondFloats = Report();
    beyondFloats.replace(beyondFloats.find("20.90"), 5, "1e99 ");
    std::string infinite = Report();
    infinite.replace(infinite.find("10.25"), 5, "inf  ");
    for (const std::string& report :
         {Report(R"("freq":nan,"mag":21.34,"zp":20.37)"), beyondFloats, infinite}) {
        const DecodedReport decoded = DecodeBroadcast(report);
        EXPECT_FALSE(decoded.observation.counted) << report;
    }
    EXPECT_EQ(DecodeBroadcast(infinite).received.sensorTemperature, "inf  ");
}

// The window and the files read a value that is no number as 0, as they always have; every
// other output is told that it is unknown.
TEST(DecodeBroadcast, SaysWhichValuesWereNoNumber) {
    const std::string f4 = R"("freq":400,"mag":21.50,"zp":19.40,"tamb":10.25,)";
    const std::string f1 = R"("freq":1234.5678,"mag":21.34,"zp":20.37)";
    const std::string f2 = R"("freq":2000,"mag":20.90,"zp":20.00)";
    const struct {
        std::string report;
        std::uint32_t unread;
    } cases[] = {
        {Report(f1, f2, R"("freq":600,"mag":20.80,"zp":19.60)", f4 + R"("tsky":null)"),
         Bit(Reading::SkyTemperature)},
        {Report(f1, f2, R"("freq":600,"mag":20.80,"zp":19.60)", f4 + R"("tsky":"cold")"),
         Bit(Reading::SkyTemperature)},
        {Report(f1, f2, R"("freq":600,"mag":20.80,"zp":19.60)", f4 + R"("t":1)"),
         Bit(Reading::SkyTemperature)},
        {Report(f1, f2, R"("freq":null,"mag":20.80,"zp":19.60)", f4 + R"("tsky":-5)"),
         Bit(Reading::Freq3) | Bit(Reading::FreqG) | Bit(Reading::MagG)},
        {Report(f1, f2, R"("freq":600,"mag":-.5e1,"zp":19.60)", f4 + R"("tsky":-.5)"), 0},
    };
    for (const auto& c : cases) {
        const DecodedReport decoded = DecodeBroadcast(c.report);
        EXPECT_EQ(decoded.unread, c.unread) << c.report;
        EXPECT_TRUE(decoded.observation.counted);
    }
    EXPECT_EQ(DecodeBroadcast(cases[0].report).observation.skyTemperature, 0.0f);
}

}  // namespace
}  // namespace noxa
