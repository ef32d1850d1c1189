#include "core/broadcast_decoder.h"

#include "core/day_tables.h"
#include "core/form_model.h"
#include "core/live_readings.h"
#include "core/station_locale.h"

#include <gtest/gtest.h>

#include <algorithm>
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

class DecoderTest : public ::testing::Test {
protected:
    FormModel form;
    LiveReadings readings;
    DayTables days;
    StationLocale locale = StationLocale::Fixed("%d/%m/%Y", "%H:%M:%S", ".");
    BroadcastDecoder decoder{form, readings, days, locale};

    const std::string& Text(FormText id) { return form.Text(id); }
};

TEST_F(DecoderTest, CutsEveryChannelAndTemperature) {
    decoder.DecodeBroadcast(Report());
    EXPECT_EQ(Text(FormText::Lmv), "21.34");
    EXPECT_EQ(Text(FormText::LHz), "1234.568");  // channel 1 is formatted
    EXPECT_EQ(Text(FormText::Lmv2), "20.90");
    EXPECT_EQ(Text(FormText::LHz2), "2000");  // channels 2 to 4 show what came
    EXPECT_EQ(Text(FormText::LmvR), "20.80");
    EXPECT_EQ(Text(FormText::LHzR), "600");
    EXPECT_EQ(Text(FormText::LmvB), "21.50");
    EXPECT_EQ(Text(FormText::LHzB), "400");
    EXPECT_EQ(Text(FormText::Ltsensor), "10.25");
    EXPECT_EQ(Text(FormText::Ltir), "-15.3");  // five characters
    EXPECT_FLOAT_EQ(readings.mv740, 21.34f);
    EXPECT_FLOAT_EQ(readings.ci1, 20.37f);
    EXPECT_FLOAT_EQ(readings.frec740, 1234.5678f);
    EXPECT_FLOAT_EQ(readings.ci2, 20.0f);
    EXPECT_FLOAT_EQ(readings.ci3, 19.6f);
    EXPECT_FLOAT_EQ(readings.ci4, 19.4f);
    EXPECT_FLOAT_EQ(readings.frecB, 400.0f);
    EXPECT_FLOAT_EQ(readings.tSens, 10.25f);
    EXPECT_FLOAT_EQ(readings.tIR, -15.3f);
    // Green: 2000 - 600 - 400 = 1000 Hz with channel 2's zero point 20.
    EXPECT_FLOAT_EQ(readings.frecG, 1000.0f);
    EXPECT_FLOAT_EQ(readings.mvG, 12.5f);
    EXPECT_EQ(Text(FormText::LmvG), "12.5");
    EXPECT_EQ(Text(FormText::LHzG), "1000");
}

TEST_F(DecoderTest, CountsEveryReportInBothSetsOfSums) {
    readings.rxTicks = 7;
    decoder.DecodeBroadcast(Report());
    decoder.DecodeBroadcast("garbage that names nothing");
    EXPECT_EQ(readings.chart.count, 2.0f);
    EXPECT_EQ(readings.chart.countTIR, 2.0f);
    EXPECT_EQ(readings.chart.countTSens, 2.0f);
    EXPECT_EQ(readings.record.count740, 2.0f);
    EXPECT_EQ(readings.record.countB, 2.0f);
    EXPECT_FLOAT_EQ(readings.chart.sumMv740, 21.34f);
    // The garbage report has no frequencies: green is 25 and it is summed like any value.
    EXPECT_FLOAT_EQ(readings.chart.sumMvG, 12.5f + 25.0f);
    EXPECT_FLOAT_EQ(readings.record.sumFrecG, 1000.0f);
    EXPECT_EQ(readings.rxTicks, 0);
    EXPECT_EQ(form.RxColour(), kIndicatorGray);
}

TEST_F(DecoderTest, GreenIsTwentyFiveWhenChannelTwoIsNotBrighter) {
    decoder.DecodeBroadcast(Report(R"("freq":1,"mag":21.34,"zp":20.37)",
                                   R"("freq":1000,"mag":20.90,"zp":20.00)",
                                   R"("freq":600,"mag":20.80,"zp":19.60)",
                                   R"("freq":400,"mag":21.50,"zp":19.40,"tamb":1,"tsky":2)"));
    EXPECT_EQ(Text(FormText::LmvG), "25");
    EXPECT_EQ(Text(FormText::LHzG), "0");
    EXPECT_EQ(readings.frecG, 0.0f);
    EXPECT_EQ(readings.record.sumMvG, 25.0f);
}

TEST_F(DecoderTest, MagnitudeBeforeFrequencyLeavesTheFrequencyEmpty) {
    decoder.DecodeBroadcast(
        Report(R"("freq":1,"mag":21.34,"zp":20.37)", R"("mag":20.90,"freq":1000,"zp":20.00)"));
    EXPECT_EQ(readings.frec640, 0.0f);
    EXPECT_EQ(Text(FormText::LHz2), "");
    EXPECT_EQ(Text(FormText::Lmv2), "20.90");
}

TEST_F(DecoderTest, ShortValuesCarryTheNextCharacter) {
    decoder.DecodeBroadcast(
        Report(R"("freq":1,"mag":9.87,"zp":20.37)", R"("freq":2000,"mag":20.90,"zp":20.00)",
               R"("freq":600,"mag":20.80,"zp":19.60)",
               R"("freq":400,"mag":21.50,"zp":19.40,"tamb":10.25,"tsky":-5.5,"x":1)"));
    EXPECT_EQ(Text(FormText::Lmv), "9.87,");
    EXPECT_FLOAT_EQ(readings.mv740, 9.87f);
    EXPECT_EQ(Text(FormText::Ltir), "-5.5,");
    EXPECT_FLOAT_EQ(readings.tIR, -5.5f);
}

TEST_F(DecoderTest, AStationNameHoldingF1GivesChannelOneFromThere) {
    decoder.DecodeBroadcast(
        R"({"name":"F1:{"freq":7,"mag":17.00,"zp":18.00","F1":{"freq":1,"mag":21.34,"zp":20.37},)"
        R"("F2":{"freq":2,"mag":20.90,"zp":20.00},"F3":{"freq":3,"mag":20.80,"zp":19.60},)"
        R"("F4":{"freq":4,"mag":21.50,"zp":19.40,"tamb":10.25,"tsky":-15.30}})");
    EXPECT_EQ(Text(FormText::Lmv), "17.00");
    EXPECT_FLOAT_EQ(readings.frec740, 7.0f);
    EXPECT_FLOAT_EQ(readings.ci1, 18.0f);
}

TEST_F(DecoderTest, SkyTemperatureBeforeF4IsReadFromChannelFourAtTheMissingKeyOffset) {
    const std::string report =
        R"({"name":"qelvoxxx","tsky":-9.99,"F1":{"freq":1,"mag":21.34,"zp":20.37},)"
        R"("F2":{"freq":2,"mag":20.90,"zp":20.00},"F3":{"freq":3,"mag":20.80,"zp":19.60},)"
        R"("F4":{"freq":4,"mag":21.50,"zp":19.40,"tamb":10.25}})";
    decoder.DecodeBroadcast(report);
    // Channel 4's text begins at "freq"; without "tsky" in it, the five characters start at
    // its sixth character.
    EXPECT_EQ(Text(FormText::Ltir), "\":4,\"");
    EXPECT_EQ(readings.tIR, 0.0f);
}

TEST_F(DecoderTest, MissingKeysAreCutFromTheStartOfTheSearchedText) {
    // No "F3": channel 3's text starts at the fifth character of the report.
    const std::string report =
        R"({"name":"qelvoxxx","F1":{"freq":1,"mag":21.34,"zp":20.37},)"
        R"("F2":{"freq":2,"mag":20.90,"zp":20.00},"F4":{"freq":4,"mag":21.50,"zp":19.40,"tamb":10.25,"tsky":-15.30}})";
    decoder.DecodeBroadcast(report);
    // Its "mag", "zp" and "freq" are then the first ones of the report, channel 1's,
    // except that the first comma comes before "freq".
    EXPECT_EQ(Text(FormText::LmvR), "21.34");
    EXPECT_FLOAT_EQ(readings.ci3, 20.37f);
    EXPECT_EQ(Text(FormText::LHzR), "");
    // A channel without "mag" shows the five characters from the fifth of its text.
    decoder.DecodeBroadcast(Report(R"("freq":1,"zp":20.37,"other":5)", R"("freq":2,"zp":20.00)",
                                   R"("freq":3,"zp":19.60)",
                                   R"("freq":4,"zp":19.40,"tamb":10.25,"tsky":-15.30)"));
    EXPECT_EQ(Text(FormText::LmvB), "q\":4,");
}

TEST_F(DecoderTest, AnEmptyFrequencyShowsZeroOnlyForChannelOne) {
    decoder.DecodeBroadcast(
        Report(R"("mag":21.34,"freq":1,"zp":20.37)", R"("mag":20.90,"freq":2,"zp":20.00)"));
    EXPECT_EQ(Text(FormText::LHz), "0");
    EXPECT_EQ(Text(FormText::LHz2), "");
}

TEST_F(DecoderTest, NeverReadsPastTheReport) {
    // Every prefix of a report, down to nothing: decoded without reading past its end
    // (AddressSanitizer checks the reads), and counted like any report.
    const std::string report = Report();
    for (std::size_t length = 0; length <= report.size(); ++length) {
        const std::string prefix = report.substr(0, length);
        decoder.DecodeBroadcast(prefix);
    }
    EXPECT_EQ(readings.chart.count, static_cast<float>(report.size() + 1));
}

TEST_F(DecoderTest, EstimatesComeFromTheNewestChartPoint) {
    // Before any chart point the newest slot holds zeros.
    decoder.DecodeBroadcast(Report());
    EXPECT_EQ(Text(FormText::Lnelm), "0");
    EXPECT_EQ(Text(FormText::LClouds), "100");

    days.Newest().meanMv740 = 18;
    days.Newest().meanTSens = 10;
    days.Newest().meanTIR = 12;
    decoder.DecodeBroadcast(Report());
    EXPECT_EQ(Text(FormText::Lnelm), "4");
    EXPECT_EQ(Text(FormText::LClouds), "106");  // the label is not clamped

    days.Newest().meanTIR = -20;
    decoder.DecodeBroadcast(Report());
    EXPECT_EQ(Text(FormText::LClouds), "10");
}

TEST_F(DecoderTest, AReportWithAValueThatIsNoNumberIsShownButLeftOutOfTheSums) {
    const std::string notANumber = Report(R"("freq":nan,"mag":21.34,"zp":20.37)");
    std::string beyondFloats = Report();
    beyondFloats.replace(beyondFloats.find("20.90"), 5, "1e99 ");
    std::string infinite = Report();
    infinite.replace(infinite.find("10.25"), 5, "inf  ");
    decoder.DecodeBroadcast(Report());
    for (const std::string& report : {notANumber, beyondFloats, infinite}) {
        decoder.DecodeBroadcast(report);
    }
    EXPECT_EQ(Text(FormText::Ltsensor), "inf  ");  // the labels show what came
    EXPECT_EQ(readings.chart.count, 1.0f);
    EXPECT_EQ(readings.record.count740, 1.0f);
    EXPECT_FLOAT_EQ(readings.record.sumMv640, 20.9f);
    EXPECT_FLOAT_EQ(readings.chart.sumTSens, 10.25f);
    EXPECT_EQ(readings.chart.countTSens, 1.0f);
    // Said once in a record interval, and again in the next one.
    const auto said = [&] {
        return std::count(form.LogLines().begin(), form.LogLines().end(),
                          "Report with values that are not numbers left out of the averages");
    };
    EXPECT_EQ(said(), 1);
    decoder.StartRecordInterval();
    decoder.DecodeBroadcast(notANumber);
    decoder.DecodeBroadcast(notANumber);
    EXPECT_EQ(said(), 2);
}

}  // namespace
}  // namespace noxa
