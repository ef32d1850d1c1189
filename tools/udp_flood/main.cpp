// noxa-flood: measures how many broadcast reports a receiver absorbs on loopback. It sends
// reports to 127.0.0.1 at a given rate for a bounded time and reads the kernel's count of
// datagrams dropped at the receiving sockets of the port; with --sink it is itself the
// receiver, a plain receiving loop to compare the station with.
#include "report_generator.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Datagrams the kernel dropped at every UDP socket bound to `port` (the last column of
// /proc/net/udp).
long long DropsAtPort(unsigned port) {
    std::ifstream table("/proc/net/udp");
    std::string line;
    std::getline(table, line);  // header
    long long drops = 0;
    char wanted[8];
    std::snprintf(wanted, sizeof wanted, ":%04X", port);
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, last, field;
        fields >> slot >> local;
        if (local.size() < 5 || local.substr(local.size() - 5) != wanted) continue;
        while (fields >> field) last = field;
        drops += std::stoll(last);
    }
    return drops;
}

sockaddr_in Loopback(unsigned port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int Send(unsigned port, double rate, double seconds, const std::string& name) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return 2;
    const sockaddr_in target = Loopback(port);
    // Reports made beforehand, so that the sender's own work does not limit the rate.
    noxa::sim::ReportGenerator generator(name, 1);
    std::vector<std::string> reports(4096);
    for (std::size_t i = 0; i < reports.size(); ++i) reports[i] = generator.Next(i * 0.25);
    const long long dropsBefore = DropsAtPort(port);
    const auto start = Clock::now();
    long long sent = 0;
    for (;;) {
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        if (elapsed >= seconds) break;
        const auto due = static_cast<long long>(elapsed * rate);
        if (sent >= due) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            continue;
        }
        const std::string& report = reports[static_cast<std::size_t>(sent) % reports.size()];
        if (::sendto(fd, report.data(), report.size(), 0,
                     reinterpret_cast<const sockaddr*>(&target), sizeof target) >= 0) {
            ++sent;
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::printf("sent %lld dropped %lld rate %.0f/s\n", sent, DropsAtPort(port) - dropsBefore,
                static_cast<double>(sent) / seconds);
    ::close(fd);
    return 0;
}

int Sink(unsigned port, double seconds) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    // The same receive buffer as the station asks for, so that the two compare fairly.
    const int bufferBytes = 4 * 1024 * 1024;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
    const sockaddr_in address = Loopback(port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        std::perror("noxa-flood: bind");
        return 2;
    }
    timeval wait{0, 200000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    char buffer[8192];
    long long received = 0;
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        if (::recv(fd, buffer, sizeof buffer, 0) > 0) ++received;
    }
    std::printf("received %lld\n", received);
    ::close(fd);
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("noxa-flood");
    QCoreApplication::setApplicationVersion(NOXA_VERSION);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Sends instrument reports to 127.0.0.1 at a given rate for a bounded time and prints how "
        "many the receiving sockets dropped; --sink receives and counts instead.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {"rate", "Reports per second (default: 1000).", "n", "1000"},
        {"seconds", "How long to send or receive, at most 600 (default: 5).", "s", "5"},
        {"port", "UDP port on 127.0.0.1 (default: 2255).", "port", "2255"},
        {"name", "Station name in the reports (default: qelvoxxx).", "name", "qelvoxxx"},
        {"sink", "Receive and count instead of sending."},
    });
    parser.process(app);
    const double seconds = std::min(parser.value("seconds").toDouble(), 600.0);
    const unsigned port = parser.value("port").toUInt();
    if (seconds <= 0 || port == 0 || port > 65535) {
        std::fprintf(stderr, "noxa-flood: give --seconds above 0 and a port number\n");
        return 2;
    }
    if (parser.isSet("sink")) return Sink(port, seconds);
    return Send(port, parser.value("rate").toDouble(), seconds, parser.value("name").toStdString());
}
