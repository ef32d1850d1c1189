#include "outputs/web/http_connection.h"

#include "outputs/web/gentle_close.h"

#include <QTimer>

#include <cstring>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif

namespace noxa {
namespace {

// Pipelined requests answered in one go before the event loop (and the station's tick) gets a
// turn again.
constexpr int kRequestsPerTurn = 2;
// The same once the client has sent all it will send (see ClientSentAll).
constexpr int kRequestsPerLastTurn = 64;
// Bytes taken from the socket at a time.
constexpr qint64 kReadStep = 4096;

}  // namespace

HttpConnection::HttpConnection(QTcpSocket* client, const WebLimits& limits,
                               std::function<void()> released, std::function<void()> closed,
                               QObject* parent)
    : QTcpSocket(parent),
      client_(client),
      limits_(limits),
      released_(std::move(released)),
      closed_(std::move(closed)),
      framer_(limits.maxRequestBytes) {
    client_->setParent(this);
    // Beyond this the socket leaves the bytes with the system, which holds the client back.
    client_->setReadBufferSize(2 * limits_.maxRequestBytes);
    setPeerAddress(client_->peerAddress());
    setPeerPort(client_->peerPort());
    setLocalAddress(client_->localAddress());
    setLocalPort(client_->localPort());
    setSocketState(ConnectedState);
    QIODevice::open(QIODevice::ReadWrite);

    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, &HttpConnection::CutOff);
    connect(client_, &QTcpSocket::readyRead, this, &HttpConnection::Serve);
    connect(client_, &QTcpSocket::disconnected, this, &HttpConnection::ClientGone);
    connect(client_, &QTcpSocket::errorOccurred, this, [this] {
        if (client_->state() == UnconnectedState) ClientGone();
    });
    Rearm();
}

HttpConnection::~HttpConnection() {
    // Keeps the base class from closing a connection it never opened.
    setSocketState(UnconnectedState);
    Release();
    if (closed_) closed_();
}

QByteArray HttpConnection::ConnectionHeader() const {
    if (!keepAlive_) return "Connection: close\r\n";
    return http10_ ? "Connection: keep-alive\r\n" : QByteArray();
}

qint64 HttpConnection::bytesAvailable() const {
    return QIODevice::bytesAvailable() + toLayer_.size();
}

qint64 HttpConnection::bytesToWrite() const {
    return client_->bytesToWrite();
}

void HttpConnection::disconnectFromHost() {
    keepAlive_ = false;
}

void HttpConnection::close() {
    keepAlive_ = false;
}

qint64 HttpConnection::readData(char* data, qint64 maxSize) {
    const qint64 count = qMin<qint64>(maxSize, toLayer_.size());
    if (count <= 0) return 0;
    std::memcpy(data, toLayer_.constData(), static_cast<size_t>(count));
    toLayer_.remove(0, count);
    return count;
}

qint64 HttpConnection::readLineData(char* data, qint64 maxSize) {
    return QIODevice::readLineData(data, maxSize);
}

qint64 HttpConnection::skipData(qint64 maxSize) {
    return QIODevice::skipData(maxSize);
}

qint64 HttpConnection::writeData(const char* data, qint64 size) {
    if (gone_ || waiting_ == Waiting::End) return size;
    answered_ += size;
    return client_->write(data, size);
}

void HttpConnection::Serve() {
    serveQueued_ = false;
    if (gone_ || waiting_ == Waiting::End) return;
    for (int served = 0;
         served < kRequestsPerTurn || (served < kRequestsPerLastTurn && ClientSentAll());) {
        FramedRequest request;
        FramingError error;
        const RequestFramer::Result result = framer_.Next(request, error);
        if (result == RequestFramer::Result::Incomplete) {
            // Read on in small steps, and no further than a whole request of the largest size
            // past what is held, so that a client sending without end is held back by the
            // system's flow control instead of filling the station's memory.
            const qint64 room = 2 * limits_.maxRequestBytes - framer_.Buffered();
            if (room > 0 && client_->bytesAvailable() > 0) {
                framer_.Append(client_->read(qMin(room, kReadStep)));
                continue;
            }
            if (framer_.TakeContinue()) client_->write("HTTP/1.1 100 Continue\r\n\r\n");
            // The answers go out before the event loop runs again: the socket drops what it
            // has not sent once it sees the end of the client's side (a half-close).
            client_->flush();
            Rearm();
            return;
        }
        if (result == RequestFramer::Result::Error) {
            Refuse(error);
            return;
        }
        keepAlive_ = request.keepAlive;
        http10_ = request.http10;
        waiting_ = Waiting::Idle;
        if (!Forward(request)) {
            keepAlive_ = false;
            Refuse(FramingError{});
            return;
        }
        if (!keepAlive_) {
            End();
            return;
        }
        // A client that asks and asks without reading is cut off.
        if (client_->bytesToWrite() > limits_.maxUnsentBytes) {
            CutOff();
            return;
        }
        ++served;
    }
    client_->flush();
    ServeLater();
}

// True when all that is left to read from the client is the end of its side (a half-close).
// The socket drops the answers it has not sent once it reads that end, so the requests held
// are then answered at once instead of in a later turn.
bool HttpConnection::ClientSentAll() const {
#ifdef Q_OS_UNIX
    char byte = 0;
    return ::recv(static_cast<int>(client_->socketDescriptor()), &byte, 1,
                  MSG_PEEK | MSG_DONTWAIT) == 0;
#else
    return false;
#endif
}

void HttpConnection::ServeLater() {
    if (serveQueued_) return;
    serveQueued_ = true;
    QMetaObject::invokeMethod(this, &HttpConnection::Serve, Qt::QueuedConnection);
}

bool HttpConnection::Forward(const FramedRequest& request) {
    // The layer reads and answers the request before readyRead() returns; a request its own
    // parser refuses gets no answer from it.
    answered_ = 0;
    toLayer_ = request.forwarded;
    emit readyRead();
    toLayer_.clear();
    return answered_ > 0;
}

void HttpConnection::Refuse(const FramingError& error) {
    const QByteArray text = error.reason + '\n';
    client_->write("HTTP/1.1 " + QByteArray::number(error.status) + ' ' + error.reason +
                   "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
                   QByteArray::number(text.size()) + "\r\nConnection: close\r\n\r\n" + text);
    End();
}

// The deadline of what the connection waits for: a first byte, the rest of a request, or the
// next request.
void HttpConnection::Rearm() {
    if (framer_.Buffered() > 0 || client_->bytesAvailable() > 0) {
        if (waiting_ == Waiting::Request) return;
        waiting_ = Waiting::Request;
        deadline_.start(limits_.requestTimeoutMs);
    } else if (waiting_ == Waiting::FirstByte) {
        deadline_.start(limits_.firstByteTimeoutMs);
    } else {
        waiting_ = Waiting::Idle;
        deadline_.start(limits_.idleTimeoutMs);
    }
}

void HttpConnection::Release() {
    if (!released_) return;
    const auto released = std::move(released_);
    released_ = nullptr;
    released();
}

void HttpConnection::End() {
    waiting_ = Waiting::End;
    deadline_.stop();
    Release();
    CloseGently(*client_, limits_.lingerMs);
}

void HttpConnection::CutOff() {
    waiting_ = Waiting::End;
    Release();
    client_->abort();
    ClientGone();
}

void HttpConnection::ClientGone() {
    if (gone_) return;
    gone_ = true;
    deadline_.stop();
    setSocketState(UnconnectedState);
    emit disconnected();
    deleteLater();
}

}  // namespace noxa
