#include "links/tcp_sockets.h"

#include "core/form_model.h"
#include "core/live_readings.h"
#include "core/station_locale.h"
#include "links/link_state.h"
#include "links/serial_stream_parser.h"
#include "time/station_clock.h"

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

TcpSockets::TcpSockets(FormModel& form, LiveReadings& readings, LinkState& link,
                       SerialStreamParser& serialFraming, const StationClock& clock,
                       const StationLocale& locale, std::function<void()> recordIfDue)
    : form_(form),
      readings_(readings),
      link_(link),
      serialFraming_(serialFraming),
      clock_(clock),
      locale_(locale),
      recordIfDue_(std::move(recordIfDue)) {
    for (int number = 1; number <= static_cast<int>(kCount); ++number) Wire(number);
}

TcpSockets::~TcpSockets() {
    // Sockets still connected close as they are destroyed; their events must not reach
    // handlers of a station that is going away.
    for (QTcpSocket& socket : sockets_) {
        disconnect(&socket, nullptr, this, nullptr);
        socket.abort();
    }
}

std::size_t TcpSockets::Index(int number) {
    if (number < 1 || number > static_cast<int>(kCount)) {
        throw std::out_of_range("TCP socket number out of range");
    }
    return static_cast<std::size_t>(number - 1);
}

void TcpSockets::Wire(int number) {
    QTcpSocket& socket = sockets_[Index(number)];
    connect(&socket, &QAbstractSocket::stateChanged, this,
            [this, number](QAbstractSocket::SocketState state) {
                QAbstractSocket::SocketState& last = lastState_[Index(number)];
                // Several addresses of one host name each pass through the connecting state;
                // the event is reported once per connection attempt.
                const bool connecting = state == QAbstractSocket::ConnectingState &&
                                        last != QAbstractSocket::ConnectingState;
                last = state;
                if (connecting && number == 1) ClientSocket1Connecting();
                if (state == QAbstractSocket::UnconnectedState)
                    resetProbes_[Index(number)].Release();
            });
    connect(&socket, &QAbstractSocket::connected, this, [this, number, &socket] {
        resetProbes_[Index(number)].Watch(socket.socketDescriptor());
        if (number == 1) {
            ClientSocket1Connect();
        } else {
            ChannelSocketConnect(number);
        }
    });
    connect(&socket, &QAbstractSocket::disconnected, this, [this, number] {
        if (number == 1) {
            ClientSocket1Disconnect();
        } else {
            ChannelSocketDisconnect(number);
        }
    });
    connect(&socket, &QAbstractSocket::errorOccurred, this,
            [this, number](QAbstractSocket::SocketError error) {
                // The far end closing is a disconnect, reported by its own event; a far end
                // that resets the connection is an error all the same.
                if (error == QAbstractSocket::RemoteHostClosedError &&
                    !resetProbes_[Index(number)].WasReset()) {
                    return;
                }
                if (number == 1) {
                    ClientSocket1Error();
                } else {
                    ChannelSocketError(number);
                }
            });
    connect(&socket, &QIODevice::readyRead, this, [this, number, &socket] {
        // All waiting data is one received text.
        const QByteArray text = socket.readAll();
        if (text.isEmpty()) return;
        const std::string_view view(text.constData(), static_cast<std::size_t>(text.size()));
        if (number == 1) {
            ClientSocket1Read(view);
        } else {
            ChannelSocketRead(number, view);
        }
    });
}

void TcpSockets::Open() {
    if (!Enabled()) return;
    for (std::size_t i = 0; i < kCount; ++i) {
        QTcpSocket& socket = sockets_[i];
        if (socket.state() != QAbstractSocket::UnconnectedState) continue;
        socket.connectToHost(host_, ports_[i]);
    }
}

bool TcpSockets::SendText(int number, std::string_view text) {
    QTcpSocket& socket = sockets_[Index(number)];
    if (socket.state() != QAbstractSocket::ConnectedState) return false;
    const QByteArray bytes(text.data(), static_cast<qsizetype>(text.size()));
    const bool taken = socket.write(bytes) == bytes.size();
    socket.flush();
    emit textSent(number, bytes);
    return taken;
}

std::string TcpSockets::TimeStamp() const {
    const QDateTime now = clock_.Now();
    return locale_.ShortDate(now.date()) + " " + locale_.LongTime(now.time());
}

void TcpSockets::ClientSocket1Connecting() {
    form_.AppendLog(TimeStamp() + "  Connecting... ");
}

void TcpSockets::ClientSocket1Connect() {
    form_.AppendLog(TimeStamp() + " Connected 1 ok");
    link_.linkOpen = true;
}

void TcpSockets::ClientSocket1Disconnect() {
    form_.AppendLog("  Socket 1 Cerrado");
}

void TcpSockets::ClientSocket1Error() {
    form_.AppendLog(" Socket error 1");
    link_.linkOpen = false;
}

void TcpSockets::ClientSocket1Read(std::string_view text) {
    if (static_cast<qint64>(text.size()) > kMaxRead) {
        form_.AppendLog("Ruido ");
        return;
    }
    if (recordIfDue_) recordIfDue_();
    form_.AppendLog("Red  " + std::to_string(text.size()));
    // The main link carries the instrument's reports in the serial framing.
    serialFraming_.AppendAndParse(text);
}

void TcpSockets::ChannelSocketConnect(int number) {
    form_.AppendLog(TimeStamp() + " Conectado " + std::to_string(number) + " ok");
}

void TcpSockets::ChannelSocketDisconnect(int number) {
    form_.AppendLog("  Socket " + std::to_string(number) + " Cerrado");
}

void TcpSockets::ChannelSocketError(int number) {
    form_.AppendLog("  Error Socket " + std::to_string(number));
}

void TcpSockets::ChannelSocketRead(int number, std::string_view text) {
    const std::size_t channel = Index(number) - 1;
    if (static_cast<qint64>(text.size()) > kMaxRead) {
        form_.AppendLog(kChannelNoise.at(channel));
        return;
    }
    rings_.at(channel).Append(text);
}

}  // namespace noxa
