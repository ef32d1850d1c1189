#pragma once

#include <QByteArray>

#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace noxa {

// The head of a request as the HTTP library parsed it: the request line's three parts and
// every header field in the order sent (repeated ones too).
struct RequestHead {
    std::string_view method;
    std::string_view target;
    std::string_view version;
    std::vector<std::pair<std::string_view, std::string_view>> fields;
};

// Why a request is not answered by a route; the connection is closed after the answer, since
// where a next request would begin may not be known.
struct HttpRefusal {
    int status = 400;
    const char* reason = "Bad Request";
};

// The checks the library leaves to us, from RFC 9112 and 9110: whatever two readers could
// frame differently (a Transfer-Encoding other than a single "chunked", one with a
// Content-Length, Content-Lengths that differ or are no plain number, chunks from an HTTP/1.0
// client), more than one Host, a target that is neither a path, a whole URI nor "*" for
// OPTIONS, a method nobody here knows, and a body larger than `maxBodyBytes`.
std::optional<HttpRefusal> CheckRequest(const RequestHead& head, long long maxBodyBytes);

// The path and query of a request target: "/a?b" as it is, "http://host/a?b" as "/a?b" and
// "http://host" as "/" (RFC 9110: an empty path is "/"), "*" as "*". None for anything else.
struct Target {
    QByteArray path;   // still percent-encoded
    QByteArray query;  // without the "?"
};
std::optional<Target> ParseTarget(std::string_view target);

}  // namespace noxa
