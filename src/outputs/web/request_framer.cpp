#include "outputs/web/request_framer.h"

#include <QByteArrayView>

#include <algorithm>
#include <iterator>

namespace noxa {
namespace {

using Result = RequestFramer::Result;

// A Content-Length of more digits than this is too large for any request we take.
constexpr int kMaxLengthDigits = 15;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsHexDigit(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsTokenChar(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
}

bool IsToken(QByteArrayView text) {
    if (text.isEmpty()) return false;
    for (const char c : text) {
        if (!IsTokenChar(c)) return false;
    }
    return true;
}

// A field value may hold visible characters, spaces, tabs and bytes of other encodings.
bool IsFieldValue(QByteArrayView text) {
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u != '\t' && (u < 0x20 || u == 0x7f)) return false;
    }
    return true;
}

// The characters of a host name, an IP address (in brackets for IPv6) and a port.
bool IsHostValue(QByteArrayView text) {
    for (const char c : text) {
        const bool alnum =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alnum && !QByteArrayView("-._~!$&'()*+,;=%:[]").contains(c)) return false;
    }
    return true;
}

// A request target is any run of visible characters; bytes above ASCII are left to the
// router, which finds no resource for them.
bool IsTarget(QByteArrayView text) {
    if (text.isEmpty()) return false;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7f) return false;
    }
    return true;
}

// The methods the HTTP layer knows; any other is not implemented here.
bool IsKnownMethod(QByteArrayView method) {
    static const QByteArrayView kKnown[] = {"GET",    "HEAD",    "POST", "PUT",
                                            "DELETE", "OPTIONS", "PATCH"};
    return std::find(std::begin(kKnown), std::end(kKnown), method) != std::end(kKnown);
}

QByteArray TrimSpace(QByteArrayView text) {
    qsizetype begin = 0, end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
    return text.sliced(begin, end - begin).toByteArray();
}

bool Fail(FramingError& error, int status, const char* reason) {
    error = FramingError{status, reason};
    return false;
}

bool BadRequest(FramingError& error) {
    return Fail(error, 400, "Bad Request");
}

// The line from `pos` to its LF, without the LF and a CR before it; false when no LF came
// yet. A CR anywhere else in the line makes it invalid.
bool TakeLine(const QByteArray& buffer, qsizetype& pos, QByteArray& line, bool& bareCr) {
    const qsizetype lf = buffer.indexOf('\n', pos);
    if (lf < 0) return false;
    line = buffer.mid(pos, lf - pos);
    if (line.endsWith('\r')) line.chop(1);
    bareCr = line.contains('\r');
    pos = lf + 1;
    return true;
}

}  // namespace

Result RequestFramer::Next(FramedRequest& request, FramingError& error) {
    if (!haveHead_) {
        const Result head = FindHead(error);
        if (head != Result::Request) return head;
        haveHead_ = true;
    }
    return TakeBody(request, error);
}

bool RequestFramer::TakeContinue() {
    const bool waiting = haveHead_ && head_.expectContinue && !continueSent_ && !head_.http10 &&
                         (head_.chunked || head_.contentLength > 0);
    if (waiting) continueSent_ = true;
    return waiting;
}

Result RequestFramer::FindHead(FramingError& error) {
    // Empty lines before a request line are ignored.
    qsizetype start = 0;
    while (start < buffer_.size()) {
        if (buffer_[start] == '\n') {
            ++start;
        } else if (buffer_.mid(start, 2) == "\r\n") {
            start += 2;
        } else {
            break;
        }
    }
    // The head ends at its first empty line; the search goes on from the last line it saw.
    qsizetype end = -1;
    qsizetype pos = qMax(start, scanned_);
    for (qsizetype lf; end < 0 && (lf = buffer_.indexOf('\n', pos)) >= 0; pos = lf + 1) {
        const bool blank =
            lf - 1 >= start &&
            (buffer_[lf - 1] == '\n' ||
             (buffer_[lf - 1] == '\r' && lf - 2 >= start && buffer_[lf - 2] == '\n'));
        if (blank) end = lf + 1;
    }
    scanned_ = pos;
    if (end < 0 && buffer_.size() <= maxBytes_) return Result::Incomplete;
    if (end < 0 || end > maxBytes_) {
        Fail(error, 431, "Request Header Fields Too Large");
        return Result::Error;
    }
    head_ = Head{};
    head_.size = end;
    if (!ParseHead(start, end, error) || !CheckFraming(error)) return Result::Error;
    return Result::Request;
}

bool RequestFramer::ParseHead(qsizetype start, qsizetype end, FramingError& error) {
    qsizetype pos = start;
    QByteArray line;
    bool bareCr = false;
    TakeLine(buffer_, pos, line, bareCr);
    const QList<QByteArray> parts = line.split(' ');
    if (bareCr || parts.size() != 3 || !IsToken(parts[0]) || !IsTarget(parts[1]))
        return BadRequest(error);
    const QByteArray& version = parts[2];
    if (version.size() != 8 || !version.startsWith("HTTP/") || version[6] != '.' ||
        !IsDigit(version[5]) || !IsDigit(version[7]))
        return BadRequest(error);
    if (version[5] != '1') return Fail(error, 505, "HTTP Version Not Supported");
    if (!IsKnownMethod(parts[0])) return Fail(error, 501, "Not Implemented");
    // The forms of a target a server takes: a path, a whole URI, or "*" for OPTIONS.
    const QByteArray& target = parts[1];
    if (!target.startsWith('/') && !target.contains("://") &&
        !(target == "*" && parts[0] == "OPTIONS"))
        return BadRequest(error);
    head_.http10 = version[7] == '0';
    head_.requestLine = parts[0] + ' ' + parts[1] + " HTTP/1.1\r\n";

    while (pos < end && TakeLine(buffer_, pos, line, bareCr) && !line.isEmpty()) {
        if (bareCr) return BadRequest(error);
        if (!ParseField(line, error)) return false;
    }
    return true;
}

bool RequestFramer::ParseField(const QByteArray& line, FramingError& error) {
    // A line that starts with a space or tab (a folded one) or has a space before the colon
    // has no token for a name.
    const qsizetype colon = line.indexOf(':');
    const QByteArrayView rawValue = QByteArrayView(line).sliced(colon + 1);
    if (colon <= 0 || !IsToken(QByteArrayView(line).first(colon)) || !IsFieldValue(rawValue))
        return BadRequest(error);
    const QByteArray name = line.left(colon).toLower();
    const QByteArray value = TrimSpace(rawValue);

    if (name == "host") {
        ++head_.hosts;
        if (!IsHostValue(value)) return BadRequest(error);
    } else if (name == "content-length") {
        for (const QByteArray& item : value.split(',')) {
            const QByteArray digits = TrimSpace(item);
            if (digits.isEmpty() || !std::all_of(digits.begin(), digits.end(), IsDigit))
                return BadRequest(error);
            if (digits.size() > kMaxLengthDigits) return Fail(error, 413, "Content Too Large");
            const qint64 length = digits.toLongLong();
            if (head_.hasContentLength && length != head_.contentLength) return BadRequest(error);
            head_.hasContentLength = true;
            head_.contentLength = length;
        }
    } else if (name == "transfer-encoding") {
        for (const QByteArray& item : value.split(',')) {
            const QByteArray coding = TrimSpace(item).toLower();
            if (!coding.isEmpty()) head_.codings.append(coding);
        }
    } else if (name == "connection") {
        for (const QByteArray& item : value.split(',')) {
            const QByteArray option = TrimSpace(item).toLower();
            head_.close = head_.close || option == "close";
            head_.keepAliveAsked = head_.keepAliveAsked || option == "keep-alive";
        }
    } else if (name == "expect") {
        head_.expectContinue = value.compare("100-continue", Qt::CaseInsensitive) == 0;
    }
    // What belongs to this one connection, or to the framing the layer behind does not see,
    // is not passed on; an Upgrade is declined by leaving it out.
    static const QByteArrayView kNotPassedOn[] = {
        "connection", "keep-alive",       "upgrade", "transfer-encoding", "content-length", "te",
        "trailer",    "proxy-connection", "expect"};
    if (std::find(std::begin(kNotPassedOn), std::end(kNotPassedOn), name) ==
        std::end(kNotPassedOn)) {
        head_.fields += line.left(colon) + ": " + value + "\r\n";
    }
    return true;
}

bool RequestFramer::CheckFraming(FramingError& error) {
    Head& head = head_;
    // HTTP/1.1 requires exactly one Host; HTTP/1.0 at most one.
    if (head.hosts > 1 || (!head.http10 && head.hosts == 0)) return BadRequest(error);
    if (!head.codings.isEmpty()) {
        // Only chunked, once and last, frames a request; with a Content-Length as well, or
        // from an HTTP/1.0 client, the two ends could read different requests.
        if (head.hasContentLength || head.http10 || head.codings.last() != "chunked" ||
            head.codings.count("chunked") > 1)
            return BadRequest(error);
        if (head.codings.size() > 1) return Fail(error, 501, "Not Implemented");
        head.chunked = true;
    }
    if (head.contentLength > maxBytes_ - head.size) return Fail(error, 413, "Content Too Large");
    head.keepAlive = head.http10 ? head.keepAliveAsked && !head.close : !head.close;
    return true;
}

Result RequestFramer::TakeBody(FramedRequest& request, FramingError& error) {
    if (head_.chunked) return TakeChunks(request, error);
    const qsizetype end = head_.size + head_.contentLength;
    if (buffer_.size() < end) return Result::Incomplete;
    return Finish(request, buffer_.mid(head_.size, head_.contentLength), end);
}

Result RequestFramer::TakeChunks(FramedRequest& request, FramingError& error) {
    // The chunks are read again from the start each time more bytes come; a request is
    // small, so this costs little and keeps no half-read state.
    QByteArray body;
    qsizetype pos = head_.size;
    QByteArray line;
    bool bareCr = false;
    const auto tooLarge = [&] {
        Fail(error, 413, "Content Too Large");
        return Result::Error;
    };
    const auto incomplete = [&] {
        return buffer_.size() > maxBytes_ ? tooLarge() : Result::Incomplete;
    };
    for (;;) {
        if (!TakeLine(buffer_, pos, line, bareCr)) return incomplete();
        qsizetype digits = 0;
        while (digits < line.size() && IsHexDigit(line[digits])) ++digits;
        const QByteArray extension = TrimSpace(QByteArrayView(line).sliced(digits));
        if (bareCr || digits == 0 || (!extension.isEmpty() && !extension.startsWith(';')) ||
            !IsFieldValue(extension)) {
            BadRequest(error);
            return Result::Error;
        }
        if (digits > kMaxLengthDigits) return tooLarge();
        const qint64 size = line.left(digits).toLongLong(nullptr, 16);
        if (size > maxBytes_) return tooLarge();
        if (size == 0) break;
        if (buffer_.size() < pos + size + 1) return incomplete();
        body += buffer_.mid(pos, size);
        pos += size;
        // The data ends in CR LF (or LF) and nothing else.
        if (buffer_.size() < pos + 2 && buffer_[pos] == '\r') return incomplete();
        if (buffer_.mid(pos, 2) == "\r\n") {
            pos += 2;
        } else if (buffer_[pos] == '\n') {
            pos += 1;
        } else {
            BadRequest(error);
            return Result::Error;
        }
    }
    // The trailer section: fields that are checked and dropped, then an empty line.
    for (;;) {
        if (!TakeLine(buffer_, pos, line, bareCr)) return incomplete();
        if (line.isEmpty() && !bareCr) break;
        const qsizetype colon = line.indexOf(':');
        if (bareCr || colon <= 0 || !IsToken(QByteArrayView(line).first(colon))) {
            BadRequest(error);
            return Result::Error;
        }
    }
    if (pos > maxBytes_) return tooLarge();
    return Finish(request, body, pos);
}

Result RequestFramer::Finish(FramedRequest& request, const QByteArray& body, qsizetype consumed) {
    request.forwarded = head_.requestLine + head_.fields;
    if (!body.isEmpty())
        request.forwarded += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    request.forwarded += "\r\n" + body;
    request.keepAlive = head_.keepAlive;
    request.http10 = head_.http10;
    buffer_.remove(0, consumed);
    scanned_ = 0;
    haveHead_ = false;
    continueSent_ = false;
    return Result::Request;
}

}  // namespace noxa
