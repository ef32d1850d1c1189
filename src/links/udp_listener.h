#pragma once

#include <QByteArrayView>
#include <QObject>

#include <functional>
#include <string_view>

class QSocketNotifier;

namespace noxa {

class FormModel;

// Listens for the instrument's UDP broadcasts and hands the datagrams that name this station
// to the decoder, one at a time on the thread that owns the listener.
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
    UdpListener(FormModel& form, std::function<void(std::string_view)> decode,
                quint16 port = kPort);
    ~UdpListener() override;

    // Binds the port on all IPv4 addresses, sharing it with other listeners that allow it, with
    // broadcasts allowed. A listener that is already active stays as it is. On failure it logs
    // why and returns false; the station goes on without broadcasts and a later activation
    // tries again.
    bool Activate();
    bool IsActive() const { return socket_ >= 0; }
    quint16 LocalPort() const;

    // Handles one received datagram: cut at its first zero byte, copied to the log when
    // CBvermensaje is ticked, decoded when it contains the station name (Esitio).
    void IdUDPServer1UDPRead(QByteArrayView datagram);

private:
    void ReadPendingDatagrams();

    FormModel& form_;
    std::function<void(std::string_view)> decode_;
    quint16 port_;
    int socket_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace noxa
