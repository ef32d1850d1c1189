#include "links/udp_listener.h"

#include <QSocketNotifier>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace noxa {
namespace {

// Room for bursts: with the default buffer a burst of reports loses datagrams. The system
// caps it at its own limit.
constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;
// Datagrams handled before the event loop gets a turn, so timers keep running under a flood.
constexpr int kDatagramsPerTurn = 256;

}  // namespace

UdpListener::~UdpListener() {
    delete notifier_;
    if (socket_ >= 0) ::close(socket_);
}

bool UdpListener::Activate() {
    if (IsActive()) return true;
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port_);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
        ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        if (fd >= 0) ::close(fd);
        emit openFailed(port_, reason);
        return false;
    }
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kReceiveBufferBytes, sizeof kReceiveBufferBytes);
    socket_ = fd;
    notifier_ = new QSocketNotifier(socket_, QSocketNotifier::Read);
    connect(notifier_, &QSocketNotifier::activated, this, &UdpListener::ReadPendingDatagrams);
    return true;
}

quint16 UdpListener::LocalPort() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (socket_ < 0 ||
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

void UdpListener::ReadPendingDatagrams() {
    std::array<char, kMaxDatagram> buffer;
    for (int handled = 0; handled < kDatagramsPerTurn; ++handled) {
        // A longer datagram is cut to the buffer; an empty one carries nothing to handle.
        const ssize_t size = ::recv(socket_, buffer.data(), buffer.size(), 0);
        if (size < 0) {
            if (errno == EINTR) continue;
            return;  // nothing more waiting (or a passing error): the notifier calls again
        }
        if (size == 0) continue;
        HandleDatagram(QByteArrayView(buffer.data(), static_cast<qsizetype>(size)));
    }
}

}  // namespace noxa
