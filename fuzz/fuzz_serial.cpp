// Bytes on the serial line, text from the automation service and from TCP socket 1, in any
// mix and split: the ring, the framing and the decoding of completed frames.
#include "core/broadcast_decoder.h"
#include "core/day_tables.h"
#include "core/form_model.h"
#include "core/live_sums.h"
#include "core/readings_presenter.h"
#include "core/station_locale.h"
#include "links/serial_stream_parser.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

// Every completed frame is decoded, whatever station it names.
struct Line final : noxa::FramingEvents {
    void FrameStarted() override { readings.RestartSilence(); }
    void FrameBufferOverflow(std::int32_t position) override {
        form.AppendLog(noxa::LogLevel::Warning, "Ruido posmeteo" + std::to_string(position));
    }
    void FrameCountOverflow(std::int32_t position) override {
        form.AppendLog(noxa::LogLevel::Warning, "Riodo posbufer" + std::to_string(position));
    }
    void FrameCompleted(std::string_view frame) override {
        const noxa::DecodedReport decoded = noxa::DecodeBroadcast(frame);
        readings.AddReport(decoded, 0);
        presenter.Present(decoded);
    }

    noxa::FormModel form;
    noxa::LiveSums readings;
    noxa::DayTables days;
    noxa::StationLocale locale = noxa::StationLocale::Fixed("%d/%m/%Y", "%H:%M:%S", ".");
    noxa::ReadingsPresenter presenter{form, days, locale};
    noxa::SerialStreamParser parser{*this};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Line* line = new Line;
    // Each chunk: one byte says what happens and how long the chunk is, then its bytes.
    while (size > 0) {
        const std::uint8_t op = data[0];
        const std::size_t length = std::min<std::size_t>(size - 1, op >> 2);
        const std::string_view chunk(reinterpret_cast<const char*>(data + 1), length);
        switch (op & 3) {
            case 0:  // a poll that found fewer than 300 bytes waiting
                line->parser.AppendToRing(chunk);
                line->parser.ParsePending();
                break;
            case 1:
                line->parser.FeedRingText(chunk);
                break;
            case 2:
                line->parser.AppendAndParse(chunk);
                break;
            case 3:
                line->parser.ResetFrameByteCount();
                break;
        }
        data += 1 + length;
        size -= 1 + length;
    }
    if (line->form.LogLines().size() > 100) line->form.ClearLog();
    return 0;
}
