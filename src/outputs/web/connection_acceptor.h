#pragma once

#include "core/station_log.h"
#include "outputs/web/web_limits.h"

#include <QHostAddress>
#include <QString>

#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace noxa {

// The web server's listening socket, on a thread of its own. It takes connections as long as
// the limits allow, in all and from one client, and hands each on once its first bytes came;
// those over a limit are answered 503 at once and closed once the client has read it. One that
// sends nothing within the timeout, or opens with a TLS handshake (someone tried https://), is
// closed at once. While descriptors run out it
// stops accepting (the system keeps the clients waiting) and looks again each second, so that
// it never spins, and says so once, and once when it accepts again.
class ConnectionAcceptor {
public:
    // Takes a connection just accepted; false when it could not, the descriptor then closed.
    using Hand = std::function<bool(int descriptor, const sockaddr* address, socklen_t size)>;
    // Says a line from the acceptor's thread.
    using Say = std::function<void(LogLevel level, std::string line)>;

    ConnectionAcceptor(const WebLimits& limits, Hand hand, Say say);
    ~ConnectionAcceptor();

    // Takes no more connections; those handed on stay with whom they were handed to.
    void Stop();

    bool Listen(const QHostAddress& address, quint16 port, QString& error);
    quint16 Port() const { return port_; }
    // A connection handed on has closed: its slot is free again.
    void Closed(const sockaddr* address);
    int OpenConnections() const { return open_; }

private:
    struct Refused {
        int descriptor;
        std::chrono::steady_clock::time_point until;
    };
    // A connection taken that has not sent anything yet.
    struct Waiting {
        int descriptor;
        sockaddr_storage address;
        socklen_t size;
        std::chrono::steady_clock::time_point until;
    };
    void Run();
    void AcceptWaiting();
    // Takes one connection from the system's queue; false when there was none to take.
    bool AcceptOne();
    void Refuse(int descriptor);
    void ServeRefused(const std::vector<int>& readable);
    void ServeWaiting(const std::vector<int>& readable);
    // Hands on a connection whose first bytes came, or closes it.
    void HandOn(const Waiting& connection);
    bool Accepting() const;
    void Wake();

    const WebLimits& limits_;
    const Hand hand_;
    const Say say_;
    int listener_ = -1;
    int wake_ = -1;
    quint16 port_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::atomic<int> open_{0};
    std::map<std::string, int> perClient_;
    std::vector<Refused> refused_;
    std::vector<Waiting> waiting_;
    bool shortOfDescriptors_ = false;
    std::chrono::steady_clock::time_point retryAt_;
};

}  // namespace noxa
