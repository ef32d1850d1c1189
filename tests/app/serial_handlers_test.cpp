#include "app/serial_handlers.h"

#include "support/frames.h"
#include "support/pty_pair.h"
#include "support/station_fixture.h"

#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace noxa {
namespace {

using test::MakeFrame;
using ::testing::ElementsAre;

// The station's side of the serial line: the framing's events and the 100 ms poll, with the
// configured port 3 pointed at one end of a pty pair in the working folder.
class SerialHandlersTest : public test::StationTest {
protected:
    SerialHandlersTest() : SerialHandlersTest("station") {}
    explicit SerialHandlersTest(const QString& device)
        : StationTest(test::SerialDeviceInWorkDir(device)) {}

    void SetUp() override {
        ASSERT_TRUE(pty.Start()) << pty.Error();
        QObject::connect(&station.Feed(), &ObservationFeed::observed,
                         [this](const Observation& o) { sources.push_back(o.source); });
    }
    // Port 3, saved on the settings page: the station connects to it.
    void UseSerialPort() {
        station.Form().SetText(FormText::EPuerto, "3");
        station.SaveSettings();
    }
    // Writes the bytes at the instrument's end and polls until the framing has `taken` them.
    [[nodiscard]] bool Deliver(std::string_view bytes, const std::function<bool()>& taken) {
        if (!pty.WriteFar(bytes)) return false;
        return QTest::qWaitFor(
            [&] {
                station.PollSerial();
                return taken();
            },
            10000);
    }
    std::vector<std::string> LogTail(std::size_t from) {
        return {Log().begin() + static_cast<std::ptrdiff_t>(from), Log().end()};
    }
    const SerialStreamParser& Framing() { return station.Framing(); }

    test::PtyPair pty{dir.Path()};
    std::vector<ReportSource> sources;
};

TEST_F(SerialHandlersTest, FrameStartsAreSignsOfLifeAndOverflowsAreLogged) {
    std::int32_t silentSeconds = -1;
    QObject::connect(&station.Feed(), &ObservationFeed::linkStatus,
                     [&](const LinkStatus& status) { silentSeconds = status.secondsSinceReport; });
    station.Tick();
    station.Tick();
    const std::size_t lines = Log().size();
    station.Framing().AppendAndParse("{" + std::string(449, 'x'));
    EXPECT_THAT(LogTail(lines), ElementsAre("Ruido posmeteo401", "Riodo posbufer0"));
    station.Tick();
    EXPECT_EQ(silentSeconds, 1);
}

TEST_F(SerialHandlersTest, APollInSerialModeTakesFramesAndLeavesAHealthyIndicatorAlone) {
    UseSerialPort();
    ASSERT_EQ(Log().back(), "Serial Port: 3 OK");
    const std::string frame = MakeFrame(250);
    ASSERT_TRUE(
        Deliver(frame.substr(0, 120), [&] { return Framing().FrameSoFar().size() == 120; }));
    ASSERT_TRUE(Deliver(frame.substr(120), [&] { return Framing().FramesCompleted() == 1; }));
    EXPECT_THAT(sources, ElementsAre(ReportSource::Serial));
    EXPECT_EQ(station.Form().RxColour(), kIndicatorGray);
}

TEST_F(SerialHandlersTest, InNetworkModeThePollLeavesEverythingAlone) {
    ASSERT_TRUE(station.Framing().FeedRingText("{abc"));
    station.Form().SetRxColour(kIndicatorGray);
    station.PollSerial();
    EXPECT_EQ(Framing().RingPending(), 4u);
    EXPECT_FALSE(Framing().InFrame());
    // Neither does the closed port turn the indicator red in network mode.
    EXPECT_EQ(station.Form().RxColour(), kIndicatorGray);
}

// Port 3 names a device that does not exist.
class MissingSerialDeviceTest : public SerialHandlersTest {
protected:
    MissingSerialDeviceTest() : SerialHandlersTest("no-such-device") {}
};

TEST_F(MissingSerialDeviceTest, ShowsRedAtEveryPoll) {
    UseSerialPort();
    EXPECT_EQ(Log().back(), "Serial Port: 3 Fallo");
    station.AskFastReadings();  // the link is not open: nothing is sent, nothing said
    EXPECT_EQ(Log().back(), "Serial Port: 3 Fallo");
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
    ASSERT_TRUE(
        Deliver(frame.substr(0, 100), [&] { return Framing().FrameSoFar().size() == 100; }));

    pty.Stop();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            station.PollSerial();
            return station.Form().RxColour() == kIndicatorRed;
        },
        10000));
    for (int i = 0; i < 20; ++i) station.PollSerial();
    // Only an open decides the link's state: the commands still go out.
    station.AskFastReadings();
    EXPECT_EQ(Log().back(), "Lectura rapida");

    // Back with the same device name: connecting again opens it, and the half frame goes on.
    ASSERT_TRUE(pty.Start()) << pty.Error();
    station.Connect();
    ASSERT_EQ(Log().back(), "Serial Port: 3 OK");
    ASSERT_TRUE(Deliver(frame.substr(100), [&] { return Framing().FramesCompleted() == 1; }));
    EXPECT_THAT(sources, ElementsAre(ReportSource::Serial));
}

}  // namespace
}  // namespace noxa
