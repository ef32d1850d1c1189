#include "recording/config_file.h"

#include "core/form_model.h"
#include "core/station_config.h"
#include "core/station_error.h"
#include "support/temp_dir.h"

#include <QDir>
#include <QFile>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <tuple>

namespace noxa {
namespace {

using ::testing::ElementsAre;

// A record as the writer lays it out: spaces, the path with its NUL at the head, and each
// field's text NUL-padded to its width.
class RecordBuilder {
public:
    explicit RecordBuilder(const std::string& path) {
        record_.fill(' ');
        std::memcpy(record_.data(), path.data(), path.size());
        record_[path.size()] = '\0';
    }
    RecordBuilder& Field(std::size_t offset, std::size_t width, std::string_view text) {
        std::memset(record_.data() + offset, '\0', width);
        std::memcpy(record_.data() + offset, text.data(), std::min(width, text.size()));
        return *this;
    }
    std::string Bytes() const { return std::string(record_.data(), record_.size()); }

private:
    ConfigRecord record_;
};

// The record that saving the defaults (no file at start) gives.
RecordBuilder DefaultRecord(const std::string& path) {
    RecordBuilder b(path);
    b.Field(80, 1, "0")
        .Field(100, 5, "240")
        .Field(105, 5, "350")
        .Field(110, 5, "570")
        .Field(115, 5, "-600")
        .Field(120, 5, "-390")
        .Field(125, 5, "-390")
        .Field(130, 2, "0")
        .Field(140, 7, "40.000")
        .Field(148, 1, "N")
        .Field(150, 7, "3.000")
        .Field(158, 1, "O")
        .Field(170, 5, "0.00")
        .Field(200, 6, "2255")
        .Field(220, 20, "192.168.1.20")
        .Field(240, 3, "60")
        .Field(245, 3, "60")
        .Field(350, 20, "qelvoxxx");
    for (std::size_t offset = 260; offset <= 330; offset += 10) {
        b.Field(offset, 5, offset % 20 == 0 ? "0.000" : "1.000");
    }
    return b;
}

std::string Bytes(const ConfigRecord& record) {
    return std::string(record.data(), record.size());
}

// Each reading starts a new log, as the station's does.
class ConfigFileTest : public ::testing::Test {
protected:
    ConfigFileTest() { form.ClearLog(); }
    std::string Path() const { return config.Path(); }
    void WriteFile(const std::string& bytes) {
        QFile file(QString::fromStdString(Path()));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes.data(), static_cast<qint64>(bytes.size()));
    }
    void Save() {
        std::string error;
        ASSERT_TRUE(config.WriteRecord(config.BuildRecord(), error)) << error;
        form.ClearLog();
        config.LoadStationConfig();
    }
    const std::string& Text(FormText id) { return form.Text(id); }

    test::ScopedWorkDir dir;
    FormModel form;
    StationConfig settings;
    ConfigFile config{form, settings, dir.Dir()};
};

TEST_F(ConfigFileTest, AMissingFileGivesTheDefaults) {
    config.LoadStationConfig();
    EXPECT_THAT(form.LogLines(), ElementsAre("Config file not found"));
    EXPECT_EQ(Text(FormText::EPuerto), "0");
    EXPECT_EQ(Text(FormText::Esalto), "60");
    EXPECT_EQ(Text(FormText::ETiempo), "60");
    EXPECT_EQ(Text(FormText::EmaxX), "240");
    EXPECT_EQ(Text(FormText::EminX), "-600");
    EXPECT_EQ(Text(FormText::ELatGrad), "40");
    EXPECT_EQ(Text(FormText::ELatMin), "0");  // kept from the layout
    EXPECT_EQ(Text(FormText::ELongHoras), "3");
    EXPECT_EQ(Text(FormText::Eeo), "O");
    EXPECT_EQ(Text(FormText::EGainMagB), "1");
    EXPECT_EQ(Text(FormText::Esitio), "qelvoxxx");
    EXPECT_EQ(settings.serialPortNumber, 0);
    EXPECT_FLOAT_EQ(settings.latitude, 40.2f);
    EXPECT_FLOAT_EQ(settings.longitude, -3.7f);
    EXPECT_EQ(settings.magGainR, 1.0f);
    EXPECT_EQ(settings.magMaxX, 0);  // the numbers are not touched
}

TEST_F(ConfigFileTest, SavingTheDefaultsWritesTheirRecordByteForByte) {
    config.LoadStationConfig();
    EXPECT_EQ(Bytes(config.BuildRecord()), DefaultRecord(Path()).Bytes());
}

TEST_F(ConfigFileTest, SouthernWesternPositionIsStoredUnsignedWithItsLetters) {
    config.LoadStationConfig();
    form.SetText(FormText::ELatGrad, "28");
    form.SetText(FormText::ELatMin, "30");
    form.SetText(FormText::Ens, "S");
    form.SetText(FormText::ELongHoras, "16");
    form.SetText(FormText::ELongMin, "30");
    form.SetText(FormText::Eeo, "W");
    EXPECT_EQ(Bytes(config.BuildRecord()), DefaultRecord(Path())
                                               .Field(140, 7, "28.500")
                                               .Field(148, 1, "S")
                                               .Field(150, 7, "16.500")
                                               .Field(158, 1, "O")
                                               .Bytes());
    Save();
    EXPECT_FLOAT_EQ(settings.latitude, -28.5f);
    EXPECT_FLOAT_EQ(settings.longitude, -16.5f);
    EXPECT_EQ(Text(FormText::ELatGrad), "28");
    EXPECT_EQ(Text(FormText::ELatMin), "30");
    EXPECT_EQ(Text(FormText::Ens), "S");
    EXPECT_EQ(Text(FormText::ELongHoras), "16");
    EXPECT_EQ(Text(FormText::ELongMin), "30");
    EXPECT_EQ(Text(FormText::Eeo), "W");
}

TEST_F(ConfigFileTest, UnknownLettersBecomeNorthAndWest) {
    form.SetText(FormText::Ens, "n");
    form.SetText(FormText::Eeo, "x");
    const ConfigRecord record = config.BuildRecord();
    EXPECT_EQ(record[148], 'N');
    EXPECT_EQ(record[158], 'O');
    EXPECT_EQ(Text(FormText::Ens), "N");
    EXPECT_EQ(Text(FormText::Eeo), "O");
}

TEST_F(ConfigFileTest, LowerCaseHemisphereLettersAreTheirCapitals) {
    form.SetText(FormText::ELatGrad, "28");
    form.SetText(FormText::ELongHoras, "16");
    for (const auto& [typed, stored, shown, sign] :
         {std::tuple{"e", 'E', "E", 1.0f}, {"w", 'O', "W", -1.0f}, {"o", 'O', "O", -1.0f}}) {
        form.SetText(FormText::Ens, "s");
        form.SetText(FormText::Eeo, typed);
        const ConfigRecord record = config.BuildRecord();
        EXPECT_EQ(record[148], 'S');
        EXPECT_EQ(record[158], stored) << typed;
        EXPECT_EQ(Text(FormText::Eeo), shown);
        Save();
        EXPECT_FLOAT_EQ(settings.latitude, -28.0f);
        EXPECT_FLOAT_EQ(settings.longitude, sign * 16.0f) << typed;
    }
    // A hand-edited file is read the same way.
    WriteFile(DefaultRecord(Path()).Field(148, 1, "s").Field(158, 1, "e").Bytes());
    config.LoadStationConfig();
    EXPECT_FLOAT_EQ(settings.latitude, -40.0f);
    EXPECT_FLOAT_EQ(settings.longitude, 3.0f);
    EXPECT_EQ(Text(FormText::Ens), "S");
}

TEST_F(ConfigFileTest, SettingsThatCanAcceptNoReportAreLogged) {
    const auto logAfterReading = [&](const std::string& bytes) {
        WriteFile(bytes);
        form.ClearLog();
        config.LoadStationConfig();
        return form.LogLines();
    };
    const std::string read = "Read config file: " + Path();
    EXPECT_THAT(logAfterReading(DefaultRecord(Path()).Bytes()), ElementsAre(read));
    EXPECT_THAT(logAfterReading(DefaultRecord(Path()).Field(350, 20, "abc  ").Bytes()),
                ElementsAre(read,
                            "Station name \"abc  \" ends with blanks: no report will be "
                            "accepted."));
    EXPECT_THAT(logAfterReading(DefaultRecord(Path()).Field(350, 20, "").Bytes()),
                ElementsAre(read, "Station name is empty: no report will be accepted."));
    for (const char* port : {"x", "0", "70000", "-1"}) {
        EXPECT_THAT(logAfterReading(DefaultRecord(Path()).Field(200, 6, port).Bytes()),
                    ElementsAre(read, "UDP port \"" + std::string(port) +
                                          "\" is not a port number: no broadcast will be "
                                          "received."));
    }
    EXPECT_THAT(logAfterReading(DefaultRecord(Path()).Field(200, 6, "2256").Bytes()),
                ElementsAre(read,
                            "UDP port 2256 is not 2255, the port the instrument "
                            "broadcasts on: no broadcast will be received."));
    // An empty file: the name and the port are all blanks.
    EXPECT_THAT(logAfterReading(""),
                ElementsAre(read, "Station name is only blanks: no report will be accepted.",
                            "UDP port \"      \" is not a port number: no broadcast will be "
                            "received."));
    EXPECT_EQ(settings.serialPortNumber, 0);  // the station still runs on what it read
}

TEST_F(ConfigFileTest, PositionsKeepTheirMinutesAcrossAnyNumberOfSaves) {
    for (const auto& [degrees, minutes] :
         {std::pair{"40", "20"}, {"0", "21"}, {"10", "59"}, {"89", "1"}}) {
        form.SetText(FormText::ELatGrad, degrees);
        form.SetText(FormText::ELatMin, minutes);
        form.SetText(FormText::ELongHoras, degrees);
        form.SetText(FormText::ELongMin, minutes);
        for (int save = 0; save < 10; ++save) Save();
        EXPECT_EQ(Text(FormText::ELatGrad), degrees);
        EXPECT_EQ(Text(FormText::ELatMin), minutes) << degrees << "°" << minutes;
        EXPECT_EQ(Text(FormText::ELongMin), minutes) << degrees << "°" << minutes;
    }
}

TEST_F(ConfigFileTest, MinutesRoundUpIntoTheNextDegree) {
    WriteFile(DefaultRecord(Path()).Field(140, 7, "40.9999").Bytes());
    config.LoadStationConfig();
    EXPECT_EQ(Text(FormText::ELatGrad), "41");
    EXPECT_EQ(Text(FormText::ELatMin), "0");
}

TEST_F(ConfigFileTest, IntervalsAreRangeTestedOnReading) {
    form.SetText(FormText::ETiempo, "600");
    form.SetText(FormText::Esalto, "1000");
    const ConfigRecord record = config.BuildRecord();
    EXPECT_EQ(std::string(record.data() + 240, 3), "600");  // stored as typed, cut to 3
    EXPECT_EQ(std::string(record.data() + 245, 3), "100");
    Save();
    EXPECT_EQ(Text(FormText::ETiempo), "60");
    EXPECT_EQ(Text(FormText::Esalto), "100");
    form.SetText(FormText::ETiempo, "0");
    form.SetText(FormText::Esalto, "x");
    Save();
    EXPECT_EQ(Text(FormText::ETiempo), "60");
    EXPECT_EQ(Text(FormText::Esalto), "60");
}

TEST_F(ConfigFileTest, OffsetsAndGainsOutOfRangeAreReplaced) {
    form.SetText(FormText::EOfsetMag, "7.5");
    form.SetText(FormText::EGainMag, "30");
    form.SetText(FormText::EOfsetMagR, "-5.9");  // |-5| is not above 5
    form.SetText(FormText::EGainMagR, "-25,9");  // a decimal comma is taken too
    form.SetText(FormText::EofsetTamb, "12.25");
    const ConfigRecord record = config.BuildRecord();
    EXPECT_EQ(std::string(record.data() + 260, 5), "0.000");
    EXPECT_EQ(std::string(record.data() + 270, 5), "1.000");
    EXPECT_EQ(std::string(record.data() + 280, 5), "-5.90");
    EXPECT_EQ(std::string(record.data() + 290, 5), "-25.9");
    EXPECT_EQ(std::string(record.data() + 170, 5), "12.25");
    form.SetText(FormText::EofsetTamb, "-12.25");
    EXPECT_EQ(std::string(config.BuildRecord().data() + 170, 5), "-12.2");
    Save();
    EXPECT_EQ(Text(FormText::EOfsetMag), "0.000");
    EXPECT_EQ(Text(FormText::EGainMag), "1.000");
    EXPECT_FLOAT_EQ(settings.magGainR, -25.9f);
    EXPECT_FLOAT_EQ(settings.tempOffset, -12.2f);
}

TEST_F(ConfigFileTest, AFieldThatIsNoNumberStopsTheSave) {
    form.SetText(FormText::Ens, "x");
    form.SetText(FormText::EofsetTamb, "1.5");
    form.SetText(FormText::EOfsetMagG, "abc");
    try {
        config.BuildRecord();
        FAIL() << "expected a conversion error";
    } catch (const StationError& error) {
        EXPECT_STREQ(error.what(), "'abc' is not a valid floating point value");
    }
    EXPECT_EQ(Text(FormText::Ens), "N");  // fields before the failing one are normalised
    for (const char* bad : {"", " ", "1.2.3", "1,2.3", "0x10", "inf", "12a", "--1"}) {
        form.SetText(FormText::ELatMin, bad);
        EXPECT_THROW(config.BuildRecord(), StationError) << '"' << bad << '"';
    }
}

TEST_F(ConfigFileTest, ARecordChangedOnDiskSinceItWasReadIsNotOverwritten) {
    config.LoadStationConfig();  // no file yet
    Save();                      // writes the defaults and reads them back
    const std::string elsewhere = DefaultRecord(Path()).Field(350, 20, "roof0001").Bytes();
    WriteFile(elsewhere);  // as --set would
    std::string error;
    EXPECT_FALSE(config.WriteRecord(config.BuildRecord(), error));
    EXPECT_THAT(error, ::testing::HasSubstr("changed on disk"));
    EXPECT_EQ(dir.ReadFile(ConfigFile::kFileName), elsewhere);
    // Once read again, the change is the station's and saving works.
    config.LoadStationConfig();
    EXPECT_EQ(Text(FormText::Esitio), "roof0001");
    EXPECT_TRUE(config.WriteRecord(config.BuildRecord(), error)) << error;
}

TEST_F(ConfigFileTest, SomethingUnreadableByTheNameIsSaidBeforeTheDefaults) {
    ASSERT_TRUE(QDir().mkdir(QString::fromStdString(Path())));
    config.LoadStationConfig();
    EXPECT_THAT(form.LogLines(),
                ::testing::Contains(::testing::StartsWith("Config file " + Path() +
                                                          " cannot be read: ")));
    EXPECT_THAT(form.LogLines(), ::testing::Contains("Config file not found"));
}

TEST_F(ConfigFileTest, EveryFieldSurvivesARoundTrip) {
    const std::pair<FormText, const char*> fields[] = {
        {FormText::EmaxX, "241"},
        {FormText::EmaxY, "-351"},
        {FormText::EmaxZ, "572"},
        {FormText::EminX, "-601"},
        {FormText::EminY, "-392"},
        {FormText::EminZ, "-393"},
        {FormText::EPuerto, "12"},
        {FormText::ELatGrad, "52"},
        {FormText::ELatMin, "13"},
        {FormText::Ens, "N"},
        {FormText::ELongHoras, "4"},
        {FormText::ELongMin, "22"},
        {FormText::Eeo, "E"},
        {FormText::EofsetTamb, "1.50"},
        {FormText::EOfsetMag, "0.125"},
        {FormText::EGainMag, "1.250"},
        {FormText::EOfsetMagR, "-2.50"},
        {FormText::EGainMagR, "2.000"},
        {FormText::EOfsetMagG, "3.000"},
        {FormText::EGainMagG, "0.500"},
        {FormText::EOfsetMagB, "4.000"},
        {FormText::EGainMagB, "24.00"},
        {FormText::EPuertoEth, "2256"},
        {FormText::EDirEth, "10.0.0.7"},
        {FormText::ETiempo, "120"},
        {FormText::Esalto, "300"},
        {FormText::Esitio, "roof-east"},
    };
    for (const auto& [id, text] : fields) form.SetText(id, text);
    settings.zoomStep = 3;
    Save();
    for (const auto& [id, text] : fields) EXPECT_EQ(Text(id), text) << ComponentName(id);
    EXPECT_EQ(settings.zoomStep, 3);
    EXPECT_EQ(settings.serialPortNumber, 12);
    EXPECT_EQ(settings.magMaxY, -351);
    EXPECT_FLOAT_EQ(settings.latitude, 52.217f);
    EXPECT_FLOAT_EQ(settings.longitude, 4.367f);
    EXPECT_FLOAT_EQ(settings.magGainB, 24.0f);
    EXPECT_THAT(form.LogLines(), ElementsAre("Read config file: " + Path()));
}

TEST_F(ConfigFileTest, AStationNameIsCutToTwentyCharacters) {
    form.SetText(FormText::Esitio, "abcdefghijklmnopqrstuvwxy");
    Save();
    EXPECT_EQ(Text(FormText::Esitio), "abcdefghijklmnopqrst");
}

TEST_F(ConfigFileTest, ALongPathIsCutToFitTheHeadOfTheRecord) {
    ConfigFile deep(form, settings, WorkDir("/" + std::string(120, 'd')));
    const ConfigRecord record = deep.BuildRecord();
    EXPECT_EQ(std::string(record.data(), 79), deep.Path().substr(0, 79));
    EXPECT_EQ(record[79], '\0');
    EXPECT_EQ(record[80], '0');
}

TEST_F(ConfigFileTest, PortNumberFollowedByANulIsRead) {
    WriteFile(DefaultRecord(Path()).Field(130, 2, "3").Bytes());
    config.LoadStationConfig();
    EXPECT_EQ(settings.serialPortNumber, 3);
    EXPECT_EQ(Text(FormText::EPuerto), "3");
}

TEST_F(ConfigFileTest, AnotherHemisphereLetterLeavesTheLatitudeFieldsAlone) {
    form.SetText(FormText::ELatGrad, "7");
    WriteFile(DefaultRecord(Path()).Field(140, 7, "28.500").Field(148, 1, "X").Bytes());
    config.LoadStationConfig();
    EXPECT_FLOAT_EQ(settings.latitude, 28.5f);
    EXPECT_EQ(Text(FormText::ELatGrad), "7");
}

TEST_F(ConfigFileTest, AShortFileReadsAsIfPaddedWithSpaces) {
    WriteFile(DefaultRecord(Path()).Field(130, 2, "4").Bytes().substr(0, 135));
    config.LoadStationConfig();
    EXPECT_EQ(settings.serialPortNumber, 4);
    EXPECT_EQ(Text(FormText::ETiempo), "60");
    EXPECT_EQ(Text(FormText::Esalto), "60");
    EXPECT_FLOAT_EQ(settings.longitude, 0.0f);
}

TEST_F(ConfigFileTest, AGarbageFileNeverLeavesIntervalsOutOfRange) {
    std::mt19937 random(11);
    for (int round = 0; round < 200; ++round) {
        std::string bytes(random() % 500, '\0');
        for (char& c : bytes) c = static_cast<char>(random() % 256);
        WriteFile(bytes);
        config.LoadStationConfig();
        const std::int64_t chart = std::stoll(Text(FormText::ETiempo));
        const std::int64_t record = std::stoll(Text(FormText::Esalto));
        EXPECT_TRUE(chart >= 1 && chart <= 499) << chart;
        EXPECT_TRUE(record >= 1 && record <= 999) << record;
        EXPECT_LE(Text(FormText::Esitio).size(), 20u);
    }
}

}  // namespace
}  // namespace noxa
