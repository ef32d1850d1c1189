// Any bytes sent to the web server over a real connection, through the acceptor and the HTTP
// library to a route: whatever comes back is HTTP answers, the server never crashes, gives back
// the connections of finished clients and serves the next client as before.
#include "outputs/web/http_daemon.h"
#include "outputs/web/route_server.h"
#include "outputs/web/web_request.h"

#include <QHostAddress>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

namespace {

using Clock = std::chrono::steady_clock;

void Check(bool condition, const char* what = "") {
    if (condition) return;
    std::fprintf(stderr, "check failed: %s\n", what);
    std::abort();
}

// A route that answers every request, echoing its body, so that bodies are read too.
noxa::WebReply Answer(const noxa::WebRequest& request) {
    noxa::WebReply reply;
    reply.type = "text/plain";
    reply.body = request.method + ' ' + request.path.toUtf8() + '\n' + request.body;
    return reply;
}

noxa::HttpDaemon& Server() {
    static const noxa::WebLimits limits = [] {
        noxa::WebLimits quick;
        quick.timeoutSeconds = 1;
        return quick;
    }();
    static auto* server = [] {
        auto* daemon = new noxa::HttpDaemon(limits, Answer, [](auto, auto) {});
        QString error;
        Check(daemon->Start(QHostAddress::LocalHost, 0, error));
        return daemon;
    }();
    return *server;
}

// Sends `bytes` on a new connection, closes its sending side and gives back what the server
// answered until it closed or `limit` passed; then the connection is closed.
std::string Exchange(std::string_view bytes, std::chrono::milliseconds limit) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(Server().Port());
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    Check(::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0, "connect");
    // What the server does not take before it closes is simply not sent.
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n =
            ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
    }
    ::shutdown(fd, SHUT_WR);
    std::string answer;
    const auto until = Clock::now() + limit;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        pollfd watched{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&watched, 1, static_cast<int>(left.count())) != 1) break;
        char block[4096];
        const ssize_t n = ::recv(fd, block, sizeof block, 0);
        if (n <= 0) break;
        answer.append(block, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return answer;
}

// An answer begins with a status line of a known version and a status the server gives.
void CheckStatusLine(const std::string& answer) {
    if (answer.empty()) return;
    Check(answer.starts_with("HTTP/1.1 ") || answer.starts_with("HTTP/1.0 "));
    Check(answer.size() >= 12);
    const int status = std::atoi(answer.substr(9, 3).c_str());
    Check(status >= 100 && status < 600);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // Whatever comes back within a moment is HTTP answers. A request left unfinished holds its
    // connection until the server's idle timeout.
    CheckStatusLine(Exchange(bytes, std::chrono::milliseconds(100)));
    // The server goes on serving: the connections of finished clients are given back, at the
    // latest after the idle timeout (a second here, counted by the library in whole seconds).
    const auto until = Clock::now() + std::chrono::seconds(10);
    for (;;) {
        const std::string next =
            Exchange("GET /next HTTP/1.0\r\n\r\n", std::chrono::milliseconds(3000));
        if (next.starts_with("HTTP/1.1 200 ") || next.starts_with("HTTP/1.0 200 ")) break;
        Check(next.starts_with("HTTP/1.1 503 "), "the next client is served or told to wait");
        Check(Clock::now() < until, "a connection slot is given back");
    }
    return 0;
}
