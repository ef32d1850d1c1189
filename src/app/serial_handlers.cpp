#include "app/serial_handlers.h"

#include "core/form_model.h"
#include "core/live_sums.h"
#include "core/report_filter.h"

#include <string>
#include <utility>

namespace noxa {

SerialHandlers::SerialHandlers(FormModel& form, LiveSums& sums, ReportHandler onReport)
    : form_(form), sums_(sums), onReport_(std::move(onReport)) {}

void SerialHandlers::ParseSocketText(std::string_view text) {
    // Restored however the parse ends, a handler that throws included.
    struct SourceScope {
        ReportSource& source;
        ~SourceScope() { source = ReportSource::Serial; }
    } scope{source_};
    source_ = ReportSource::Socket;
    framing_.AppendAndParse(text);
}

void SerialHandlers::FrameStarted() {
    sums_.RestartSilence();
}

void SerialHandlers::FrameBufferOverflow(std::int32_t position) {
    form_.AppendLog(LogLevel::Warning, "Ruido posmeteo" + std::to_string(position));
}

void SerialHandlers::FrameCountOverflow(std::int32_t position) {
    form_.AppendLog(LogLevel::Warning, "Riodo posbufer" + std::to_string(position));
}

void SerialHandlers::FrameCompleted(std::string_view frame) {
    // Line noise and other instruments' reports are framed too, but never decoded.
    const std::string_view report = UpToFirstZero(frame);
    if (!NamesStation(report, form_.Text(FormText::Esitio))) return;
    if (onReport_) onReport_(report, source_);
}

}  // namespace noxa
