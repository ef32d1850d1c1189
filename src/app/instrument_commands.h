#pragma once

#include <initializer_list>
#include <string_view>

namespace noxa {

class FormModel;
class SerialLink;
class TcpSockets;
struct LinkState;
struct StationConfig;

// The instrument's text commands, sent as written with no terminator: on the serial port in
// serial mode, on the TCP sockets in network mode, and only while the link is open.
class InstrumentCommands {
public:
    static constexpr std::string_view kFourPerSecond = "<P001>";
    static constexpr std::string_view kOnePerSecond = "<P010>";
    static constexpr std::string_view kStart = "<s>";
    static constexpr std::string_view kVersion = "<V>";
    static constexpr std::string_view kBurst = "<S>";

    // `sockets` may be null: network mode then sends nothing.
    InstrumentCommands(FormModel& form, const StationConfig& config, const LinkState& link,
                       SerialLink& serial, TcpSockets* sockets);

    // Four readings a second: "<P001>" on all four sockets. Logs "Lectura rapida".
    void FastReadings();
    // One reading a second: "<P010>" and "<s>" on socket 1, then "<P010>" on the channel
    // sockets. Logs "Lectura lenta".
    void SlowReadings();
    // Asks for the firmware version: "<V>" on all four sockets.
    void AskVersion();
    // Asks for a burst of readings: "<S>" on socket 1 only.
    void AskBurst();

private:
    struct SocketText {
        int socket;
        std::string_view text;
    };
    // Sends the serial texts in order on the port in serial mode, the socket texts in order
    // in network mode. Returns false when the link is not open and nothing was sent.
    bool Send(std::initializer_list<std::string_view> serialTexts,
              std::initializer_list<SocketText> socketTexts);

    FormModel& form_;
    const StationConfig& config_;
    const LinkState& link_;
    SerialLink& serial_;
    TcpSockets* sockets_;
};

}  // namespace noxa
