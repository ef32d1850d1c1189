#pragma once

#include <QByteArray>
#include <QList>

namespace noxa {

// One request taken whole from what a client sent, rewritten in the plain form the HTTP layer
// is given: "METHOD target HTTP/1.1", the header fields that are not about the connection or
// the framing, a Content-Length and the body (decoded from its chunks).
struct FramedRequest {
    QByteArray forwarded;
    // False when the connection ends after the answer: an HTTP/1.0 request without
    // "Connection: keep-alive", or any request with "Connection: close".
    bool keepAlive = true;
    bool http10 = false;
};

// Why the bytes received are no request that can be answered; the connection is closed after
// the answer, since where the next request would begin is not known.
struct FramingError {
    int status = 400;
    QByteArray reason = "Bad Request";
};

// Finds the requests in the bytes of one connection, framed as RFC 9112 says. Whatever two
// readers could frame differently (both Transfer-Encoding and Content-Length, Content-Lengths
// that differ, a folded or badly spaced header line, a bare CR) is refused, never guessed at,
// so that nothing can be smuggled behind a request.
class RequestFramer {
public:
    enum class Result { Incomplete, Request, Error };

    explicit RequestFramer(qint64 maxRequestBytes) : maxBytes_(maxRequestBytes) {}

    void Append(const QByteArray& bytes) { buffer_ += bytes; }
    // Takes the next whole request from the bytes received, or says why there is none.
    Result Next(FramedRequest& request, FramingError& error);
    // Bytes received and not taken yet.
    qint64 Buffered() const { return buffer_.size(); }
    // True once for a request whose head asked "Expect: 100-continue" and whose body has not
    // come yet: the client waits for an interim answer before sending it.
    bool TakeContinue();

private:
    // What the head of the request under way says.
    struct Head {
        qsizetype size = 0;  // up to and with the empty line
        QByteArray requestLine;
        QByteArray fields;  // the lines passed on, each ending in CR LF
        bool http10 = false;
        bool keepAlive = true;
        bool chunked = false;
        qint64 contentLength = 0;
        bool expectContinue = false;
        // Gathered from the fields while they are read.
        int hosts = 0;
        bool hasContentLength = false;
        bool close = false;
        bool keepAliveAsked = false;
        QList<QByteArray> codings;
    };

    Result FindHead(FramingError& error);
    bool ParseHead(qsizetype start, qsizetype end, FramingError& error);
    bool ParseField(const QByteArray& line, FramingError& error);
    bool CheckFraming(FramingError& error);
    Result TakeBody(FramedRequest& request, FramingError& error);
    Result TakeChunks(FramedRequest& request, FramingError& error);
    Result Finish(FramedRequest& request, const QByteArray& body, qsizetype consumed);

    const qint64 maxBytes_;
    QByteArray buffer_;
    qsizetype scanned_ = 0;  // where the search for the end of the head goes on
    bool haveHead_ = false;
    bool continueSent_ = false;
    Head head_;
};

}  // namespace noxa
