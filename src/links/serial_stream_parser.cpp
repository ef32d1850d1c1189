#include "links/serial_stream_parser.h"

#include <algorithm>
#include <cstring>

namespace noxa {

void SerialStreamParser::AppendToRing(std::string_view bytes) {
    for (const char byte : bytes) {
        ring_[ringWrite_] = byte;
        if (++ringWrite_ == kRingSize) ringWrite_ = 0;
    }
    ringPending_ += static_cast<std::uint32_t>(bytes.size());
}

bool SerialStreamParser::FeedRingText(std::string_view text) {
    // The automation interface hands over a zero-terminated text.
    const std::size_t zero = text.find('\0');
    if (zero != std::string_view::npos) text = text.substr(0, zero);
    if (text.empty() || text.size() >= kFeedLimit) return false;
    AppendToRing(text);
    return true;
}

void SerialStreamParser::AppendAndParse(std::string_view text) {
    ParsePending();
    // Each slice leaves the ring byte just before it alone, so a "}}" split between two
    // slices is still seen.
    constexpr std::size_t kSlice = kRingSize - 1;
    while (!text.empty()) {
        const std::size_t n = std::min(text.size(), kSlice);
        AppendToRing(text.substr(0, n));
        ParsePending();
        text.remove_prefix(n);
    }
}

void SerialStreamParser::OpenFrame() {
    inFrame_ = true;
    framePos_ = 0;
    std::memset(frameBuffer_.data(), 0, kFrameCapacity);
    events_.FrameStarted();
}

bool SerialStreamParser::CollectFrameByte(char byte) {
    frameBuffer_[static_cast<std::size_t>(framePos_)] = byte;
    ++framePos_;
    if (framePos_ > kFrameCapacity) {
        // The frame stays open and collection starts again at the front of the buffer.
        const std::int32_t position = framePos_;
        framePos_ = 0;
        events_.FrameBufferOverflow(position);
    }
    ++frameByteCount_;
    if (frameByteCount_ > kFrameCapacity) {
        frameByteCount_ = 0;
        events_.FrameCountOverflow(framePos_);
    }
    if (byte != '}' || framePos_ <= kMinFrameLength) return false;
    const std::uint32_t before = ringRead_ == 0 ? kRingSize - 1 : ringRead_ - 1;
    return ring_[before] == '}';
}

void SerialStreamParser::ParseSerialStream(std::uint32_t count) {
    for (; count > 0; --count) {
        const char byte = ring_[ringRead_];
        if (!inFrame_ && byte == '{') OpenFrame();
        const bool complete = inFrame_ && CollectFrameByte(byte);

        if (++ringRead_ == kRingSize) ringRead_ = 0;
        --ringPending_;

        if (complete) {
            const std::size_t length = static_cast<std::size_t>(framePos_);
            frameBuffer_[length] = '\0';
            framePos_ = 0;
            frameByteCount_ = 0;
            inFrame_ = false;
            ++framesCompleted_;
            // The buffer keeps the frame until the next one opens. The parser's own state is
            // settled first, so a handler that throws leaves the rest of the bytes pending.
            events_.FrameCompleted(std::string_view(frameBuffer_.data(), length));
        }
    }
}

}  // namespace noxa
