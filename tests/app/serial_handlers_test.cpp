#include "app/serial_handlers.h"

#include "support/frames.h"
#include "support/pty_pair.h"
#include "support/station_fixture.h"

#include <QTemporaryDir>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace noxa {
namespace {

using test::MakeFrame;
using ::testing::ElementsAre;

// The station's side of the serial line: the framing's events and the 100 ms poll, with the
// configured port 3 pointed at one end of a pty pair.
class SerialHandlersTest : public test::StationTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(ptyDir.isValid());
        ASSERT_TRUE(pty.Start()) << pty.Error();
        station.Serial().SetDeviceOverride(pty.StationEnd());
        QObject::connect(&station.Feed(), &ObservationFeed::observed,
                         [this](const Observation& o) { sources.push_back(o.source); });
    }
    void UseSerialPort() {
        station.Config().serialPortNumber = 3;
        station.Connect();
    }
    // Writes the bytes at the instrument's end and polls once they all wait at the station.
    [[nodiscard]] bool Deliver(std::string_view bytes) {
        const qint64 expected = station.Serial().BytesWaiting() + static_cast<qint64>(bytes.size());
        if (!pty.WriteFar(bytes)) return false;
        if (!QTest::qWaitFor([&] { return station.Serial().BytesWaiting() >= expected; }, 10000)) {
            return false;
        }
        station.PollSerial();
        return true;
    }
    std::vector<std::string> LogTail(std::size_t from) {
        return {Log().begin() + static_cast<std::ptrdiff_t>(from), Log().end()};
    }

    QTemporaryDir ptyDir;
    test::PtyPair pty{ptyDir.path()};
    std::vector<ReportSource> sources;
};

TEST_F(SerialHandlersTest, FrameStartsAreSignsOfLifeAndOverflowsAreLogged) {
    station.Readings().rxTicks = 7;
    const std::size_t lines = Log().size();
    station.Framing().AppendAndParse("{" + std::string(449, 'x'));
    EXPECT_EQ(station.Readings().rxTicks, 0);
    EXPECT_THAT(LogTail(lines), ElementsAre("Ruido posmeteo401", "Riodo posbufer0"));
}

TEST_F(SerialHandlersTest, APollInSerialModeTakesFramesAndLeavesAHealthyIndicatorAlone) {
    UseSerialPort();
    ASSERT_TRUE(station.Serial().IsOpen());
    const std::string frame = MakeFrame(250);
    ASSERT_TRUE(Deliver(frame.substr(0, 120)));
    ASSERT_TRUE(Deliver(frame.substr(120)));
    EXPECT_EQ(station.Framing().FramesCompleted(), 1u);
    EXPECT_THAT(sources, ElementsAre(ReportSource::Serial));
    EXPECT_EQ(station.Form().RxColour(), kIndicatorGray);
}

TEST_F(SerialHandlersTest, InNetworkModeThePollLeavesEverythingAlone) {
    ASSERT_TRUE(station.Serial().OpenSerialPort(3));
    ASSERT_TRUE(station.Framing().FeedRingText("{abc"));
    ASSERT_TRUE(pty.WriteFar("{defgh"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return station.Serial().BytesWaiting() == 6; }, 10000));
    station.Form().SetRxColour(kIndicatorGray);
    station.PollSerial();
    EXPECT_EQ(station.Serial().BytesWaiting(), 6);
    EXPECT_EQ(station.Framing().RingPending(), 4u);
    EXPECT_FALSE(station.Framing().InFrame());

    // Neither does a closed port turn the indicator red in network mode.
    station.Serial().CloseSerialPort();
    station.PollSerial();
    EXPECT_EQ(station.Form().RxColour(), kIndicatorGray);
}

TEST_F(SerialHandlersTest, AMissingDeviceShowsRedAtEveryPoll) {
    station.Serial().SetDeviceOverride(ptyDir.filePath("no-such-device"));
    UseSerialPort();
    EXPECT_FALSE(station.Link().linkOpen);
    station.Form().SetRxColour(kIndicatorGray);
    station.PollSerial();
    EXPECT_EQ(station.Form().RxColour(), kIndicatorRed);
    station.Form().SetRxColour(kIndicatorGray);
    station.PollSerial();
    EXPECT_EQ(station.Form().RxColour(), kIndicatorRed);
}

TEST_F(SerialHandlersTest, ADeviceThatVanishesTurnsTheIndicatorRedAndComesBack) {
    UseSerialPort();
    const std::string frame = MakeFrame(240);
    ASSERT_TRUE(Deliver(frame.substr(0, 100)));

    pty.Stop();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            station.PollSerial();
            return station.Form().RxColour() == kIndicatorRed;
        },
        10000));
    for (int i = 0; i < 20; ++i) station.PollSerial();
    EXPECT_TRUE(station.Link().linkOpen);  // only an open decides the link's state

    // Back with the same device name: the periodic reopen works, and the half frame goes on.
    ASSERT_TRUE(pty.Start()) << pty.Error();
    ASSERT_TRUE(station.Connection().ReopenSerialPort(3));
    ASSERT_TRUE(Deliver(frame.substr(100)));
    EXPECT_THAT(sources, ElementsAre(ReportSource::Serial));
}

}  // namespace
}  // namespace noxa
