// noxa-sim: plays a NOXA-V4I instrument, sending its reports as UDP datagrams (to 127.0.0.1
// port 2255 unless told otherwise), or writing them as frames to a serial device; or writes
// whole synthetic nights as the station's night files.
#include "night_generator.h"
#include "report_generator.h"

#include <QByteArray>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHostAddress>
#include <QSerialPort>
#include <QTimeZone>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <utility>

namespace {

int Fail(const QString& message) {
    std::fprintf(stderr, "noxa-sim: %s\n", qPrintable(message));
    return 2;
}

// Where the reports go.
class ReportSink {
public:
    virtual ~ReportSink() = default;
    // Hands one report on; false when nothing more can be sent.
    virtual bool Send(const std::string& report) = 0;
    // Calls `done` once everything handed on has left.
    virtual void WhenSent(std::function<void()> done) = 0;
};

class UdpSink final : public ReportSink {
public:
    UdpSink(QHostAddress host, quint16 port) : host_(std::move(host)), port_(port) {}

    bool Send(const std::string& report) override {
        if (socket_.writeDatagram(report.data(), static_cast<qint64>(report.size()), host_, port_) <
            0) {
            // A lost datagram is no reason to stop.
            std::fprintf(stderr, "noxa-sim: send failed: %s\n", qPrintable(socket_.errorString()));
        }
        return true;
    }

    void WhenSent(std::function<void()> done) override {
        // Let the last datagram leave before the process ends.
        QTimer::singleShot(50, std::move(done));
    }

private:
    QUdpSocket socket_;
    QHostAddress host_;
    quint16 port_;
};

// A serial instrument writes each report as one frame (the report opens with "{" and closes
// with "}}") at 9600 8N1. The bytes are paced at the line's 960 bytes a second even where
// the device sets no pace of its own (a pty), so a station polling every 100 ms sees them
// as it would on a real line.
class SerialSink final : public ReportSink {
public:
    // A station's serial link only takes frames of 221 to 400 bytes.
    static constexpr std::size_t kMinFrame = 221;
    static constexpr std::size_t kMaxFrame = 400;
    static constexpr qint64 kBytesPerSecond = 960;
    // Reports waiting beyond this are skipped: they come faster than the line carries them.
    static constexpr qsizetype kMaxQueued = 2 * kMaxFrame;
    // The most bytes one pacing tick writes, however late it comes.
    static constexpr qsizetype kMaxChunk = 48;

    explicit SerialSink(const QString& device) {
        port_.setPortName(device);
        port_.setBaudRate(QSerialPort::Baud9600);
        port_.setDataBits(QSerialPort::Data8);
        port_.setParity(QSerialPort::NoParity);
        port_.setStopBits(QSerialPort::OneStop);
        port_.setFlowControl(QSerialPort::NoFlowControl);
        QObject::connect(&port_, &QSerialPort::errorOccurred,
                         [this](QSerialPort::SerialPortError error) { OnError(error); });
        pace_.setTimerType(Qt::PreciseTimer);
        pace_.setInterval(10);
        QObject::connect(&pace_, &QTimer::timeout, [this] { Pace(); });
    }

    bool Open() { return port_.open(QIODevice::WriteOnly); }
    QString ErrorText() const { return port_.errorString(); }

    bool Send(const std::string& report) override {
        if (failed_) return false;
        if (!warnedSize_ && (report.size() < kMinFrame || report.size() > kMaxFrame)) {
            std::fprintf(stderr,
                         "noxa-sim: reports are %zu bytes; a station only takes frames of %zu "
                         "to %zu bytes (try another --name)\n",
                         report.size(), kMinFrame, kMaxFrame);
            warnedSize_ = true;
        }
        if (queue_.size() > kMaxQueued) {
            if (!warnedPace_) {
                std::fprintf(stderr,
                             "noxa-sim: reports come faster than 9600 baud carries them; "
                             "some are skipped\n");
                warnedPace_ = true;
            }
            return true;
        }
        queue_.append(report.data(), static_cast<qsizetype>(report.size()));
        if (!pace_.isActive()) {
            sinceTick_.start();
            credit_ = 0;
            pace_.start();
        }
        return true;
    }

    void WhenSent(std::function<void()> done) override {
        done_ = std::move(done);
        FinishIfSent();
    }

private:
    void Pace() {
        if (failed_) return;
        // The line's pace, without catching up after a late tick: a line never bursts.
        credit_ += static_cast<double>(sinceTick_.restart() * kBytesPerSecond) / 1000.0;
        credit_ = std::min(credit_, static_cast<double>(kMaxChunk));
        const qsizetype n = std::min(static_cast<qsizetype>(credit_), queue_.size());
        if (n > 0) {
            if (port_.write(queue_.constData(), n) != n) {
                OnError(QSerialPort::WriteError);
                return;
            }
            port_.flush();
            queue_.remove(0, n);
            credit_ -= static_cast<double>(n);
        }
        if (queue_.isEmpty()) {
            pace_.stop();
            FinishIfSent();
        }
    }

    void FinishIfSent() {
        if (!done_ || !queue_.isEmpty()) return;
        if (port_.bytesToWrite() > 0) port_.waitForBytesWritten(5000);
        std::exchange(done_, nullptr)();
    }

    void OnError(QSerialPort::SerialPortError error) {
        if (!port_.isOpen() || failed_ || error == QSerialPort::NoError ||
            error == QSerialPort::TimeoutError) {
            return;
        }
        // The device went away or refuses bytes: nothing more can be sent.
        failed_ = true;
        pace_.stop();
        std::fprintf(stderr, "noxa-sim: %s: %s\n", qPrintable(port_.portName()),
                     qPrintable(port_.errorString()));
        QCoreApplication::exit(1);
    }

    QSerialPort port_;
    QTimer pace_;
    QElapsedTimer sinceTick_;
    QByteArray queue_;
    double credit_ = 0;
    std::function<void()> done_;
    bool warnedSize_ = false;
    bool warnedPace_ = false;
    bool failed_ = false;
};

// --night-files: writes the nights and ends.
int WriteNights(const QCommandLineParser& parser) {
    noxa::sim::NightRun run;
    run.folder = parser.value("night-files");
    run.from = QDate::fromString(parser.value("from"), Qt::ISODate);
    if (!run.from.isValid()) return Fail("--from takes a date such as 2024-01-01");
    bool ok = false;
    run.days = parser.value("days").toInt(&ok);
    if (!ok || run.days < 1) return Fail("--days takes a whole number of nights");
    const auto kind = noxa::sim::NightKindFromName(parser.value("kind").toStdString());
    if (!kind) return Fail("--kind takes clear, full-moon, cloudy or mixed");
    run.kind = *kind;
    run.intervalSeconds = parser.value("interval").toInt(&ok);
    if (!ok || run.intervalSeconds < 1) return Fail("--interval takes a whole number of seconds");
    run.site.latitude = parser.value("lat").toDouble(&ok);
    if (!ok || std::abs(run.site.latitude) > 90) return Fail("--lat takes degrees, north positive");
    run.site.longitude = parser.value("lon").toDouble(&ok);
    if (!ok || std::abs(run.site.longitude) > 180) {
        return Fail("--lon takes degrees, east positive");
    }
    run.zone = QTimeZone(parser.value("zone").toUtf8());
    if (!run.zone.isValid()) return Fail("--zone takes a time zone such as Europe/Berlin");
    run.site.instrumentId = parser.value("id").toStdString();
    run.site.locationName = "simulated site";
    run.site.contact = "noxa-sim";
    run.seed = 1;  // the same nights every time unless asked otherwise
    if (parser.isSet("seed")) {
        run.seed = parser.value("seed").toUInt(&ok);
        if (!ok) return Fail("--seed takes a whole number");
    }

    QElapsedTimer clock;
    clock.start();
    std::string error;
    const auto files = noxa::sim::WriteNightFiles(run, error);
    if (!files) return Fail(QString::fromStdString(error));
    std::printf("%zu night files from %s in %s, %.1f s\n", files->size(),
                qPrintable(QFileInfo(files->front()).fileName()), qPrintable(run.folder),
                static_cast<double>(clock.elapsed()) / 1000.0);
    return 0;
}

void AddOptions(QCommandLineParser& parser) {
    parser.setApplicationDescription(
        "Plays a NOXA-V4I photometer: sends its reports as UDP datagrams, by default to "
        "127.0.0.1 port 2255, or with --serial-device writes them as frames to a serial "
        "device at 9600 8N1.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {"name", "Station name carried by the reports (default: qelvoxxx).", "name", "qelvoxxx"},
        {"interval-ms", "Milliseconds between reports (default: 1000).", "ms", "1000"},
        {"count", "Number of reports to send; 0, the default, sends until stopped.", "n", "0"},
        {"host", "Address to send to (default: 127.0.0.1).", "address", "127.0.0.1"},
        {"port", "UDP port to send to (default: 2255).", "port", "2255"},
        {"seed", "Seed of the random variation (default: random; 1 for night files).", "seed"},
        {"serial-device",
         "Write the reports as frames to this serial device at 9600 8N1 instead of sending "
         "UDP datagrams.",
         "path"},
        {"night-files",
         "Write synthetic nights as night files (local noon to noon) into this folder instead, "
         "then end.",
         "folder"},
        {"from", "Night files: the first night's date.", "yyyy-mm-dd"},
        {"days", "Night files: how many nights (default: 1).", "n", "1"},
        {"kind",
         "Night files: clear, full-moon (clear, from the next full Moon on), cloudy (overcast "
         "with breaks) or mixed (weather changing from night to night, the default).",
         "kind", "mixed"},
        {"interval", "Night files: seconds between lines (default: 60).", "s", "60"},
        {"lat", "Night files: the site's latitude, degrees north (default: 48.1).", "deg", "48.1"},
        {"lon", "Night files: the site's longitude, degrees east (default: 11.6).", "deg", "11.6"},
        {"zone", "Night files: the site's time zone (default: Europe/Berlin).", "zone",
         "Europe/Berlin"},
        {"id", "Night files: the instrument id in their names and header (default: sim).", "id",
         "sim"},
    });
}

// How the reports are played: how often, how many, where to and with which variation.
struct Playing {
    int intervalMs = 1000;
    qint64 count = 0;
    QHostAddress host;
    quint16 port = 0;
    std::uint32_t seed = 0;
};

// The options of playing, or nothing with `error` saying which one is wrong.
std::optional<Playing> ParsePlaying(const QCommandLineParser& parser, QString& error) {
    Playing play;
    bool ok = false;
    play.intervalMs = parser.value("interval-ms").toInt(&ok);
    if (!ok || play.intervalMs < 0) {
        error = "--interval-ms takes a whole number of milliseconds";
        return std::nullopt;
    }
    play.count = parser.value("count").toLongLong(&ok);
    if (!ok || play.count < 0) {
        error = "--count takes a whole number";
        return std::nullopt;
    }
    const uint port = parser.value("port").toUInt(&ok);
    if (!ok || port == 0 || port > 65535) {
        error = "--port takes a port number";
        return std::nullopt;
    }
    play.port = static_cast<quint16>(port);
    QString hostText = parser.value("host");
    if (hostText == "localhost") hostText = "127.0.0.1";
    play.host = QHostAddress(hostText);
    if (play.host.isNull()) {
        error = "--host takes an IP address, such as 127.0.0.1";
        return std::nullopt;
    }
    play.seed = std::random_device{}();
    if (parser.isSet("seed")) {
        play.seed = parser.value("seed").toUInt(&ok);
        if (!ok) {
            error = "--seed takes a whole number";
            return std::nullopt;
        }
    }
    return play;
}

// The serial device when one is given, otherwise UDP; nothing, with `error` saying why, when
// the device cannot be opened.
std::unique_ptr<ReportSink> OpenSink(const QCommandLineParser& parser, const Playing& play,
                                     QString& error) {
    if (!parser.isSet("serial-device")) return std::make_unique<UdpSink>(play.host, play.port);
    const QString device = parser.value("serial-device");
    auto serial = std::make_unique<SerialSink>(device);
    if (!serial->Open()) {
        error = "cannot open " + device + ": " + serial->ErrorText();
        return nullptr;
    }
    return serial;
}

// Sends a report at every interval, the first at once, until `count` have been sent (or for
// ever when it is 0) or the sink takes no more.
int Play(QCoreApplication& app, ReportSink& sink, noxa::sim::ReportGenerator& generator,
         const Playing& play) {
    QElapsedTimer clock;
    clock.start();
    qint64 sent = 0;

    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(play.intervalMs);
    const auto sendOne = [&] {
        const std::string report = generator.Next(static_cast<double>(clock.elapsed()) / 1000.0);
        if (!sink.Send(report)) {
            timer.stop();
            return;
        }
        if (play.count > 0 && ++sent >= play.count) {
            timer.stop();
            sink.WhenSent([] { QCoreApplication::quit(); });
        }
    };
    QObject::connect(&timer, &QTimer::timeout, &app, sendOne);
    QTimer::singleShot(0, &app, [&] {
        timer.start();
        sendOne();
    });
    return app.exec();
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("noxa-sim");
    QCoreApplication::setApplicationVersion(NOXA_VERSION);

    QCommandLineParser parser;
    AddOptions(parser);
    parser.process(app);
    if (parser.isSet("night-files")) return WriteNights(parser);

    QString error;
    const std::optional<Playing> play = ParsePlaying(parser, error);
    if (!play) return Fail(error);
    std::unique_ptr<ReportSink> sink = OpenSink(parser, *play, error);
    if (!sink) return Fail(error);
    noxa::sim::ReportGenerator generator(parser.value("name").toStdString(), play->seed);
    return Play(app, *sink, generator, *play);
}
