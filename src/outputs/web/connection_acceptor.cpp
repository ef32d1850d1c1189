#include "outputs/web/connection_acceptor.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace noxa {
namespace {

using Clock = std::chrono::steady_clock;

// The first byte of a TLS handshake record: a client speaking https to the http port.
constexpr unsigned char kTlsHandshake = 0x16;
// How long a refused connection may take to read its answer and close.
constexpr auto kLinger = std::chrono::seconds(2);
// How often accepting is tried again while descriptors lack.
constexpr auto kRetry = std::chrono::seconds(1);

constexpr char kTooMany[] =
    "HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain; charset=utf-8\r\n"
    "Content-Length: 20\r\nRetry-After: 1\r\nConnection: close\r\n\r\nToo many connections";

// Whom a connection counts against: its IPv4 address, or the /64 network of its IPv6 address
// (one machine commonly has a whole /64 to choose from).
std::string ClientOf(const sockaddr* address) {
    if (address->sa_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
        return std::string(reinterpret_cast<const char*>(&v4->sin_addr), 4);
    }
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
    const auto* bytes = reinterpret_cast<const char*>(&v6->sin6_addr);
    if (IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr)) return std::string(bytes + 12, 4);
    return std::string(bytes, 8);
}

bool OutOfDescriptors(int error) {
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

// Connections and the station's own files share the open-files limit: take all the system
// allows.
void RaiseOpenFilesLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
}

}  // namespace

ConnectionAcceptor::ConnectionAcceptor(const WebLimits& limits, Say say)
    : limits_(limits), say_(std::move(say)) {}

ConnectionAcceptor::~ConnectionAcceptor() {
    Stop();
}

void ConnectionAcceptor::Stop() {
    stop_ = true;
    WakeAll();
    for (const auto& loop : loops_) {
        if (loop->thread.joinable()) loop->thread.join();
        for (const Refused& refused : loop->refused) ::close(refused.descriptor);
        for (const Waiting& waiting : loop->waiting) ::close(waiting.descriptor);
        ::close(loop->wake);
    }
    loops_.clear();
    if (listener_ >= 0) ::close(listener_);
    listener_ = -1;
}

bool ConnectionAcceptor::Listen(const QHostAddress& address, quint16 port,
                                const std::vector<Server*>& servers, QString& error) {
    RaiseOpenFilesLimit();
    sockaddr_storage storage{};
    socklen_t size = 0;
    const bool v6 = address.protocol() == QAbstractSocket::IPv6Protocol;
    if (v6) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, bytes.c, 16);
        size = sizeof(sockaddr_in6);
    } else {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&storage);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(port);
        in4->sin_addr.s_addr = htonl(address.toIPv4Address());
        size = sizeof(sockaddr_in);
    }
    const int fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&storage), size) != 0 || ::listen(fd, 128) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        if (fd >= 0) ::close(fd);
        return false;
    }
    socklen_t got = sizeof storage;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &got);
    port_ = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port
                     : reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
    listener_ = fd;
    for (Server* server : servers) {
        auto loop = std::make_unique<Loop>();
        loop->server = server;
        loop->wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        loops_.push_back(std::move(loop));
    }
    for (const auto& loop : loops_)
        loop->thread = std::thread([this, &loop = *loop] { Run(loop); });
    return true;
}

void ConnectionAcceptor::WakeAll() {
    const std::uint64_t one = 1;
    for (const auto& loop : loops_) std::ignore = ::write(loop->wake, &one, sizeof one);
}

void ConnectionAcceptor::Closed(const sockaddr* address) {
    bool wasFull = false;
    {
        std::lock_guard lock(mutex_);
        wasFull = open_ >= limits_.maxConnections;
        --open_;
        const auto at = perClient_.find(ClientOf(address));
        if (at != perClient_.end() && --at->second <= 0) perClient_.erase(at);
    }
    // Only a full server may have stopped listening: it looks again now that a slot is free.
    if (wasFull) WakeAll();
}

// Keeps whether accepting lacks descriptors (`enough` false, for the system's `error`), and
// says so once, and once when it accepts again.
void ConnectionAcceptor::NoteDescriptors(bool enough, int error) {
    if (enough && !shortOfDescriptors_) return;  // as nearly always
    {
        std::lock_guard lock(mutex_);
        if (!enough) retryAt_ = Clock::now() + kRetry;
        if (enough == !shortOfDescriptors_) return;
        shortOfDescriptors_ = !enough;
    }
    if (enough)
        say_(LogLevel::Info, "Web server accepts connections again.");
    else
        say_(LogLevel::Warning, std::string("Web server cannot accept connections for now: ") +
                                    std::strerror(error) + ".");
}

// Whether a new connection can be taken or answered now; otherwise it waits in the system's
// queue.
bool ConnectionAcceptor::Accepting() const {
    std::lock_guard lock(mutex_);
    if (shortOfDescriptors_ && Clock::now() < retryAt_) return false;
    return open_ < limits_.maxConnections || refusing_ < limits_.maxRefusing;
}

bool ConnectionAcceptor::RetryDue() const {
    std::lock_guard lock(mutex_);
    return shortOfDescriptors_ && Clock::now() >= retryAt_;
}

void ConnectionAcceptor::Run(Loop& loop) {
    std::vector<pollfd> watched;
    std::vector<int> readable;
    while (!stop_) {
        const bool accepting = Accepting();
        watched.assign({{loop.wake, POLLIN, 0},
                        {loop.server->Descriptor(), POLLIN, 0},
                        {listener_, short(accepting ? POLLIN : 0), 0}});
        const auto now = Clock::now();
        auto next = now + std::chrono::hours(1);
        for (const Refused& refused : loop.refused) {
            watched.push_back({refused.descriptor, POLLIN, 0});
            next = std::min(next, refused.until);
        }
        for (const Waiting& waiting : loop.waiting) {
            watched.push_back({waiting.descriptor, POLLIN, 0});
            next = std::min(next, waiting.until);
        }
        if (const long long due = loop.server->Due(); due >= 0)
            next = std::min(next, now + std::chrono::milliseconds(due));
        if (!accepting) next = std::min(next, now + kRetry);
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - now);
        ::poll(watched.data(), watched.size(), int(std::max<long>(0, wait.count())));
        if (watched[0].revents != 0) {
            std::uint64_t count = 0;
            std::ignore = ::read(loop.wake, &count, sizeof count);
        }
        readable.clear();
        for (std::size_t i = 3; i < watched.size(); ++i) {
            if (watched[i].revents != 0) readable.push_back(watched[i].fd);
        }
        ServeRefused(loop, readable);
        ServeWaiting(loop, readable);
        if (watched[2].revents != 0 || RetryDue()) AcceptWaiting(loop);
        loop.server->Serve();
    }
}

// Takes what the system's queue holds, a bounded number at a time so that the connections
// already taken are still looked after.
void ConnectionAcceptor::AcceptWaiting(Loop& loop) {
    constexpr int kBatch = 32;
    for (int taken = 0; taken < kBatch && Accepting() && AcceptOne(loop); ++taken) {
    }
}

bool ConnectionAcceptor::AcceptOne(Loop& loop) {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    const int fd = ::accept4(listener_, reinterpret_cast<sockaddr*>(&address), &size,
                             SOCK_NONBLOCK | SOCK_CLOEXEC);
    NoteDescriptors(fd >= 0 || !OutOfDescriptors(errno), errno);
    if (fd < 0) return false;
    const auto* from = reinterpret_cast<const sockaddr*>(&address);
    const std::string client = ClientOf(from);
    {
        std::lock_guard lock(mutex_);
        int& mine = perClient_[client];
        if (open_ >= limits_.maxConnections || mine >= limits_.maxConnectionsPerClient) {
            if (mine == 0) perClient_.erase(client);
            if (refusing_ < limits_.maxRefusing) {
                ++refusing_;
                Refuse(loop, fd);
            } else {
                ::close(fd);
            }
            return true;
        }
        ++mine;
        ++open_;
    }
    const Waiting connection{fd, address, size,
                             Clock::now() + std::chrono::seconds(limits_.timeoutSeconds)};
    // Most clients send their request with the connection: it is handed on at once.
    unsigned char first = 0;
    const ssize_t peeked = ::recv(fd, &first, 1, MSG_PEEK | MSG_DONTWAIT);
    if (peeked < 0 && errno == EAGAIN)
        loop.waiting.push_back(connection);
    else
        HandOn(loop, connection, peeked, first);
    return true;
}

void ConnectionAcceptor::HandOn(Loop& loop, const Waiting& connection) {
    unsigned char first = 0;
    const ssize_t peeked = ::recv(connection.descriptor, &first, 1, MSG_PEEK | MSG_DONTWAIT);
    HandOn(loop, connection, peeked, first);
}

void ConnectionAcceptor::HandOn(Loop& loop, const Waiting& connection, ssize_t peeked,
                                unsigned char first) {
    const auto* from = reinterpret_cast<const sockaddr*>(&connection.address);
    if (peeked == 1 && first != kTlsHandshake) {
        if (!loop.server->Take(connection.descriptor, from, connection.size)) Closed(from);
        return;
    }
    ::close(connection.descriptor);
    Closed(from);
}

void ConnectionAcceptor::ServeWaiting(Loop& loop, const std::vector<int>& readable) {
    const auto now = Clock::now();
    std::erase_if(loop.waiting, [&](const Waiting& waiting) {
        const bool sent =
            std::find(readable.begin(), readable.end(), waiting.descriptor) != readable.end();
        if (!sent && now < waiting.until) return false;
        HandOn(loop, waiting);
        return true;
    });
}

// The 503 goes out at once and the sending side is shut; what the client sends meanwhile is
// read and dropped, so that closing never turns into a reset that could lose the answer.
void ConnectionAcceptor::Refuse(Loop& loop, int fd) {
    std::ignore = ::send(fd, kTooMany, sizeof kTooMany - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    ::shutdown(fd, SHUT_WR);
    loop.refused.push_back({fd, Clock::now() + kLinger});
}

void ConnectionAcceptor::ServeRefused(Loop& loop, const std::vector<int>& readable) {
    const auto now = Clock::now();
    const auto before = loop.refused.size();
    std::erase_if(loop.refused, [&](const Refused& refused) {
        bool done = now >= refused.until;
        if (!done &&
            std::find(readable.begin(), readable.end(), refused.descriptor) != readable.end()) {
            char scratch[4096];
            const ssize_t n = ::recv(refused.descriptor, scratch, sizeof scratch, MSG_DONTWAIT);
            done = n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR);
        }
        if (done) ::close(refused.descriptor);
        return done;
    });
    if (loop.refused.size() == before) return;
    std::lock_guard lock(mutex_);
    refusing_ -= static_cast<int>(before - loop.refused.size());
}

}  // namespace noxa
