#pragma once

#include "core/observation.h"
#include "links/serial_stream_parser.h"

#include <cstdint>
#include <functional>
#include <string_view>

namespace noxa {

class FormModel;
class LiveSums;

// The station's side of the serial framing, which the serial line, TCP socket 1 and the
// automation interface share: every frame start is a sign of life (the silence count starts again),
// the two overflows are logged, and a completed frame that names the station (Esitio), cut at its
// first zero byte, goes on as a report: from socket 1 while its text is parsed, from the serial
// line otherwise.
class SerialHandlers final : public FramingEvents {
public:
    using ReportHandler = std::function<void(std::string_view report, ReportSource source)>;

    SerialHandlers(FormModel& form, LiveSums& sums, ReportHandler onReport);
    SerialHandlers(const SerialHandlers&) = delete;
    SerialHandlers& operator=(const SerialHandlers&) = delete;

    SerialStreamParser& Framing() { return framing_; }
    const SerialStreamParser& Framing() const { return framing_; }

    // A text received on TCP socket 1: appended and parsed whole, its frames reports of the
    // socket.
    void ParseSocketText(std::string_view text);

    void FrameStarted() override;
    void FrameBufferOverflow(std::int32_t position) override;
    void FrameCountOverflow(std::int32_t position) override;
    void FrameCompleted(std::string_view frame) override;

private:
    FormModel& form_;
    LiveSums& sums_;
    ReportHandler onReport_;
    ReportSource source_ = ReportSource::Serial;
    SerialStreamParser framing_{*this};
};

}  // namespace noxa
