#include "app/instrument_commands.h"

#include "app/link_state.h"
#include "core/form_model.h"
#include "core/station_config.h"
#include "links/serial_link.h"
#include "links/tcp_sockets.h"

namespace noxa {

InstrumentCommands::InstrumentCommands(FormModel& form, const StationConfig& config,
                                       const LinkState& link, SerialLink& serial,
                                       TcpSockets* sockets)
    : form_(form), config_(config), link_(link), serial_(serial), sockets_(sockets) {}

bool InstrumentCommands::Send(std::initializer_list<std::string_view> serialTexts,
                              std::initializer_list<SocketText> socketTexts) {
    if (!link_.linkOpen) return false;
    if (config_.SerialMode()) {
        // A failed or short write is not retried.
        for (const std::string_view text : serialTexts) serial_.Write(text);
    } else if (sockets_ != nullptr) {
        for (const SocketText& send : socketTexts) sockets_->SendText(send.socket, send.text);
    }
    return true;
}

void InstrumentCommands::FastReadings() {
    if (!Send(
            {kFourPerSecond},
            {{1, kFourPerSecond}, {2, kFourPerSecond}, {3, kFourPerSecond}, {4, kFourPerSecond}})) {
        return;
    }
    form_.AppendLog(LogLevel::Info, "Lectura rapida");
}

void InstrumentCommands::SlowReadings() {
    // Only socket 1 gets the "<s>".
    if (!Send({kOnePerSecond, kStart}, {{1, kOnePerSecond},
                                        {1, kStart},
                                        {2, kOnePerSecond},
                                        {3, kOnePerSecond},
                                        {4, kOnePerSecond}})) {
        return;
    }
    form_.AppendLog(LogLevel::Info, "Lectura lenta");
}

void InstrumentCommands::AskVersion() {
    Send({kVersion}, {{1, kVersion}, {2, kVersion}, {3, kVersion}, {4, kVersion}});
}

void InstrumentCommands::AskBurst() {
    Send({kBurst}, {{1, kBurst}});
}

}  // namespace noxa
