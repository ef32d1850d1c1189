#include "links/udp_listener.h"

#include "core/form_model.h"

#include <QMetaObject>
#include <QVariant>

#include <array>
#include <cstring>
#include <utility>

namespace noxa {
namespace {

// Room for bursts: with the default buffer a burst of reports loses datagrams.
constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;
// Datagrams handled before the event loop gets a turn, so timers keep running under a flood.
constexpr int kDatagramsPerTurn = 256;

}  // namespace

UdpListener::UdpListener(FormModel& form, std::function<void(std::string_view)> decode,
                         quint16 port)
    : form_(form), decode_(std::move(decode)), port_(port) {
    connect(&socket_, &QUdpSocket::readyRead, this, &UdpListener::ReadPendingDatagrams);
}

bool UdpListener::Activate() {
    if (IsActive()) return true;
    if (!socket_.bind(QHostAddress::AnyIPv4, port_,
                      QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint)) {
        form_.AppendLog("UDP port " + std::to_string(port_) + " could not be opened: " +
                        socket_.errorString().toStdString() + ". No broadcasts will be received.");
        socket_.abort();
        return false;
    }
    socket_.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption,
                            QVariant(kReceiveBufferBytes));
    return true;
}

void UdpListener::IdUDPServer1UDPRead(QByteArrayView datagram) {
    const char* data = datagram.data();
    const void* zero = std::memchr(data, '\0', static_cast<std::size_t>(datagram.size()));
    const std::size_t length = zero
                                   ? static_cast<std::size_t>(static_cast<const char*>(zero) - data)
                                   : static_cast<std::size_t>(datagram.size());
    const std::string_view message(data, length);

    if (form_.Checked(FormCheck::CBvermensaje)) form_.AppendLog(message);

    const std::string& station = form_.Text(FormText::Esitio);
    if (station.empty() || message.find(station) == std::string_view::npos) return;
    decode_(message);
}

void UdpListener::ReadPendingDatagrams() {
    std::array<char, kMaxDatagram> buffer;
    for (int handled = 0; socket_.hasPendingDatagrams(); ++handled) {
        if (handled == kDatagramsPerTurn) {
            // Let timers and the window run, then carry on with the rest.
            QMetaObject::invokeMethod(this, &UdpListener::ReadPendingDatagrams,
                                      Qt::QueuedConnection);
            return;
        }
        // A longer datagram is cut to the buffer; an empty one carries nothing to handle.
        const qint64 size = socket_.readDatagram(buffer.data(), kMaxDatagram);
        if (size < 0) return;  // a receive error: the next datagram gets a new readyRead
        if (size == 0) continue;
        IdUDPServer1UDPRead(QByteArrayView(buffer.data(), size));
    }
}

}  // namespace noxa
