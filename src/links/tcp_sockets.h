#pragma once

#include "links/reset_probe.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTcpSocket>

#include <array>
#include <cstddef>
#include <string_view>
#include <utility>

namespace noxa {

// The four TCP client links: socket 1 is the main network link, sockets 2, 3 and 4 the red,
// green and blue channel links. They stay closed unless a host was given (Enable), and then
// connect only when asked (Open). Each socket's connection events and received texts are
// signalled with its number, 1 to 4; what they mean for the station is for its handlers.
class TcpSockets : public QObject {
    Q_OBJECT

public:
    static constexpr std::size_t kCount = 4;
    static constexpr std::array<quint16, kCount> kDefaultPorts{1244, 1236, 1237, 1238};

    TcpSockets() { Wire(); }
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

    // Sends the text on socket `number` when it is connected; sends nothing otherwise.
    bool SendText(int number, std::string_view text);

signals:
    // A connection attempt began; reported once per attempt, however many addresses the host
    // name has.
    void connecting(int number);
    void connected(int number);
    // The far end closed the connection politely.
    void disconnected(int number);
    // The connection could not be made or broke; a far end that resets it counts here.
    void failed(int number);
    // Everything that was waiting on the socket, as one text.
    void received(int number, const QByteArray& text);
    // A text went out on a connected socket.
    void textSent(int number, const QByteArray& text);

private:
    static std::size_t Index(int number);
    void Wire();
    void Wire(int number);

    QString host_;
    std::array<quint16, kCount> ports_ = kDefaultPorts;
    std::array<QTcpSocket, kCount> sockets_;
    std::array<QAbstractSocket::SocketState, kCount> lastState_{};
    std::array<ResetProbe, kCount> resetProbes_;
};

}  // namespace noxa
