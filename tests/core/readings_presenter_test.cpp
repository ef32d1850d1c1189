#include "core/readings_presenter.h"

#include "core/broadcast_decoder.h"
#include "core/day_tables.h"
#include "core/form_model.h"
#include "core/station_locale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>

namespace noxa {
namespace {

class PresenterTest : public ::testing::Test {
protected:
    FormModel form;
    DayTables days;
    StationLocale locale = StationLocale::Fixed("%d/%m/%Y", "%H:%M:%S", ".");
    ReadingsPresenter presenter{form, days, locale};
    DecodedReport report;

    const std::string& Text(FormText id) { return form.Text(id); }
};

TEST_F(PresenterTest, ShowsTheInstrumentsTextsAsReceived) {
    report.received = {
        .channels =
            {{{"21.34", ""}, {"20.90", "2000"}, {"20.80", "600"}, {"", ""}, {"21.50", "400"}}},
        .skyTemperature = "-15.3",
        .sensorTemperature = "9.87,"};
    form.SetRxColour(kIndicatorRed);
    presenter.Present(report);
    const std::pair<FormText, std::string> shown[] = {
        {FormText::Lmv, "21.34"},  {FormText::Lmv2, "20.90"}, {FormText::LHz2, "2000"},
        {FormText::LmvR, "20.80"}, {FormText::LHzR, "600"},   {FormText::LmvB, "21.50"},
        {FormText::LHzB, "400"},   {FormText::Ltir, "-15.3"}, {FormText::Ltsensor, "9.87,"},
    };
    for (const auto& [label, text] : shown) EXPECT_EQ(Text(label), text) << ComponentName(label);
    EXPECT_EQ(form.RxColour(), kIndicatorGray);
}

TEST_F(PresenterTest, ShowsChannelOnesFrequencyAndTheGreenChannelRounded) {
    struct Case {
        float freq1, magG, freqG;
        const char *hz, *mvG, *hzG;
    };
    // An empty frequency is 0 for channel 1, where the received text shows nothing.
    for (const Case& c : {Case{1234.5678f, 12.5f, 1000.0f, "1234.568", "12.5", "1000"},
                          Case{0.0f, 25.0f, 0.0f, "0", "25", "0"}}) {
        report.observation[ChannelId::C740].freq = c.freq1;
        report.observation[ChannelId::Green].mag = c.magG;
        report.observation[ChannelId::Green].freq = c.freqG;
        presenter.Present(report);
        EXPECT_EQ(Text(FormText::LHz), c.hz);
        EXPECT_EQ(Text(FormText::LmvG), c.mvG);
        EXPECT_EQ(Text(FormText::LHzG), c.hzG);
    }
}

TEST_F(PresenterTest, EstimatesComeFromTheNewestChartPoint) {
    // Before any chart point the newest slot holds zeros.
    presenter.Present(report);
    EXPECT_EQ(Text(FormText::Lnelm), "0");
    EXPECT_EQ(Text(FormText::LClouds), "100");

    days.Newest().meanMv740 = 18;
    days.Newest().meanTSens = 10;
    days.Newest().meanTIR = 12;
    const ShownEstimates& shown = presenter.Present(report);
    EXPECT_EQ(Text(FormText::Lnelm), "4");
    EXPECT_EQ(Text(FormText::LClouds), "106");  // the label is not clamped
    EXPECT_FLOAT_EQ(shown.cloudIndex, 106.0f);

    days.Newest().meanTIR = -20;
    presenter.Present(report);
    EXPECT_EQ(Text(FormText::LClouds), "10");
}

TEST_F(PresenterTest, AReportLeftOutOfTheSumsIsSaidOnceARecordInterval) {
    const auto said = [&] {
        return std::count(form.LogLines().begin(), form.LogLines().end(),
                          "Report with values that are not numbers left out of the averages");
    };
    presenter.Present(report);
    EXPECT_EQ(said(), 0);
    report.observation.counted = false;
    presenter.Present(report);
    presenter.Present(report);
    EXPECT_EQ(said(), 1);
    presenter.StartRecordInterval();
    presenter.Present(report);
    presenter.Present(report);
    EXPECT_EQ(said(), 2);
}

}  // namespace
}  // namespace noxa
