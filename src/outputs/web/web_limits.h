#pragma once

#include <QtGlobal>

namespace noxa {

// What web clients may cost the program.
struct WebLimits {
    // Connections open at once; more are answered 503 and closed.
    int maxConnections = 64;
    // Connections beyond the limit that are being answered 503 and closing; beyond them the
    // system keeps new connections waiting.
    int maxRefusing = 16;
    // Connections open at once from one address (for IPv6, one /64 network), so that one
    // client cannot take every connection.
    int maxConnectionsPerClient = 16;
    // Bytes of a request's head; a larger one is answered 431.
    qint64 maxHeadBytes = 16 * 1024;
    // Bytes of a request's body; a larger one is answered 413.
    qint64 maxBodyBytes = 16 * 1024;
    // Seconds a connection may stay without any progress (nothing sent, nothing read): a
    // connection that says nothing, a request that stops halfway, an idle kept-alive
    // connection, a client that stops reading its answer.
    unsigned timeoutSeconds = 5;
    // Threads that serve the connections.
    unsigned threads = 2;
};

}  // namespace noxa
