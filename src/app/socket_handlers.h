#pragma once

#include <QtGlobal>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace noxa {

class FormModel;
class SerialHandlers;
class StationClock;
class StationLocale;
class TcpSockets;
struct LinkState;

// The receive ring of one colour channel link (sockets 2 to 4). Nothing reads it yet; it
// keeps the latest 300 bytes and counts everything that arrived.
struct ChannelRing {
    static constexpr std::uint32_t kSize = 300;

    std::array<char, kSize> bytes{};
    std::uint32_t write = 0;    // next position to write, 0..299
    std::uint32_t pending = 0;  // grows by every byte appended

    void Append(std::string_view text);
};

// The station's handlers of the four TCP client sockets' events: every connection event
// writes its log line; socket 1 also sets linkOpen, makes data-file records due and passes its
// text through the serial framing; the channel sockets fill their rings.
class SocketHandlers {
public:
    // A single read longer than this counts as noise.
    static constexpr qint64 kMaxRead = 2000;

    SocketHandlers(FormModel& form, LinkState& link, SerialHandlers& serialFraming,
                   const StationClock& clock, const StationLocale& locale,
                   std::function<void()> recordIfDue);
    SocketHandlers(const SocketHandlers&) = delete;
    SocketHandlers& operator=(const SocketHandlers&) = delete;

    // Connects the sockets' events to the handlers below.
    void Attach(TcpSockets& sockets);

    void ClientSocket1Connecting();
    void ClientSocket1Connect();
    void ClientSocket1Disconnect();
    void ClientSocket1Error();
    void ClientSocket1Read(std::string_view text);
    void ChannelSocketConnect(int number);
    void ChannelSocketDisconnect(int number);
    void ChannelSocketError(int number);
    void ChannelSocketRead(int number, std::string_view text);

    // The channel ring of socket 2 (red), 3 (green) or 4 (blue).
    const ChannelRing& Ring(int number) const { return rings_.at(ChannelIndex(number)); }

private:
    static std::size_t ChannelIndex(int number);
    std::string TimeStamp() const;

    FormModel& form_;
    LinkState& link_;
    SerialHandlers& serialFraming_;
    const StationClock& clock_;
    const StationLocale& locale_;
    // Every socket-1 text asks whether a data-file record is due.
    std::function<void()> recordIfDue_;
    std::array<ChannelRing, 3> rings_;
};

}  // namespace noxa
