#include "app/station.h"

#include "support/comma_locale.h"
#include "support/station_fixture.h"
#include "support/temp_dir.h"
#include "time/station_clock.h"

#include <QDir>
#include <QFile>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace noxa {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class SaveSettingsTest : public test::StationTest {
protected:
    std::string Path() const { return dir.Path().toStdString() + "/Noxa.cfg"; }
};

TEST_F(SaveSettingsTest, WritesReadsBackAndReconnects) {
    station.Form().AppendLog(LogLevel::Info, "an earlier line");
    station.Form().SetText(FormText::EPuerto, "0");
    station.SaveSettings();
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(QFile(QString::fromStdString(Path())).size(), 400);
    // The broadcast listener started again.
    EXPECT_THAT(Log(), ElementsAre("Read config file: " + Path(),
                                   "22:00:05  Waiting NOXA-V4I broadcast on port 2255."));
}

TEST_F(SaveSettingsTest, TheSerialPortNumberTakesEffectOnlyWhenReadBack) {
    station.Form().SetText(FormText::EPuerto, "3");
    EXPECT_EQ(station.Config().serialPortNumber, 0);
    station.SaveSettings();
    EXPECT_EQ(station.Config().serialPortNumber, 3);
}

TEST_F(SaveSettingsTest, AConversionErrorIsShownAndNothingIsWrittenOrRead) {
    station.Form().AppendLog(LogLevel::Info, "kept");
    station.Form().SetText(FormText::ELatGrad, "forty");
    station.SaveSettings();
    EXPECT_THAT(errors, ElementsAre("'forty' is not a valid floating point value"));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Path())));
    EXPECT_THAT(Log(), ElementsAre("Log", "kept"));
}

TEST_F(SaveSettingsTest, AFailedWriteIsSaidAfterTheReadBack) {
    ASSERT_TRUE(QDir(dir.Path()).mkdir("Noxa.cfg"));  // a folder where the file should go
    station.SaveSettings();
    ASSERT_GE(Log().size(), 3u);
    EXPECT_THAT(Log()[0], testing::StartsWith("Config file " + Path() + " cannot be read: "));
    EXPECT_EQ(Log()[1], "Config file not found");
    EXPECT_THAT(Log()[2], testing::StartsWith("Settings not saved to " + Path() + ": "));
}

TEST_F(SaveSettingsTest, AnEarlierFileSurvivesAFailedSave) {
    station.Form().SetText(FormText::Esitio, "first");
    station.SaveSettings();
    station.Form().SetText(FormText::Esitio, "second");
    station.Form().SetText(FormText::ELongMin, "");
    station.SaveSettings();
    EXPECT_EQ(errors.size(), 1u);
    station.LoadConfiguration();
    EXPECT_EQ(Text(FormText::Esitio), "first");
}

TEST_F(SaveSettingsTest, NumbersAreWrittenWithAPointInACommaLocale) {
    if (!test::UseCommaLocale()) GTEST_SKIP() << "no German locale available";
    station.Form().SetText(FormText::EGainMag, "2,5");
    station.Form().SetText(FormText::ELatMin, "30");
    station.SaveSettings();
    test::RestoreCLocale();
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(Text(FormText::EGainMag), "2.500");
    EXPECT_EQ(Text(FormText::ELatMin), "30");
    EXPECT_FLOAT_EQ(station.Config().magGainV, 2.5f);
}

}  // namespace
}  // namespace noxa
