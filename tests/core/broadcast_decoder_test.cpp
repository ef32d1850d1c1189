#include "core/broadcast_decoder.h"

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
    EXPECT_FLOAT_EQ(o.magV, 21.34f);
    EXPECT_FLOAT_EQ(o.zeroPoint1, 20.37f);
    EXPECT_FLOAT_EQ(o.freq1, 1234.5678f);
    EXPECT_FLOAT_EQ(o.magV2, 20.9f);
    EXPECT_FLOAT_EQ(o.zeroPoint2, 20.0f);
    EXPECT_FLOAT_EQ(o.freq2, 2000.0f);
    EXPECT_FLOAT_EQ(o.magR, 20.8f);
    EXPECT_FLOAT_EQ(o.zeroPoint3, 19.6f);
    EXPECT_FLOAT_EQ(o.freq3, 600.0f);
    EXPECT_FLOAT_EQ(o.magB, 21.5f);
    EXPECT_FLOAT_EQ(o.zeroPoint4, 19.4f);
    EXPECT_FLOAT_EQ(o.freq4, 400.0f);
    EXPECT_FLOAT_EQ(o.sensorTemperature, 10.25f);
    EXPECT_FLOAT_EQ(o.skyTemperature, -15.3f);
    // Green: 2000 - 600 - 400 = 1000 Hz with channel 2's zero point 20.
    EXPECT_FLOAT_EQ(o.freqG, 1000.0f);
    EXPECT_FLOAT_EQ(o.magG, 12.5f);
    EXPECT_TRUE(o.counted);

    const ReceivedTexts& received = decoded.received;
    EXPECT_EQ(received.magnitude1, "21.34");
    EXPECT_EQ(received.magnitude2, "20.90");
    EXPECT_EQ(received.frequency2, "2000");
    EXPECT_EQ(received.magnitudeR, "20.80");
    EXPECT_EQ(received.frequencyR, "600");
    EXPECT_EQ(received.magnitudeB, "21.50");
    EXPECT_EQ(received.frequencyB, "400");
    EXPECT_EQ(received.sensorTemperature, "10.25");
    EXPECT_EQ(received.skyTemperature, "-15.3");  // five characters
}

TEST(DecodeBroadcast, GreenIsTwentyFiveWhenChannelTwoIsNotBrighter) {
    const Observation o = DecodeBroadcast(Report(R"("freq":1,"mag":21.34,"zp":20.37)",
                                                 R"("freq":1000,"mag":20.90,"zp":20.00)"))
                              .observation;
    EXPECT_EQ(o.freqG, 0.0f);
    EXPECT_EQ(o.magG, 25.0f);
}

// Values are cut at fixed distances from the first place their key is found, wherever that is.
struct CutCase {
    const char* what;
    std::string report;
    std::string_view ReceivedTexts::*text;
    std::string_view expectedText;
    float Observation::*value;
    float expectedValue;
};

TEST(DecodeBroadcast, CutsAtFixedDistancesFromTheKeys) {
    const std::string noF3 =
        R"({"name":"qelvoxxx","F1":{"freq":1,"mag":21.34,"zp":20.37},)"
        R"("F2":{"freq":2,"mag":20.90,"zp":20.00},)"
        R"("F4":{"freq":4,"mag":21.50,"zp":19.40,"tamb":10.25,"tsky":-15.30}})";
    const CutCase cases[] = {
        {"a short value carries the next character", Report(R"("freq":1,"mag":9.87,"zp":20.37)"),
         &ReceivedTexts::magnitude1, "9.87,", &Observation::magV, 9.87f},
        {"a short temperature too",
         Report(R"("freq":1,"mag":21.34,"zp":20.37)", R"("freq":2000,"mag":20.90,"zp":20.00)",
                R"("freq":600,"mag":20.80,"zp":19.60)",
                R"("freq":400,"mag":21.50,"zp":19.40,"tamb":10.25,"tsky":-5.5,"x":1)"),
         &ReceivedTexts::skyTemperature, "-5.5,", &Observation::skyTemperature, -5.5f},
        {"a station name holding F1 gives channel 1 from there",
         R"({"name":"F1:{"freq":7,"mag":17.00,"zp":18.00","F1":{"freq":1,"mag":21.34,"zp":20.37},)"
         R"("F2":{"freq":2,"mag":20.90,"zp":20.00},"F3":{"freq":3,"mag":20.80,"zp":19.60},)"
         R"("F4":{"freq":4,"mag":21.50,"zp":19.40,"tamb":10.25,"tsky":-15.30}})",
         &ReceivedTexts::magnitude1, "17.00", &Observation::freq1, 7.0f},
        {"a magnitude before the frequency leaves the frequency empty",
         Report(R"("freq":1,"mag":21.34,"zp":20.37)", R"("mag":20.90,"freq":1000,"zp":20.00)"),
         &ReceivedTexts::frequency2, "", &Observation::freq2, 0.0f},
        // Channel 4's text begins at "freq"; without "tsky" in it, the five characters start at
        // its sixth character.
        {"a sky temperature before F4 is cut at the missing key's offset",
         R"({"name":"qelvoxxx","tsky":-9.99,"F1":{"freq":1,"mag":21.34,"zp":20.37},)"
         R"("F2":{"freq":2,"mag":20.90,"zp":20.00},"F3":{"freq":3,"mag":20.80,"zp":19.60},)"
         R"("F4":{"freq":4,"mag":21.50,"zp":19.40,"tamb":10.25}})",
         &ReceivedTexts::skyTemperature, "\":4,\"", &Observation::skyTemperature, 0.0f},
        // Without "F3", channel 3's text starts at the fifth character of the report: its "mag",
        // "zp" and "freq" are channel 1's, except that the first comma comes before "freq".
        {"a missing channel has channel 1's magnitude", noF3, &ReceivedTexts::magnitudeR, "21.34",
         &Observation::zeroPoint3, 20.37f},
        {"a missing channel has no frequency", noF3, &ReceivedTexts::frequencyR, "",
         &Observation::freq3, 0.0f},
        {"a channel without \"mag\" has the five characters from the fifth of its text",
         Report(R"("freq":1,"zp":20.37,"other":5)", R"("freq":2,"zp":20.00)",
                R"("freq":3,"zp":19.60)", R"("freq":4,"zp":19.40,"tamb":10.25,"tsky":-15.30)"),
         &ReceivedTexts::magnitudeB, "q\":4,", &Observation::magB, 0.0f},
    };
    for (const CutCase& c : cases) {
        SCOPED_TRACE(c.what);
        const DecodedReport decoded = DecodeBroadcast(c.report);
        EXPECT_EQ(decoded.received.*c.text, c.expectedText);
        EXPECT_FLOAT_EQ(decoded.observation.*c.value, c.expectedValue);
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

}  // namespace
}  // namespace noxa
