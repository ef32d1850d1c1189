#include "links/reset_probe.h"

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace noxa {

void ResetProbe::Watch(qintptr descriptor) {
    Release();
#ifdef Q_OS_LINUX
    if (descriptor >= 0) descriptor_ = ::fcntl(static_cast<int>(descriptor), F_DUPFD_CLOEXEC, 0);
#else
    Q_UNUSED(descriptor);
#endif
}

bool ResetProbe::WasReset() const {
#ifdef Q_OS_LINUX
    if (descriptor_ < 0) return false;
    tcp_info info{};
    socklen_t length = sizeof info;
    if (::getsockopt(descriptor_, IPPROTO_TCP, TCP_INFO, &info, &length) != 0) return false;
    return info.tcpi_state == TCP_CLOSE;
#else
    return false;
#endif
}

void ResetProbe::Release() {
#ifdef Q_OS_LINUX
    if (descriptor_ >= 0) ::close(descriptor_);
#endif
    descriptor_ = -1;
}

}  // namespace noxa
