#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace noxa {

// What the framing reports, as it walks the bytes: every call comes from inside the parse
// call that met the byte.
class FramingEvents {
public:
    // A "{" opened a frame.
    virtual void FrameStarted() = 0;
    // The open frame outgrew its 400-byte buffer: `position` is the write position that ran
    // past the end (401). The frame stays open and collection starts again at the front.
    virtual void FrameBufferOverflow(std::int32_t position) = 0;
    // The frame byte count passed 400 and starts again at 0; `position` is where the frame
    // buffer's write position then stands.
    virtual void FrameCountOverflow(std::int32_t position) = 0;
    // A frame completed: from its "{" to its closing "}}", valid until the next frame opens.
    virtual void FrameCompleted(std::string_view frame) = 0;

protected:
    ~FramingEvents() = default;
};

// Cuts the instrument's serial byte stream into frames. Bytes land in a 300-byte ring and the
// parser walks them from its read position: a frame opens at "{" and closes at a "}" that
// follows another "}" in the ring once the frame holds more than 220 bytes. Frame starts, the
// two overflows and completed frames are reported to the events.
//
// Pure logic: the serial port, TCP socket 1 and the automation interface put bytes in.
class SerialStreamParser {
public:
    static constexpr std::uint32_t kRingSize = 300;
    static constexpr std::int32_t kFrameCapacity = 400;
    // A "}}" ends the frame only when the frame then holds more than this many bytes.
    static constexpr std::int32_t kMinFrameLength = 220;
    // Fed texts of this length or more are dropped.
    static constexpr std::size_t kFeedLimit = 200;

    explicit SerialStreamParser(FramingEvents& events) : events_(events) {}

    // Writes the bytes into the ring at the write position, wrapping at 300, and counts them
    // as pending. Nothing is parsed; more than 300 unparsed bytes overwrite the oldest ones.
    void AppendToRing(std::string_view bytes);

    // Parses `count` bytes of the ring from the read position on.
    void ParseSerialStream(std::uint32_t count);
    void ParsePending() { ParseSerialStream(ringPending_); }

    // Text from the automation interface, taken up to its first zero byte: appended without
    // parsing when it is 1 to 199 bytes long, dropped otherwise. Returns whether it was taken.
    bool FeedRingText(std::string_view text);

    // Appends and parses a text of any length in slices small enough that no unparsed byte is
    // overwritten, and that the byte before each parsed one is still in the ring. Bytes already
    // pending are parsed first.
    void AppendAndParse(std::string_view text);

    // The data-file writer restarts the second frame byte count every time it runs.
    void ResetFrameByteCount() { frameByteCount_ = 0; }

    std::uint32_t RingWrite() const { return ringWrite_; }
    std::uint32_t RingRead() const { return ringRead_; }
    std::uint32_t RingPending() const { return ringPending_; }
    char RingByte(std::uint32_t position) const { return ring_[position % kRingSize]; }
    bool InFrame() const { return inFrame_; }
    std::int32_t FramePos() const { return framePos_; }
    std::int32_t FrameByteCount() const { return frameByteCount_; }
    // The bytes collected so far in the open frame.
    std::string_view FrameSoFar() const {
        return {frameBuffer_.data(), static_cast<std::size_t>(framePos_)};
    }
    std::uint64_t FramesCompleted() const { return framesCompleted_; }

private:
    void OpenFrame();
    // Handles one byte of the open frame; returns true when it completed the frame.
    bool CollectFrameByte(char byte);

    FramingEvents& events_;

    std::array<char, kRingSize> ring_{};
    std::uint32_t ringWrite_ = 0;
    std::uint32_t ringRead_ = 0;
    std::uint32_t ringPending_ = 0;

    bool inFrame_ = false;
    // Up to 400 frame bytes and a terminating zero.
    std::array<char, kFrameCapacity + 1> frameBuffer_{};
    std::int32_t framePos_ = 0;
    std::int32_t frameByteCount_ = 0;
    std::uint64_t framesCompleted_ = 0;
};

}  // namespace noxa
