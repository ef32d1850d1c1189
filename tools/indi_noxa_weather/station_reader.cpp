#include "station_reader.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>

namespace noxa::indi {
namespace {

using Clock = std::chrono::steady_clock;

struct Url {
    std::string host;
    std::string port = "80";
    std::string path = "/";
};

std::optional<Url> SplitUrl(const std::string& url) {
    const std::string scheme = "http://";
    if (url.compare(0, scheme.size(), scheme) != 0) return std::nullopt;
    std::string rest = url.substr(scheme.size());
    Url parts;
    const auto slash = rest.find('/');
    if (slash != std::string::npos) {
        parts.path = rest.substr(slash);
        rest.erase(slash);
    }
    const auto colon = rest.rfind(':');
    if (colon != std::string::npos) {
        parts.port = rest.substr(colon + 1);
        rest.erase(colon);
    }
    parts.host = rest;
    if (parts.host.empty() || parts.port.empty()) return std::nullopt;
    return parts;
}

// Milliseconds left until `deadline`, at least 0.
int Remaining(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool WaitFor(int fd, short events, Clock::time_point deadline) {
    pollfd p{fd, events, 0};
    for (;;) {
        const int n = poll(&p, 1, Remaining(deadline));
        if (n < 0 && errno == EINTR) continue;
        return n > 0;
    }
}

int ConnectTo(const Url& url, Clock::time_point deadline) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(url.host.c_str(), url.port.c_str(), &hints, &found) != 0) return -1;
    int fd = -1;
    for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
        fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        bool connected = connect(fd, a->ai_addr, a->ai_addrlen) == 0;
        if (!connected && errno == EINPROGRESS && WaitFor(fd, POLLOUT, deadline)) {
            int error = 0;
            socklen_t length = sizeof error;
            connected = getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
        }
        if (!connected) {
            close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(found);
    return fd;
}

// The Content-Length of a header block, when it gives one.
std::optional<size_t> ContentLength(const std::string& header) {
    std::string lower = header;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string key = "\r\ncontent-length:";
    const auto at = lower.find(key);
    if (at == std::string::npos) return std::nullopt;
    return std::strtoul(lower.c_str() + at + key.size(), nullptr, 10);
}

// Whether `answer` holds a whole answer that gives its length.
bool BodyComplete(const std::string& answer) {
    const auto bodyStart = answer.find("\r\n\r\n");
    if (bodyStart == std::string::npos) return false;
    const auto length = ContentLength(answer.substr(0, bodyStart));
    return length && answer.size() - bodyStart - 4 >= *length;
}

std::optional<double> Number(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_number()) return std::nullopt;
    return it->get<double>();
}

}  // namespace

std::optional<std::string> HttpGet(const std::string& url, int timeoutMs) {
    const auto parts = SplitUrl(url);
    if (!parts) return std::nullopt;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const int fd = ConnectTo(*parts, deadline);
    if (fd < 0) return std::nullopt;

    const std::string request = "GET " + parts->path + " HTTP/1.0\r\nHost: " + parts->host +
                                "\r\nConnection: close\r\n\r\n";
    std::string answer;
    size_t sent = 0;
    while (sent < request.size() && WaitFor(fd, POLLOUT, deadline)) {
        const ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
    }
    bool complete = false;
    while (!complete && sent == request.size() && answer.size() < (1 << 20) &&
           WaitFor(fd, POLLIN, deadline)) {
        char buffer[4096];
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            // A server that closes the connection after the answer has sent all of it.
            complete = n == 0;
            break;
        }
        answer.append(buffer, static_cast<size_t>(n));
        complete = BodyComplete(answer);
    }
    close(fd);

    const auto bodyStart = answer.find("\r\n\r\n");
    const auto statusEnd = answer.find("\r\n");
    if (!complete || bodyStart == std::string::npos ||
        answer.substr(0, statusEnd).find(" 200") == std::string::npos)
        return std::nullopt;
    auto body = answer.substr(bodyStart + 4);
    if (const auto length = ContentLength(answer.substr(0, bodyStart));
        length && *length < body.size())
        body.resize(*length);
    return body;
}

std::optional<StationReadings> ParseReadings(const std::string& json) {
    const auto object = nlohmann::json::parse(json, nullptr, false);
    if (!object.is_object()) return std::nullopt;
    StationReadings r;
    r.magV = Number(object, "mag_v");
    r.temperature = Number(object, "temperature");
    r.skyTemperature = Number(object, "sky_temperature");
    r.cloudCover = Number(object, "cloud_cover");
    r.nelm = Number(object, "nelm");
    r.ageSeconds = Number(object, "age_s");
    const auto link = object.find("link_ok");
    r.linkOk = link != object.end() && link->is_boolean() && link->get<bool>();
    const auto safe = object.find("safe");
    r.safe = safe != object.end() && safe->is_boolean() && safe->get<bool>();
    const auto reason = object.find("unsafe_reason");
    if (reason != object.end() && reason->is_string()) r.unsafeReason = reason->get<std::string>();
    return r;
}

}  // namespace noxa::indi
