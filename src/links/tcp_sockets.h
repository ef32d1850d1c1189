#pragma once

#include "links/reset_probe.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTcpSocket>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace noxa {

class FormModel;
class SerialStreamParser;
class StationClock;
class StationLocale;
struct LinkState;
struct LiveReadings;

// The receive ring of one colour channel link (sockets 2 to 4). Nothing reads it yet; it
// keeps the latest 300 bytes and counts everything that arrived.
struct ChannelRing {
    static constexpr std::uint32_t kSize = 300;

    std::array<char, kSize> bytes{};
    std::uint32_t write = 0;    // next position to write, 0..299
    std::uint32_t pending = 0;  // grows by every byte appended

    void Append(std::string_view text);
};

// The four TCP client links: socket 1 is the main network link, sockets 2, 3 and 4 the red,
// green and blue channel links. They stay closed unless a host was given (Enable), and then
// connect only when asked (Open). Every connection event writes its log line; socket 1 also
// sets linkOpen, makes data-file lines due and passes its text through the serial framing.
class TcpSockets : public QObject {
    Q_OBJECT

public:
    static constexpr std::size_t kCount = 4;
    static constexpr std::array<quint16, kCount> kDefaultPorts{1244, 1236, 1237, 1238};
    // A single read longer than this counts as noise.
    static constexpr qint64 kMaxRead = 2000;

    TcpSockets(FormModel& form, LiveReadings& readings, LinkState& link,
               SerialStreamParser& serialFraming, const StationClock& clock,
               const StationLocale& locale, std::function<void()> recordIfDue);
    ~TcpSockets() override;

    // Allows the sockets to connect to `host`. Without it Open does nothing.
    void Enable(QString host) { host_ = std::move(host); }
    bool Enabled() const { return !host_.isEmpty(); }
    const QString& Host() const { return host_; }
    void SetPorts(std::array<quint16, kCount> ports) { ports_ = ports; }
    const std::array<quint16, kCount>& Ports() const { return ports_; }

    // Starts connecting every socket that is neither connected nor on its way there.
    void Open();

    // Sockets by their number, 1 to 4.
    QTcpSocket& ClientSocket(int number) { return sockets_.at(Index(number)); }
    QTcpSocket& ClientSocket1() { return sockets_[0]; }
    QTcpSocket& ClientSocket2() { return sockets_[1]; }
    QTcpSocket& ClientSocket3() { return sockets_[2]; }
    QTcpSocket& ClientSocket4() { return sockets_[3]; }

    // Sends the text on socket `number` when it is connected; sends nothing otherwise.
    bool SendText(int number, std::string_view text);

    // The channel ring of socket 2 (red), 3 (green) or 4 (blue).
    const ChannelRing& Ring(int number) const { return rings_.at(Index(number) - 1); }

    // Event handlers, called by the sockets' signals.
    void ClientSocket1Connecting();
    void ClientSocket1Connect();
    void ClientSocket1Disconnect();
    void ClientSocket1Error();
    void ClientSocket1Read(std::string_view text);
    void ChannelSocketConnect(int number);
    void ChannelSocketDisconnect(int number);
    void ChannelSocketError(int number);
    void ChannelSocketRead(int number, std::string_view text);

signals:
    // A text went out on a connected socket.
    void textSent(int number, const QByteArray& text);

private:
    static std::size_t Index(int number);
    std::string TimeStamp() const;
    void Wire(int number);

    FormModel& form_;
    LiveReadings& readings_;
    LinkState& link_;
    SerialStreamParser& serialFraming_;
    const StationClock& clock_;
    const StationLocale& locale_;
    // Every socket-1 text asks whether a data-file record is due.
    std::function<void()> recordIfDue_;
    QString host_;
    std::array<quint16, kCount> ports_ = kDefaultPorts;
    std::array<QTcpSocket, kCount> sockets_;
    std::array<ChannelRing, kCount - 1> rings_;
    std::array<QAbstractSocket::SocketState, kCount> lastState_{};
    std::array<ResetProbe, kCount> resetProbes_;
};

}  // namespace noxa
