#pragma once

#include "links/serial_stream_parser.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace noxa::test {

// A frame of `length` bytes (at least 40) shaped like an instrument report: it opens with
// "{", holds nested braces and ends with "}}".
inline std::string MakeFrame(std::size_t length, char fill = 'a') {
    std::string frame = R"({"name":"qelvoxxx","F1":{"freq":1.5},)";
    frame.resize(length - 2, fill);
    return frame + "}}";
}

// Records what a framing reports: frame starts counted, overflows as "buffer <n>" and
// "count <n>", completed frames; `onFrame` runs after each frame is recorded.
struct FramingRecorder final : FramingEvents {
    void FrameStarted() override { ++starts; }
    void FrameBufferOverflow(std::int32_t position) override {
        overflows.push_back("buffer " + std::to_string(position));
    }
    void FrameCountOverflow(std::int32_t position) override {
        overflows.push_back("count " + std::to_string(position));
    }
    void FrameCompleted(std::string_view frame) override {
        frames.emplace_back(frame);
        if (onFrame) onFrame(frame);
    }

    int starts = 0;
    std::vector<std::string> overflows;
    std::vector<std::string> frames;
    std::function<void(std::string_view)> onFrame;
};

}  // namespace noxa::test
