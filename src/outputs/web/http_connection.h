#pragma once

#include "outputs/web/request_framer.h"
#include "outputs/web/web_limits.h"

#include <QTcpSocket>
#include <QTimer>

#include <functional>

namespace noxa {

// One client's connection as the HTTP layer sees it. The layer reads whatever its socket holds
// and parses it with rules of its own, so it is never given the client's socket: it gets this
// one, which holds exactly one whole request at a time, checked and rewritten by the
// RequestFramer, and passes what the layer writes on to the client. Here the connection keeps
// its deadlines, answers what the layer must not see (a request that cannot be framed, the
// interim answer to "Expect: 100-continue") and decides when it ends.
class HttpConnection : public QTcpSocket {
    Q_OBJECT

public:
    // Takes over `client`, a connection just accepted. `released` runs once when it takes no
    // more requests (its slot is free), `closed` when it is gone (its descriptor is free).
    HttpConnection(QTcpSocket* client, const WebLimits& limits, std::function<void()> released,
                   std::function<void()> closed, QObject* parent);
    ~HttpConnection() override;

    // The "Connection" header line for the answer under way, if it needs one: "close" when the
    // connection ends after it, "keep-alive" for an HTTP/1.0 client that asked to keep it.
    QByteArray ConnectionHeader() const;

    qint64 bytesAvailable() const override;
    qint64 bytesToWrite() const override;
    // The layer asks to end the connection: it ends once the answers are sent.
    void disconnectFromHost() override;
    void close() override;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 readLineData(char* data, qint64 maxSize) override;
    qint64 skipData(qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    enum class Waiting { FirstByte, Request, Idle, End };

    void Serve();
    void ServeLater();
    bool ClientSentAll() const;
    bool Forward(const FramedRequest& request);
    void Refuse(const FramingError& error);
    void Rearm();
    void End();
    void CutOff();
    void ClientGone();
    void Release();

    QTcpSocket* client_;
    const WebLimits& limits_;
    std::function<void()> released_;
    std::function<void()> closed_;
    RequestFramer framer_;
    QTimer deadline_;
    Waiting waiting_ = Waiting::FirstByte;
    // The request the layer reads, and what it wrote in answer.
    QByteArray toLayer_;
    qint64 answered_ = 0;
    bool keepAlive_ = true;
    bool http10_ = false;
    bool serveQueued_ = false;
    bool gone_ = false;
};

}  // namespace noxa
