#pragma once

#include "core/station_log.h"

#include "outputs/web/web_limits.h"

#include <QByteArray>
#include <QHash>
#include <QTcpServer>
#include <QTimer>

#include <functional>
#include <string>

class QTcpSocket;

namespace noxa {

// The listening socket of the web server. The HTTP layer on top has no limits of its own, so
// every connection is guarded here before it is handed on: it reaches the layer as an
// HttpConnection, which frames its requests and keeps its deadlines, and no more connections
// are taken than the limits allow, in all and from one client. Those over a limit are answered
// 503 and closed gently. While descriptors run short the server stops accepting (waiting
// clients stay queued by the system) and looks again every second, so that the station's own
// files can still be opened and a listener that cannot accept never spins.
class GuardedTcpServer : public QTcpServer {
    Q_OBJECT

public:
    GuardedTcpServer(WebLimits limits, Log log, QObject* parent = nullptr);
    ~GuardedTcpServer() override;

    int OpenConnections() const { return open_; }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void Refuse(QTcpSocket* socket);
    void Released(const QByteArray& client);
    void Closed();
    void AcceptFailed();
    void CheckDescriptors();
    void ShortOfDescriptors(const std::string& why);
    bool RenewListener();
    void UpdateAccepting();

    const WebLimits limits_;
    const Log log_;
    int open_ = 0;
    int refusing_ = 0;
    int closing_ = 0;  // connections that take no more requests but are not closed yet
    QHash<QByteArray, int> perClient_;
    QTimer watch_;
    bool shortOfDescriptors_ = false;
    // QTcpServer keeps the first error of an accept for good and reports it after every later
    // one; the listener then needs a fresh start.
    bool listenerSpoilt_ = false;
};

}  // namespace noxa
