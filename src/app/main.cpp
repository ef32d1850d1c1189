#include "app/station.h"
#include "app/unix_signals.h"
#include "time/station_clock.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace {

void PrintLogLine(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("noxa-station");
    QCoreApplication::setApplicationVersion(NOXA_VERSION);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Monitoring and logging station for the NOXA-V4I night-sky photometer.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(
        {"headless", "Run without a window, printing every log line to standard output."});
    parser.process(app);

    noxa::SystemClock clock;
    noxa::Station station(clock, noxa::StationLocale::FromProcess());
    QObject::connect(&station.Form(), &noxa::FormModel::logAppended, &PrintLogLine);

    noxa::TerminationSignals termination;
    QObject::connect(&termination, &noxa::TerminationSignals::terminationRequested, &app,
                     &QCoreApplication::quit);

    station.Start();
    return app.exec();
}
