#include "links/serial_stream_parser.h"

#include "support/frames.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace noxa {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

using test::MakeFrame;

class ParserTest : public ::testing::Test {
protected:
    // What one poll does with the bytes it read: into the ring, then every pending byte parsed.
    void Poll(std::string_view bytes) {
        parser.AppendToRing(bytes);
        parser.ParsePending();
    }
    const std::vector<std::string>& Overflows() const { return events.overflows; }

    test::FramingRecorder events;
    std::vector<std::string>& frames = events.frames;
    SerialStreamParser parser{events};
};

TEST_F(ParserTest, AssemblesAFrameArrivingOverThreePolls) {
    const std::string frame = MakeFrame(250);
    Poll("xx" + frame.substr(0, 80));
    EXPECT_EQ(events.starts, 1);  // at the poll that carries the opening brace
    EXPECT_TRUE(parser.InFrame());

    Poll(frame.substr(80, 90));
    Poll(frame.substr(170));
    EXPECT_EQ(events.starts, 1);  // completing the frame is no new start
    EXPECT_THAT(frames, ElementsAre(frame));
    EXPECT_FALSE(parser.InFrame());
    EXPECT_EQ(parser.FramePos(), 0);
    EXPECT_EQ(parser.FrameByteCount(), 0);
    EXPECT_EQ(parser.RingPending(), 0u);
    EXPECT_EQ(parser.RingRead(), parser.RingWrite());
    EXPECT_THAT(Overflows(), IsEmpty());
}

TEST_F(ParserTest, EndsAFrameOnlyOnceItHoldsMoreThan220Bytes) {
    // "}}" after 100 bytes is content.
    std::string frame = "{" + std::string(97, 'a') + "}}";
    frame += std::string(150, 'b') + "}}";
    Poll(frame.substr(0, 150));
    Poll(frame.substr(150));
    EXPECT_THAT(frames, ElementsAre(frame));

    // 220 bytes ending in "}}" stay open; the next "}}" ends the frame.
    frames.clear();
    const std::string short220 = MakeFrame(220);
    Poll(short220);
    EXPECT_THAT(frames, IsEmpty());
    EXPECT_EQ(parser.FramePos(), 220);
    Poll("}");
    EXPECT_THAT(frames, ElementsAre(short220 + "}"));

    // 221 bytes are enough.
    frames.clear();
    Poll(MakeFrame(221));
    EXPECT_THAT(frames, ElementsAre(MakeFrame(221)));
}

TEST_F(ParserTest, SeesTheClosingPairAcrossTheRingsWrap) {
    const std::string frame = MakeFrame(250);
    // The frame starts at ring position 51, so its "}}" lands on positions 299 and 0.
    Poll(std::string(51, '.'));
    Poll(frame.substr(0, 150));
    Poll(frame.substr(150));
    EXPECT_EQ(parser.RingByte(299), '}');
    EXPECT_EQ(parser.RingByte(0), '}');
    EXPECT_EQ(parser.RingWrite(), 1u);
    EXPECT_THAT(frames, ElementsAre(frame));

    // A lone "}" at position 0 looks back at position 299, which holds no brace.
    frames.clear();
    Poll(std::string(50, '.'));
    const std::string open = "{" + std::string(247, 'a') + "x}y";
    Poll(open.substr(0, 150));
    Poll(open.substr(150));
    EXPECT_EQ(parser.RingByte(299), 'x');
    EXPECT_EQ(parser.RingByte(0), '}');
    EXPECT_THAT(frames, IsEmpty());
    Poll("}}");
    EXPECT_THAT(frames, ElementsAre(open + "}}"));
}

TEST_F(ParserTest, OverflowingFrameLogsBothCountersAndRestartsCollection) {
    Poll("{" + std::string(199, 'x'));
    Poll(std::string(250, 'x'));  // 450 bytes in the frame, no valid end
    EXPECT_THAT(Overflows(), ElementsAre("buffer 401", "count 0"));
    EXPECT_TRUE(parser.InFrame());
    EXPECT_EQ(parser.FramePos(), 49);
    EXPECT_EQ(parser.FrameSoFar(), std::string(49, 'x'));

    // The frame is not abandoned: it ends at a "}}" once it again holds more than 220 bytes.
    Poll(std::string(170, 'y') + "}}");
    EXPECT_THAT(frames, ElementsAre(std::string(49, 'x') + std::string(170, 'y') + "}}"));
    EXPECT_THAT(Overflows(), ElementsAre("buffer 401", "count 0"));
}

TEST_F(ParserTest, DataFileWriterRestartsTheSecondCountOnly) {
    Poll("{" + std::string(99, 'x'));
    parser.ResetFrameByteCount();  // a data-file line written during the frame
    EXPECT_EQ(parser.FramePos(), 100);
    Poll(std::string(200, 'x'));
    // The buffer overflows while the second count stands at 301.
    Poll(std::string(200, 'x'));
    EXPECT_THAT(Overflows(), ElementsAre("buffer 401"));
    EXPECT_EQ(parser.FramePos(), 99);
    EXPECT_EQ(parser.FrameByteCount(), 400);
    Poll(std::string(100, 'x'));
    EXPECT_THAT(Overflows(), ElementsAre("buffer 401", "count 100"));
}

TEST_F(ParserTest, SkipsGarbageBetweenFrames) {
    const std::string first = MakeFrame(230, 'f');
    const std::string second = MakeFrame(260, 's');
    std::string garbage = "}}}} ";
    garbage += {'\x01', '\xff', '\0'};
    garbage += " noise";
    Poll(garbage + first.substr(0, 100));
    Poll(first.substr(100) + "}}trailing}");
    EXPECT_EQ(events.starts, 1);
    Poll("more" + second.substr(0, 120));
    EXPECT_EQ(events.starts, 2);
    Poll(second.substr(120));
    EXPECT_THAT(frames, ElementsAre(first, second));
    EXPECT_THAT(Overflows(), IsEmpty());
}

TEST_F(ParserTest, ParsesOnlyTheCountItIsGiven) {
    parser.AppendToRing("{abc");
    parser.ParseSerialStream(1);
    EXPECT_TRUE(parser.InFrame());
    EXPECT_EQ(parser.FramePos(), 1);
    EXPECT_EQ(parser.RingPending(), 3u);
    EXPECT_EQ(parser.RingRead(), 1u);
}

TEST_F(ParserTest, FedTextWaitsInTheRingUnparsed) {
    EXPECT_FALSE(parser.FeedRingText(""));
    EXPECT_FALSE(parser.FeedRingText(std::string(200, 'x')));
    EXPECT_FALSE(parser.FeedRingText(std::string(1500, 'x')));
    EXPECT_EQ(parser.RingWrite(), 0u);
    EXPECT_EQ(parser.RingPending(), 0u);

    const std::string frame = MakeFrame(250);
    EXPECT_TRUE(parser.FeedRingText(frame.substr(0, 199)));
    EXPECT_EQ(parser.RingPending(), 199u);
    EXPECT_FALSE(parser.InFrame());
    EXPECT_EQ(events.starts, 0);

    // The next poll parses it together with the port's bytes.
    Poll(frame.substr(199));
    EXPECT_THAT(frames, ElementsAre(frame));
    EXPECT_EQ(events.starts, 1);
}

TEST_F(ParserTest, FedTextEndsAtItsFirstZeroByte) {
    EXPECT_TRUE(parser.FeedRingText(std::string("{ab\0cd", 6)));
    EXPECT_EQ(parser.RingPending(), 3u);
    EXPECT_FALSE(parser.FeedRingText(std::string("\0abc", 4)));
    // Only the first 199 bytes count, whatever follows the zero.
    EXPECT_TRUE(parser.FeedRingText(std::string(150, 'x') + '\0' + std::string(900, 'y')));
    EXPECT_EQ(parser.RingPending(), 153u);
}

TEST_F(ParserTest, FeedsBeyondTheRingOverwriteTheOldestBytes) {
    parser.FeedRingText(std::string(150, 'a'));
    parser.FeedRingText(std::string(150, 'b'));
    parser.FeedRingText("{" + std::string(149, 'c'));
    EXPECT_EQ(parser.RingPending(), 450u);
    EXPECT_EQ(parser.RingWrite(), 150u);
    EXPECT_EQ(parser.RingByte(0), '{');
    parser.ParsePending();
    // The 450 bytes walk the ring one and a half times: "{", 149 "c", 150 "b", then the same
    // "{" and 149 "c" again, 450 bytes of one frame.
    EXPECT_EQ(parser.RingPending(), 0u);
    EXPECT_EQ(parser.RingRead(), 150u);
    EXPECT_THAT(Overflows(), ElementsAre("buffer 401", "count 0"));
    EXPECT_EQ(parser.FrameSoFar(), std::string(49, 'c'));
}

TEST_F(ParserTest, AppendAndParseTakesLongTextsWhole) {
    // Socket 1 hands over up to 2000 bytes at once: more than the ring holds.
    std::string text;
    std::vector<std::string> expected;
    for (std::size_t length : {221, 300, 400, 298, 255, 299}) {
        expected.push_back(MakeFrame(length, static_cast<char>('a' + expected.size())));
        text += "--" + expected.back();
    }
    ASSERT_GT(text.size(), 1500u);
    parser.AppendAndParse(text);
    EXPECT_EQ(frames, expected);
    EXPECT_EQ(parser.RingPending(), 0u);

    // A "}}" split between two calls still closes the frame.
    frames.clear();
    const std::string frame = MakeFrame(240);
    parser.AppendAndParse(frame.substr(0, 239));
    parser.AppendAndParse(frame.substr(239));
    EXPECT_THAT(frames, ElementsAre(frame));
}

TEST_F(ParserTest, AFrameHandlerThatThrowsLeavesTheRestPending) {
    bool thrown = false;
    events.onFrame = [&](std::string_view) {
        if (!std::exchange(thrown, true)) throw std::runtime_error("decoder failed");
    };
    SerialStreamParser throwing(events);
    const std::string frame = MakeFrame(230);
    throwing.AppendToRing(frame + frame.substr(0, 50));
    EXPECT_THROW(throwing.ParsePending(), std::runtime_error);
    EXPECT_EQ(throwing.RingPending(), 50u);
    EXPECT_FALSE(throwing.InFrame());
    throwing.AppendToRing(frame.substr(50));
    throwing.ParsePending();
    EXPECT_THAT(frames, ElementsAre(frame, frame));
}

}  // namespace
}  // namespace noxa
