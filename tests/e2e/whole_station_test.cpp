// The headless station as a user runs it, driven from outside on loopback only: its history
// across a restart and an instrument on a serial line.
#include "core/day_tables.h"
#include "station_files.h"
#include "station_process.h"
#include "support/pty_pair.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace noxa::test {
namespace {

constexpr int kSlowMs = 30000;

std::unique_ptr<DayTables> ReadDayBuffers(const QDir& dir) {
    const std::string bytes = ReadAll(dir.filePath("noxagraf.hex"));
    if (bytes.size() != kDayBufferFileSize) return nullptr;
    auto days = std::make_unique<DayTables>();
    std::memcpy(days->slot.data(), bytes.data(), bytes.size());
    return days;
}

QString DataFileName() {
    return QStringLiteral("qelvoxxx_%1_%2.csv")
        .arg(QDate::currentDate().month(), 2, 10, QChar('0'))
        .arg(QDate::currentDate().year());
}

class WholeStationTest : public ::testing::Test {
protected:
    QString File(const QString& name) const { return QDir(dir.path()).filePath(name); }
    bool WaitFor(const std::function<bool()>& condition, int timeoutMs = kSlowMs) {
        return QTest::qWaitFor(condition, timeoutMs);
    }

    QTemporaryDir dir;
};

TEST_F(WholeStationTest, ARestartKeepsTheChartHistory) {
    {
        WriteConfiguration(QDir(dir.path()), {{"ETiempo", "1"}});
        StationProcess first(dir.path());
        std::unique_ptr<DayTables> saved;
        ASSERT_TRUE(WaitFor([&] { return (saved = ReadDayBuffers(QDir(dir.path()))) != nullptr; }));
        // One more point a second later.
        ASSERT_TRUE(WaitFor([&] {
            const std::unique_ptr<DayTables> now = ReadDayBuffers(QDir(dir.path()));
            return now && now->Newest().time != saved->Newest().time;
        }));
        EXPECT_EQ(first.Terminate(), 0);
    }
    const std::unique_ptr<DayTables> before = ReadDayBuffers(QDir(dir.path()));
    ASSERT_TRUE(before);
    QFile::remove(File("Noxa.cfg"));  // the default interval: exactly two points at start-up

    StationProcess second(dir.path());
    std::unique_ptr<DayTables> after;
    ASSERT_TRUE(WaitFor([&] {
        after = ReadDayBuffers(QDir(dir.path()));
        return after && after->Newest().time != before->Newest().time;
    }));
    // The start-up point and the chart timer's first point follow the stored ones directly.
    for (std::size_t i = 0; i + 2 < kDaySlots; ++i) {
        ASSERT_EQ(after->slot[i].time, before->slot[i + 2].time) << i;
        ASSERT_EQ(after->slot[i].meanMv740, before->slot[i + 2].meanMv740) << i;
    }
    EXPECT_EQ(second.Terminate(), 0);
}

TEST_F(WholeStationTest, ReadsAnInstrumentOnASerialLine) {
    PtyPair cable(dir.path());
    ASSERT_TRUE(cable.Start()) << cable.Error();
    WriteConfiguration(QDir(dir.path()), {{"EPuerto", "1"}, {"Esalto", "1"}});
    StationProcess station(dir.path(), {"--serial-device", cable.StationEnd()});
    ASSERT_TRUE(station.WaitForLog("Serial Port: 1 OK"));

    QProcess instrument;
    instrument.setProcessChannelMode(QProcess::ForwardedChannels);
    instrument.start(NOXA_SIM_BIN, {"--serial-device", cable.FarEnd(), "--interval-ms", "200",
                                    "--count", "100", "--seed", "9"});
    // Frames decoded into readings reach the data file, with a magnitude near 21 for 740 nm.
    QList<QByteArray> fields;
    EXPECT_TRUE(WaitFor([&] {
        const QList<QByteArray> lines =
            QByteArray::fromStdString(ReadAll(File(DataFileName()))).split('\n');
        if (lines.size() < 5) return false;
        fields = lines[3].split('\t');
        return true;
    }));
    ASSERT_EQ(fields.size(), 15);
    EXPECT_NEAR(fields[3].toDouble(), 21, 3);
    EXPECT_FALSE(station.Log().contains("Fallo"));
    instrument.kill();
    instrument.waitForFinished(5000);
    EXPECT_EQ(station.Terminate(), 0);
}

}  // namespace
}  // namespace noxa::test
