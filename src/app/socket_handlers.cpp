#include "app/socket_handlers.h"

#include "app/link_state.h"
#include "app/serial_handlers.h"
#include "core/form_model.h"
#include "core/station_locale.h"
#include "links/tcp_sockets.h"
#include "time/station_clock.h"

#include <QByteArray>
#include <QObject>

#include <stdexcept>
#include <utility>

namespace noxa {
namespace {

// Log texts of the channel sockets 2, 3 and 4.
constexpr std::array<std::string_view, 3> kChannelNoise{"Ruido en Rojo", "Ruido en Green",
                                                        "Ruido en Blue"};

}  // namespace

void ChannelRing::Append(std::string_view text) {
    for (const char byte : text) {
        bytes[write] = byte;
        if (++write == kSize) write = 0;
    }
    pending += static_cast<std::uint32_t>(text.size());
}

SocketHandlers::SocketHandlers(FormModel& form, LinkState& link, SerialHandlers& serialFraming,
                               const StationClock& clock, const StationLocale& locale,
                               std::function<void()> recordIfDue)
    : form_(form),
      link_(link),
      serialFraming_(serialFraming),
      clock_(clock),
      locale_(locale),
      recordIfDue_(std::move(recordIfDue)) {}

std::size_t SocketHandlers::ChannelIndex(int number) {
    if (number < 2 || number > 4) throw std::out_of_range("not a channel socket");
    return static_cast<std::size_t>(number - 2);
}

void SocketHandlers::Attach(TcpSockets& sockets) {
    QObject::connect(&sockets, &TcpSockets::connecting, &sockets, [this](int number) {
        if (number == 1) ClientSocket1Connecting();
    });
    QObject::connect(&sockets, &TcpSockets::connected, &sockets, [this](int number) {
        if (number == 1) {
            ClientSocket1Connect();
        } else {
            ChannelSocketConnect(number);
        }
    });
    QObject::connect(&sockets, &TcpSockets::disconnected, &sockets, [this](int number) {
        if (number == 1) {
            ClientSocket1Disconnect();
        } else {
            ChannelSocketDisconnect(number);
        }
    });
    QObject::connect(&sockets, &TcpSockets::failed, &sockets, [this](int number) {
        if (number == 1) {
            ClientSocket1Error();
        } else {
            ChannelSocketError(number);
        }
    });
    QObject::connect(
        &sockets, &TcpSockets::received, &sockets, [this](int number, const QByteArray& text) {
            const std::string_view view(text.constData(), static_cast<std::size_t>(text.size()));
            if (number == 1) {
                ClientSocket1Read(view);
            } else {
                ChannelSocketRead(number, view);
            }
        });
}

std::string SocketHandlers::TimeStamp() const {
    const QDateTime now = clock_.Now();
    return locale_.ShortDate(now.date()) + " " + locale_.LongTime(now.time());
}

void SocketHandlers::ClientSocket1Connecting() {
    form_.AppendLog(LogLevel::Info, TimeStamp() + "  Connecting... ");
}

void SocketHandlers::ClientSocket1Connect() {
    form_.AppendLog(LogLevel::Info, TimeStamp() + " Connected 1 ok");
    link_.linkOpen = true;
}

void SocketHandlers::ClientSocket1Disconnect() {
    form_.AppendLog(LogLevel::Warning, "  Socket 1 Cerrado");
}

void SocketHandlers::ClientSocket1Error() {
    form_.AppendLog(LogLevel::Warning, " Socket error 1");
    link_.linkOpen = false;
}

void SocketHandlers::ClientSocket1Read(std::string_view text) {
    if (static_cast<qint64>(text.size()) > kMaxRead) {
        form_.AppendLog(LogLevel::Warning, "Ruido ");
        return;
    }
    if (recordIfDue_) recordIfDue_();
    form_.AppendLog(LogLevel::Info, "Red  " + std::to_string(text.size()));
    // The main link carries the instrument's reports in the serial framing.
    serialFraming_.ParseSocketText(text);
}

void SocketHandlers::ChannelSocketConnect(int number) {
    form_.AppendLog(LogLevel::Info, TimeStamp() + " Conectado " + std::to_string(number) + " ok");
}

void SocketHandlers::ChannelSocketDisconnect(int number) {
    form_.AppendLog(LogLevel::Warning, "  Socket " + std::to_string(number) + " Cerrado");
}

void SocketHandlers::ChannelSocketError(int number) {
    form_.AppendLog(LogLevel::Warning, "  Error Socket " + std::to_string(number));
}

void SocketHandlers::ChannelSocketRead(int number, std::string_view text) {
    const std::size_t channel = ChannelIndex(number);
    if (static_cast<qint64>(text.size()) > kMaxRead) {
        form_.AppendLog(LogLevel::Warning, kChannelNoise.at(channel));
        return;
    }
    rings_.at(channel).Append(text);
}

}  // namespace noxa
