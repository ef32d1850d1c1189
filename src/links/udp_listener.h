#pragma once

#include <QByteArrayView>
#include <QObject>
#include <QString>

#include <cstddef>

class QSocketNotifier;

namespace noxa {

// Listens for the instrument's UDP broadcasts and hands over every datagram it receives, one
// at a time on the thread that owns the listener.
//
// The socket is read through a level-triggered notifier, a batch of datagrams per turn of the
// event loop: under a flood the timers and the window keep running between batches, and the
// rest of the queue is read on the next turn.
class UdpListener : public QObject {
    Q_OBJECT

public:
    static constexpr quint16 kPort = 2255;
    static constexpr std::size_t kMaxDatagram = 8192;

    // `port` is 2255 for the station; tests pass 0 to get a free port.
    explicit UdpListener(quint16 port = kPort) : port_(port) {}
    ~UdpListener() override;

    // Binds the port on all IPv4 addresses, sharing it with other listeners that allow it, with
    // broadcasts allowed. A listener that is already active stays as it is. On failure it
    // signals openFailed and returns false; a later activation tries again.
    bool Activate();
    bool IsActive() const { return socket_ >= 0; }
    quint16 LocalPort() const;

    // Hands one received datagram on, as it came: datagramReceived.
    void HandleDatagram(QByteArrayView datagram) { emit datagramReceived(datagram); }

signals:
    // One datagram, at most kMaxDatagram bytes (a longer one is cut), never empty. The bytes
    // are valid during the call only.
    void datagramReceived(QByteArrayView datagram);
    // The port could not be bound; `reason` is the system's error text.
    void openFailed(quint16 port, const QString& reason);

private:
    void ReadPendingDatagrams();

    quint16 port_;
    int socket_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace noxa
