#include "links/serial_link.h"

#include "support/frames.h"
#include "support/pty_pair.h"

#include <QProcess>
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
using ::testing::HasSubstr;
using ::testing::IsEmpty;

TEST(SerialDeviceName, PortNumbersNameTheSerialDevices) {
    EXPECT_EQ(SerialLink::DeviceName(1), "/dev/ttyS0");
    EXPECT_EQ(SerialLink::DeviceName(3), "/dev/ttyS2");
    EXPECT_EQ(SerialLink::DeviceName(12), "/dev/ttyS11");
}

// A serial link on port 3, pointed at one end of a pty pair.
class SerialLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(pty.Start()) << pty.Error();
        link.SetDeviceOverride(pty.StationEnd());
    }

    // Writes the bytes at the instrument's end, waits until all of them wait at the station,
    // and polls once.
    [[nodiscard]] bool Deliver(std::string_view bytes) {
        const qint64 expected = link.BytesWaiting() + static_cast<qint64>(bytes.size());
        if (!pty.WriteFar(bytes)) return false;
        if (!QTest::qWaitFor([&] { return link.BytesWaiting() >= expected; }, 10000)) {
            return false;
        }
        link.PollSerialPort();
        return true;
    }

    QTemporaryDir dir;
    test::PtyPair pty{dir.path()};
    test::FramingRecorder events;
    std::vector<std::string>& frames = events.frames;
    SerialStreamParser framing{events};
    SerialLink link{framing};
};

TEST_F(SerialLinkTest, OpensTheOverrideDeviceAndDecodesFramesFromIt) {
    ASSERT_TRUE(link.OpenSerialPort(3));
    EXPECT_TRUE(link.IsOpen());
    EXPECT_EQ(link.DevicePath(), pty.StationEnd());

    const std::string frame = MakeFrame(250);
    ASSERT_TRUE(Deliver("xyz" + frame.substr(0, 120)));
    EXPECT_EQ(events.starts, 1);
    EXPECT_THAT(frames, IsEmpty());
    ASSERT_TRUE(Deliver(frame.substr(120)));
    EXPECT_THAT(frames, ElementsAre(frame));
}

TEST_F(SerialLinkTest, DropsABurstOf300BytesOrMoreUnparsed) {
    ASSERT_TRUE(link.OpenSerialPort(3));
    const std::string head = "{" + std::string(50, 'h');
    ASSERT_TRUE(Deliver(head));
    const std::uint32_t ringWrite = framing.RingWrite();

    // A whole frame inside the burst: none of it reaches the parser.
    ASSERT_TRUE(Deliver("}}" + MakeFrame(250) + std::string(68, 'z')));
    EXPECT_EQ(link.BurstsDropped(), 1u);
    EXPECT_EQ(link.BurstBytesDropped(), 320u);
    EXPECT_EQ(link.BytesWaiting(), 0);
    EXPECT_EQ(events.starts, 1);
    EXPECT_EQ(framing.RingWrite(), ringWrite);
    EXPECT_TRUE(framing.InFrame());
    EXPECT_EQ(framing.FramePos(), 51);

    // The open frame goes on with the next bytes parsed.
    const std::string tail = std::string(170, 't') + "}}";
    ASSERT_TRUE(Deliver(tail));
    EXPECT_THAT(frames, ElementsAre(head + tail));
}

TEST_F(SerialLinkTest, KeepsUpTo299BytesAPollAndTakesAtMost1000) {
    ASSERT_TRUE(link.OpenSerialPort(3));
    ASSERT_TRUE(Deliver(std::string(299, '.')));
    EXPECT_EQ(framing.RingWrite(), 299u);
    EXPECT_EQ(link.BurstsDropped(), 0u);
    ASSERT_TRUE(Deliver(std::string(300, '.')));
    EXPECT_EQ(framing.RingWrite(), 299u);
    EXPECT_EQ(link.BurstsDropped(), 1u);

    ASSERT_TRUE(Deliver(std::string(1500, '.')));
    EXPECT_EQ(link.BurstBytesDropped(), 1300u);
    EXPECT_EQ(link.BytesWaiting(), 500);
    link.PollSerialPort();
    EXPECT_EQ(link.BytesWaiting(), 0);
    EXPECT_EQ(link.BurstBytesDropped(), 1800u);
    EXPECT_EQ(framing.RingWrite(), 299u);
}

TEST_F(SerialLinkTest, FedTextIsParsedWithTheNextBytesFromThePort) {
    ASSERT_TRUE(link.OpenSerialPort(3));
    const std::string frame = MakeFrame(260);
    EXPECT_TRUE(framing.FeedRingText(frame.substr(0, 150)));
    link.PollSerialPort();  // nothing waiting: the parser does not run
    EXPECT_EQ(framing.RingPending(), 150u);
    EXPECT_FALSE(framing.InFrame());

    ASSERT_TRUE(Deliver(frame.substr(150)));
    EXPECT_THAT(frames, ElementsAre(frame));
}

TEST_F(SerialLinkTest, AMissingDeviceFails) {
    link.SetDeviceOverride(dir.filePath("no-such-device"));
    EXPECT_FALSE(link.OpenSerialPort(4));
    EXPECT_FALSE(link.IsOpen());
    EXPECT_FALSE(link.Write("<V>"));
    ASSERT_TRUE(framing.FeedRingText("{abc"));
    link.PollSerialPort();  // a port that is not open is not polled
    EXPECT_EQ(framing.RingPending(), 4u);
}

TEST_F(SerialLinkTest, PortNumberZeroOpensNothingAndCountsAsOpen) {
    EXPECT_TRUE(link.OpenSerialPort(0));
    EXPECT_FALSE(link.IsOpen());
}

TEST_F(SerialLinkTest, ADeviceThatVanishesCountsAsFailedAndComesBack) {
    ASSERT_TRUE(link.OpenSerialPort(3));
    const std::string frame = MakeFrame(240);
    ASSERT_TRUE(Deliver(frame.substr(0, 100)));

    pty.Stop();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !link.IsOpen(); }, 10000));
    EXPECT_FALSE(link.Write("<V>"));
    for (int i = 0; i < 20; ++i) link.PollSerialPort();

    // Back with the same device name: the next reopen works, and the half frame goes on.
    ASSERT_TRUE(pty.Start()) << pty.Error();
    ASSERT_TRUE(link.ReopenSerialPort(3));
    EXPECT_TRUE(framing.InFrame());
    ASSERT_TRUE(Deliver(frame.substr(100)));
    EXPECT_THAT(frames, ElementsAre(frame));
}

TEST_F(SerialLinkTest, CloseAndReopenKeepTheRingAndTheOpenFrame) {
    ASSERT_TRUE(link.OpenSerialPort(3));
    const std::string frame = MakeFrame(300);
    ASSERT_TRUE(Deliver(frame.substr(0, 200)));
    link.CloseSerialPort();
    EXPECT_FALSE(link.IsOpen());
    ASSERT_TRUE(link.OpenSerialPort(3));
    EXPECT_EQ(framing.FramePos(), 200);
    ASSERT_TRUE(Deliver(frame.substr(200)));
    EXPECT_THAT(frames, ElementsAre(frame));
}

TEST_F(SerialLinkTest, ReportsOfTheSimulatorArriveAsFrames) {
    ASSERT_TRUE(link.OpenSerialPort(3));
    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(NOXA_SIM_BIN, {"--serial-device", pty.FarEnd(), "--count", "3", "--interval-ms",
                             "100", "--seed", "7", "--name", "qelvoxxx"});
    ASSERT_TRUE(sim.waitForStarted(10000));
    // The simulator paces its bytes as a 9600-baud line does; the station polls them.
    const bool done = QTest::qWaitFor(
        [&] {
            link.PollSerialPort();
            return frames.size() >= 3 || link.BurstsDropped() > 0;
        },
        30000);
    if (link.BurstsDropped() > 0) {
        // Only a stall of this process for about a third of a second lets that many bytes
        // gather: the poll then drops them, as it should, and there is nothing to check.
        GTEST_SKIP() << "the test process stalled and a burst was dropped";
    }
    ASSERT_TRUE(done);
    ASSERT_TRUE(sim.state() == QProcess::NotRunning || sim.waitForFinished(30000));
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 0);
    ASSERT_EQ(frames.size(), 3u);
    for (const std::string& frame : frames) {
        EXPECT_EQ(frame.front(), '{');
        EXPECT_EQ(frame.substr(frame.size() - 2), "}}");
        EXPECT_THAT(frame, HasSubstr(R"("name":"qelvoxxx")"));
        EXPECT_THAT(frame, HasSubstr(R"("tsky":)"));
    }
    EXPECT_THAT(frames[2], HasSubstr(R"("seq":2)"));
}

}  // namespace
}  // namespace noxa
