// noxa-sim: plays a NOXA-V4I instrument, sending its reports as UDP datagrams (to 127.0.0.1
// port 2255 unless told otherwise).
#include "report_generator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QTimer>
#include <QUdpSocket>

#include <cstdio>
#include <random>

namespace {

int Fail(const QString& message) {
    std::fprintf(stderr, "noxa-sim: %s\n", qPrintable(message));
    return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("noxa-sim");
    QCoreApplication::setApplicationVersion(NOXA_VERSION);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Plays a NOXA-V4I photometer: sends its reports as UDP datagrams, by default to "
        "127.0.0.1 port 2255.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {"name", "Station name carried by the reports.", "name", "qelvoxxx"},
        {"interval-ms", "Milliseconds between reports.", "ms", "1000"},
        {"count", "Number of reports to send; 0 sends until stopped.", "n", "0"},
        {"host", "Address to send to.", "address", "127.0.0.1"},
        {"port", "UDP port to send to.", "port", "2255"},
        {"seed", "Seed of the random variation (default: random).", "seed"},
    });
    parser.process(app);

    bool ok = false;
    const int intervalMs = parser.value("interval-ms").toInt(&ok);
    if (!ok || intervalMs < 0) return Fail("--interval-ms takes a whole number of milliseconds");
    const qint64 count = parser.value("count").toLongLong(&ok);
    if (!ok || count < 0) return Fail("--count takes a whole number");
    const uint port = parser.value("port").toUInt(&ok);
    if (!ok || port == 0 || port > 65535) return Fail("--port takes a port number");
    QString hostText = parser.value("host");
    if (hostText == "localhost") hostText = "127.0.0.1";
    const QHostAddress host(hostText);
    if (host.isNull()) return Fail("--host takes an IP address, such as 127.0.0.1");
    std::uint32_t seed = std::random_device{}();
    if (parser.isSet("seed")) {
        seed = parser.value("seed").toUInt(&ok);
        if (!ok) return Fail("--seed takes a whole number");
    }

    noxa::sim::ReportGenerator generator(parser.value("name").toStdString(), seed);
    QUdpSocket socket;
    QElapsedTimer clock;
    clock.start();
    qint64 sent = 0;

    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(intervalMs);
    const auto sendOne = [&] {
        const std::string report = generator.Next(static_cast<double>(clock.elapsed()) / 1000.0);
        if (socket.writeDatagram(report.data(), static_cast<qint64>(report.size()), host,
                                 static_cast<quint16>(port)) < 0) {
            std::fprintf(stderr, "noxa-sim: send failed: %s\n", qPrintable(socket.errorString()));
        }
        if (count > 0 && ++sent >= count) {
            timer.stop();
            // Let the last datagram leave before the process ends.
            QTimer::singleShot(50, &app, &QCoreApplication::quit);
        }
    };
    QObject::connect(&timer, &QTimer::timeout, &app, sendOne);
    QTimer::singleShot(0, &app, [&] {
        timer.start();
        sendOne();
    });
    return app.exec();
}
