#pragma once

#include "outputs/web/connection_acceptor.h"
#include "outputs/web/web_limits.h"

#include <QByteArray>

#include <functional>
#include <memory>
#include <vector>

struct MHD_Daemon;
struct MHD_Connection;

namespace noxa {

struct WebReply;
struct WebRequest;

// GNU libmicrohttpd serving the connections the acceptor takes, on the acceptor's threads
// (`limits.threads`, each driving a daemon of the library of its own, with epoll). Each request is
// checked (see CheckRequest), its body read, and then given to `answer` on the thread that serves
// its connection; answers go out as the client reads them, whole before any close. A body from a
// source (WebReply::source) is asked for its next piece on that thread once the client took the one
// before, and is sent chunked (to HTTP/1.0, ended by the close; a source that fails cuts the
// connection).
class HttpDaemon {
public:
    using Answer = std::function<WebReply(const WebRequest& request)>;

    HttpDaemon(const WebLimits& limits, Answer answer, ConnectionAcceptor::Say say);
    ~HttpDaemon();

    // False, with the reason, when it cannot listen or the library cannot start.
    bool Start(const QHostAddress& address, quint16 port, QString& error);
    quint16 Port() const { return acceptor_.Port(); }
    int OpenConnections() const { return acceptor_.OpenConnections(); }

    // The library's callbacks.
    struct Calls;

private:
    class Library;
    MHD_Daemon* StartLibrary();

    const WebLimits limits_;
    const Answer answer_;
    std::vector<std::unique_ptr<Library>> libraries_;
    ConnectionAcceptor acceptor_;
};

}  // namespace noxa
