#pragma once

#include <QObject>
#include <QTcpServer>
#include <QTimer>

class QTcpSocket;

namespace noxa {

// What one web client may cost the station.
struct WebLimits {
    // Connections open at once; more are answered 503 and closed.
    int maxConnections = 64;
    // Bytes a client may send before its request is complete (request line, headers, body).
    qint64 maxRequestBytes = 16 * 1024;
    // Time to send a whole request once its first byte came.
    int requestTimeoutMs = 10'000;
    // Time a connection may wait for its next request.
    int idleTimeoutMs = 30'000;
    // Answers a client has not read yet; a client that reads nothing is cut off.
    qint64 maxUnsentBytes = 1024 * 1024;
};

// Watches one connection: its deadline and the bytes of the request under way. A child of
// the socket, so it goes with it.
class ConnectionGuard : public QObject {
    Q_OBJECT

public:
    ConnectionGuard(QTcpSocket& socket, const WebLimits& limits);

    // A request was answered: the next one starts from nothing and the idle deadline runs.
    void Answered();

    // The guard of a socket that the server accepted, or none.
    static ConnectionGuard* Of(QTcpSocket* socket);

private:
    void Received();
    void CutOff();

    QTcpSocket& socket_;
    const WebLimits& limits_;
    QTimer deadline_;
    qint64 requestBytes_ = 0;
};

// The listening socket of the web server. The HTTP layer on top has no limits of its own, so
// every connection is guarded here before it is handed on: a deadline for each request and for
// idleness, a cap on the bytes of an incomplete request and on the connections open at once.
class GuardedTcpServer : public QTcpServer {
    Q_OBJECT

public:
    explicit GuardedTcpServer(WebLimits limits, QObject* parent = nullptr);

    int OpenConnections() const { return open_; }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    const WebLimits limits_;
    int open_ = 0;
};

}  // namespace noxa
