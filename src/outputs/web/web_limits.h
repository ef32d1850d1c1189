#pragma once

#include <QtGlobal>

namespace noxa {

// What web clients may cost the station.
struct WebLimits {
    // Connections open at once; more are answered 503 and closed.
    int maxConnections = 64;
    // Connections beyond the limit that are being answered 503 or are closing; beyond them
    // the system keeps new connections waiting.
    int maxRefusing = 16;
    // Connections open at once from one address (for IPv6, one /64 network), so that one
    // client cannot take every connection.
    int maxConnectionsPerClient = 16;
    // Bytes a client may send before its request is complete (request line, headers, body).
    qint64 maxRequestBytes = 16 * 1024;
    // Time a new connection may take to send its first byte.
    int firstByteTimeoutMs = 5'000;
    // Time to send a whole request once its first byte came.
    int requestTimeoutMs = 10'000;
    // Time a connection may wait for its next request.
    int idleTimeoutMs = 30'000;
    // Answers a client has not read yet; a client that reads nothing is cut off.
    qint64 maxUnsentBytes = 1024 * 1024;
    // Time a closing connection waits for the client to close its side too.
    int lingerMs = 2'000;
};

}  // namespace noxa
