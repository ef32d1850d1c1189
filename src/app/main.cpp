#include "app/main_window.h"
#include "app/station.h"
#include "app/unix_signals.h"
#include "time/station_clock.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

void PrintLogLine(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

bool HasArgument(int argc, char* argv[], const char* wanted) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], wanted) == 0) return true;
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    // Without a window the charts are still drawn, offscreen, so no display is needed; nor
    // for printing help or the version.
    const bool headless = HasArgument(argc, argv, "--headless");
    const bool windowless = headless || HasArgument(argc, argv, "--help") ||
                            HasArgument(argc, argv, "-h") || HasArgument(argc, argv, "--version") ||
                            HasArgument(argc, argv, "-v");
    if (windowless) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    } else if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
               !std::getenv("QT_QPA_PLATFORM")) {
        std::fprintf(stderr,
                     "noxa-station: no display to show the window on; "
                     "use --headless to run without one.\n");
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName("noxa-station");
    QApplication::setApplicationVersion(NOXA_VERSION);
    QApplication::setApplicationDisplayName("VURUZ4E");

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Monitoring and logging station for the NOXA-V4I night-sky photometer.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(
        {"headless", "Run without a window, printing every log line to standard output."});
    parser.addOption({"serial-device",
                      "Open this device for the configured serial port (a USB adapter, a pty) "
                      "instead of /dev/ttyS<n-1>.",
                      "path"});
    parser.addOption({"tcp-host",
                      "Connect the TCP client sockets (ports 1244, 1236, 1237, 1238) to this "
                      "host in network mode. Without it they stay closed.",
                      "host"});
    parser.process(app);

    noxa::SystemClock clock;
    noxa::StationOptions options;
    options.workDir = QFile::encodeName(QDir::currentPath()).toStdString() + "/";
    options.serialDevice = parser.value("serial-device");
    options.tcpHost = parser.value("tcp-host");
    noxa::Station station(clock, noxa::StationLocale::FromProcess(), options);
    // The window is built before the station starts, so that it shows the start-up log lines.
    std::unique_ptr<noxa::MainWindow> window;
    if (headless) {
        QObject::connect(&station.Form(), &noxa::FormModel::logAppended, &PrintLogLine);
    } else {
        window = std::make_unique<noxa::MainWindow>(station);
        window->show();
    }

    noxa::TerminationSignals termination;
    QObject::connect(&termination, &noxa::TerminationSignals::terminationRequested, &app,
                     &QCoreApplication::quit);

    station.Start();
    return app.exec();
}
