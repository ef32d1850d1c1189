// The station under faults of its surroundings: a full disk, a read-only folder, and being
// killed at any moment. Whatever happens it keeps running (or, killed, restarts), says what went
// wrong, and every stored file is either its old or its new version, never a mix.
#include "station_files.h"
#include "station_process.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>

namespace noxa::test {
namespace {

constexpr int kSlowMs = 30000;

// A small file system of its own (tmpfs), which only root may mount.
class SmallDisk {
public:
    explicit SmallDisk(const char* size) {
        if (::geteuid() != 0) return;
        const QByteArray options = QByteArray("size=") + size;
        mounted_ = ::mount("tmpfs", QFile::encodeName(dir_.path()).constData(), "tmpfs", 0,
                           options.constData()) == 0;
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(QFile::encodeName(dir_.path()).constData(), MNT_DETACH);
    }
    bool Mounted() const { return mounted_; }
    QString Path() const { return dir_.path(); }
    bool Remount(bool readOnly) {
        return ::mount("tmpfs", QFile::encodeName(dir_.path()).constData(), "tmpfs",
                       MS_REMOUNT | (readOnly ? MS_RDONLY : 0), nullptr) == 0;
    }

private:
    QTemporaryDir dir_;
    bool mounted_ = false;
};

// Reports to a station's port, twenty a second, while the test waits.
class Instrument {
public:
    explicit Instrument(quint16 port) {
        QObject::connect(&timer_, &QTimer::timeout, [this, port] {
            socket_.writeDatagram(
                R"({"name":"qelvoxxx","F1":{"freq":1234.5,"mag":21.25,"zp":20.37},)"
                R"("F2":{"freq":2000.0,"mag":20.90,"zp":20.00},"F3":{"freq":600.0,"mag":20.80,"zp":19.60},)"
                R"("F4":{"freq":400.0,"mag":21.50,"zp":19.40,"tamb":10.25,"tsky":-15.30}})",
                QHostAddress::LocalHost, port);
        });
        timer_.start(50);
    }

private:
    QUdpSocket socket_;
    QTimer timer_;
};

bool IsJpeg(const std::string& bytes) {
    return bytes.size() > 4 && bytes.compare(0, 2, "\xFF\xD8") == 0 &&
           bytes.compare(bytes.size() - 2, 2, "\xFF\xD9") == 0;
}

// Every stored file is whole: the right size, a well-formed document, a complete image, and
// data lines that all end where a line ends.
void ExpectWholeFiles(const QDir& dir) {
    if (QFile::exists(dir.filePath("noxagraf.hex"))) {
        EXPECT_EQ(QFile(dir.filePath("noxagraf.hex")).size(), 103680);
    }
    if (QFile::exists(dir.filePath("noxa.xml"))) {
        const std::string xml = ReadAll(dir.filePath("noxa.xml"));
        QXmlStreamReader reader(QByteArray::fromStdString(xml));
        while (!reader.atEnd()) reader.readNext();
        EXPECT_FALSE(reader.hasError()) << xml;
    }
    for (const char* image : {"mag.jpg", "temp.jpg"}) {
        if (QFile::exists(dir.filePath(image))) {
            EXPECT_TRUE(IsJpeg(ReadAll(dir.filePath(image)))) << image;
        }
    }
    for (const QString& name : dir.entryList({"*.csv"}, QDir::Files)) {
        const QByteArray data = QByteArray::fromStdString(ReadAll(dir.filePath(name)));
        EXPECT_TRUE(data.endsWith("\t\r\n")) << name.toStdString();
        const QList<QByteArray> lines = data.split('\n');
        for (qsizetype i = 3; i + 1 < lines.size(); ++i) {
            EXPECT_EQ(lines[i].count('\t'), 14) << lines[i].toStdString();
        }
    }
    // Files are replaced whole, with no temporary file left beside them.
    for (const QString& name : dir.entryList(QDir::Files)) {
        EXPECT_TRUE(name == "Noxa.cfg" || name == "noxagraf.hex" || name == "noxa.xml" ||
                    name.endsWith(".jpg") || name.endsWith(".csv") || name == "filler" ||
                    name == "noxa-station.lock")
            << name.toStdString();
    }
}

// A station recording every second on the small disk, once it has saved its chart history.
class RecordingOnSmallDisk : public ::testing::Test {
protected:
    void Start(const char* size) {
        disk_ = std::make_unique<SmallDisk>(size);
        if (!disk_->Mounted()) GTEST_SKIP() << "mounting a small disk needs root";
        dir_ = QDir(disk_->Path());
        WriteConfiguration(dir_, {{"Esalto", "1"}, {"ETiempo", "1"}});
        station_ = std::make_unique<StationProcess>(disk_->Path());
        instrument_ = std::make_unique<Instrument>(station_->Port());
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return QFile::exists(dir_.filePath("noxagraf.hex")); }, kSlowMs));
    }

    std::unique_ptr<SmallDisk> disk_;
    QDir dir_;
    std::unique_ptr<StationProcess> station_;
    std::unique_ptr<Instrument> instrument_;
};

TEST_F(RecordingOnSmallDisk, AFullDiskIsSaidAndNeverCorruptsAFile) {
    Start("2m");
    if (IsSkipped() || HasFatalFailure()) return;
    const QDir& dir = dir_;
    StationProcess& station = *station_;

    {  // Fill the disk to the last byte.
        QFile filler(dir.filePath("filler"));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
    }
    EXPECT_TRUE(station.WaitForLog("noxagraf.hex not saved: No space left on device", kSlowMs));
    EXPECT_TRUE(station.Started());
    ExpectWholeFiles(dir);

    // Room again: the station carries on writing, and says so once.
    QFile::remove(dir.filePath("filler"));
    EXPECT_TRUE(station.WaitForLog("noxagraf.hex saved again", kSlowMs));
    // One line when the file started failing, however many chart points came on the full disk.
    EXPECT_EQ(station.Log().count("noxagraf.hex not saved"), 1);
    ExpectWholeFiles(dir);
    EXPECT_EQ(station.Terminate(), 0);
}

TEST_F(RecordingOnSmallDisk, AReadOnlyFolderIsSaidAndKeepsItsFiles) {
    Start("8m");
    if (IsSkipped() || HasFatalFailure()) return;
    const QDir& dir = dir_;
    StationProcess& station = *station_;
    ASSERT_TRUE(disk_->Remount(true));
    EXPECT_TRUE(station.WaitForLog("noxagraf.hex not saved", kSlowMs));
    EXPECT_TRUE(station.WaitForLog("Data line not written to", kSlowMs));
    EXPECT_TRUE(station.Started());
    ExpectWholeFiles(dir);
    ASSERT_TRUE(disk_->Remount(false));
    EXPECT_EQ(station.Terminate(), 0);
}

// The moments of the kills are random; NOXA_TEST_SEED repeats a run's.
TEST(Faults, KilledAtAnyMomentItLeavesWholeFiles) {
    const char* given = std::getenv("NOXA_TEST_SEED");
    const quint32 seed =
        given ? static_cast<quint32>(std::strtoul(given, nullptr, 10)) : std::random_device{}();
    std::printf("kill moments: NOXA_TEST_SEED=%u\n", seed);
    QRandomGenerator random(seed);

    QTemporaryDir folder;
    const QDir dir(folder.path());
    WriteConfiguration(dir, {{"Esalto", "1"}, {"ETiempo", "1"}});
    const quint16 port = FreeUdpPort();
    Instrument instrument(port);
    // From the first second on the station writes its data line, its chart images and its
    // history every second. The first round ends once the history is there.
    for (int round = 0; round < 6; ++round) {
        StationProcess station(folder.path(), {}, port);
        if (round == 0) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(dir.filePath("noxagraf.hex")); },
                                        kSlowMs));
            QTest::qWait(random.bounded(1000));
        } else {
            QTest::qWait(1000 + random.bounded(1500));
        }
        station.Kill();
        ExpectWholeFiles(dir);
    }
    // The history survived every kill, and a station starts on it again.
    EXPECT_EQ(QFile(dir.filePath("noxagraf.hex")).size(), 103680);
    StationProcess station(folder.path());
    EXPECT_TRUE(station.WaitForLog("Read config file: "));
    EXPECT_FALSE(station.Log().contains("ignored"));
    EXPECT_EQ(station.Terminate(), 0);
}

}  // namespace
}  // namespace noxa::test
