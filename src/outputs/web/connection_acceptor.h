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
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace noxa {

// The web server's listening socket, served by as many threads as it has servers: each thread
// takes connections as long as the limits allow, in all and from one client, hands each to its
// server once its first bytes came, and lets its server work in the same turn, so that a
// connection is taken, answered and closed without passing between threads. Those over a limit
// are answered 503 at once and closed once the client has read it. One that sends nothing
// within the timeout, or opens with a TLS handshake (someone tried https://), is closed at
// once. While descriptors run out it stops accepting (the system keeps the clients waiting)
// and looks again each second, so that it never spins, and says so once, and once when it
// accepts again.
class ConnectionAcceptor {
public:
    // Says a line from an acceptor's thread.
    using Say = std::function<void(LogLevel level, std::string line)>;

    // What serves the connections one thread takes; used on that thread only.
    class Server {
    public:
        virtual ~Server() = default;
        // Takes a connection just accepted; false when it could not, the descriptor then closed.
        virtual bool Take(int descriptor, const sockaddr* address, socklen_t size) = 0;
        // Becomes readable when the server has work.
        virtual int Descriptor() const = 0;
        // Milliseconds until the server must work even if nothing comes; -1 for no limit.
        virtual long long Due() const = 0;
        // Does what is ready, without waiting.
        virtual void Serve() = 0;
    };

    ConnectionAcceptor(const WebLimits& limits, Say say);
    ~ConnectionAcceptor();

    // Takes no more connections and stops its threads; the servers keep what they were given.
    void Stop();

    // Listens, and starts a thread for each of `servers`, which must outlive Stop().
    bool Listen(const QHostAddress& address, quint16 port, const std::vector<Server*>& servers,
                QString& error);
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
    // One thread's part: its server, what wakes it, and the connections it looks after.
    struct Loop {
        Server* server = nullptr;
        int wake = -1;
        std::vector<Refused> refused;
        std::vector<Waiting> waiting;
        std::thread thread;
    };
    void Run(Loop& loop);
    void AcceptWaiting(Loop& loop);
    // Takes one connection from the system's queue; false when there was none to take.
    bool AcceptOne(Loop& loop);
    void Refuse(Loop& loop, int descriptor);
    void ServeRefused(Loop& loop, const std::vector<int>& readable);
    void ServeWaiting(Loop& loop, const std::vector<int>& readable);
    // Hands on a connection whose first bytes came, or closes it.
    void HandOn(Loop& loop, const Waiting& connection);
    // The same, with what a look at its first byte gave.
    void HandOn(Loop& loop, const Waiting& connection, ssize_t peeked, unsigned char first);
    void NoteDescriptors(bool enough, int error);
    bool Accepting() const;
    // Whether accepting failed for want of descriptors and may be tried again now.
    bool RetryDue() const;
    void WakeAll();

    const WebLimits& limits_;
    const Say say_;
    int listener_ = -1;
    quint16 port_ = 0;
    std::vector<std::unique_ptr<Loop>> loops_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::atomic<int> open_{0};
    int refusing_ = 0;
    std::map<std::string, int> perClient_;
    std::atomic<bool> shortOfDescriptors_{false};
    std::chrono::steady_clock::time_point retryAt_;
};

}  // namespace noxa
