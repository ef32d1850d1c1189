// noxa-month: a month of the station's life without waiting a month. It drives the station's
// own handlers with a clock it moves by hand: a tick every second, a report every two seconds
// of station time, a chart point every minute, and checks that memory stays flat, that the data
// files roll over at the month's end with their headers, and that the chart history keeps the
// last 1440 points. Exit code 0 when every check held.
//   noxa-month --days 30        (the figures)
//   noxa-month --days 1         (the test)
#include "app/station.h"
#include "recording/day_buffer_file.h"
#include "report_generator.h"
#include "time/date_time.h"
#include "time/station_clock.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

namespace {

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

int failures = 0;

void Check(bool ok, const std::string& what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    if (!ok) ++failures;
}

// A configuration with the default intervals, written as "Save Changes" would.
void Configure(noxa::Station& station) {
    // No socket: the reports are handed to the listener directly.
    station.Form().SetText(noxa::FormText::EPuertoEth, "0");
    std::string error;
    if (!station.Configuration().WriteRecord(station.Configuration().BuildRecord(), error)) {
        std::fprintf(stderr, "noxa-month: %s\n", error.c_str());
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("A month of the station's life on a fast clock.");
    parser.addHelpOption();
    parser.addOptions({{"days", "Days of station time to run.", "n", "30"},
                       {"start", "Station clock at the start, yyyy-MM-ddTHH:mm:ss.", "time",
                        "2026-01-15T12:00:00"}});
    parser.process(app);
    const int days = parser.value("days").toInt();
    const QDateTime start = QDateTime::fromString(parser.value("start"), Qt::ISODate);
    if (days < 1 || !start.isValid()) {
        std::fprintf(stderr, "noxa-month: give --days above 0 and a valid --start\n");
        return 2;
    }

    QTemporaryDir dir;
    noxa::ManualClock clock(start);
    noxa::StationOptions options;
    options.udpPort = 0;
    options.workDir = dir.path().toStdString() + "/";
    auto station = std::make_unique<noxa::Station>(
        clock, noxa::StationLocale::Fixed("%d/%m/%Y", "%H:%M:%S", "."), options);
    Configure(*station);
    station->Start();
    // No timers: the handlers are driven by hand.

    noxa::sim::ReportGenerator instrument("qelvoxxx", 7);
    const long ticks = days * 86400L;
    long firstDayKiB = 0;
    for (long t = 1; t <= ticks; ++t) {
        clock.Advance(1000);
        if (t % 2 == 0) {
            const std::string report = instrument.Next(static_cast<double>(t));
            station->ReceiveDatagram(QByteArrayView(report));
        }
        station->PollSerial();
        station->Tick();
        if (t % 60 == 0) station->ChartTick();
        if (t == 86400) firstDayKiB = ResidentKiB();
        if (t % 86400 == 0) {
            std::printf("day %ld: resident %ld KiB, log %zu lines\n", t / 86400, ResidentKiB(),
                        station->Form().LogLines().size());
            std::fflush(stdout);
        }
    }
    const long endKiB = ResidentKiB();
    std::printf("resident memory after the first day %ld KiB, at the end %ld KiB\n", firstDayKiB,
                endKiB);
    Check(endKiB - firstDayKiB < 8 * 1024, "memory stays flat after the first day");

    // One data file per month touched, each with its three header lines first.
    long dataLines = 0;
    int files = 0;
    const QDir folder(dir.path());
    for (const QString& name : folder.entryList({"qelvoxxx_*.csv"}, QDir::Files, QDir::Name)) {
        QFile file(folder.filePath(name));
        file.open(QIODevice::ReadOnly);
        const QList<QByteArray> lines = file.readAll().split('\n');
        ++files;
        Check(lines.size() > 3 && lines[0].startsWith("# qelvoxxx\t") &&
                  lines[1].startsWith("#  C1: 740") && lines[2].startsWith("# Date\t"),
              name.toStdString() + " starts with its header");
        dataLines += lines.size() - 4;  // three header lines and the empty rest after the last
    }
    const QDate first = start.date();
    const QDate last = clock.Now().date();
    const int months = (last.year() - first.year()) * 12 + last.month() - first.month() + 1;
    Check(files == months,
          std::to_string(files) + " data files for " + std::to_string(months) + " months");
    Check(std::labs(dataLines - ticks / 60) <= 2,
          std::to_string(dataLines) + " data lines, one a minute");

    // The history holds the last 1440 points, a minute apart, the newest just made.
    const noxa::DayTables& table = station->Days();
    bool evenlySpaced = true;
    for (std::size_t i = 1; i < noxa::kDaySlots; ++i) {
        const double step = (table.slot[i].date + table.slot[i].time) -
                            (table.slot[i - 1].date + table.slot[i - 1].time);
        evenlySpaced = evenlySpaced && std::fabs(step * 1440 - 1) < 1e-6;
    }
    Check(evenlySpaced, "the history's 1440 points are a minute apart");
    const double newest = table.Newest().date + table.Newest().time;
    Check(std::fabs(newest - noxa::ToDayNumber(clock.Now())) * 86400 < 60,
          "the newest point is the last minute's");
    Check(QFile(folder.filePath(noxa::DayBufferFile::kFileName)).size() == 103680,
          "noxagraf.hex is whole");
    std::printf("%s\n", failures == 0 ? "all checks held" : "SOME CHECKS FAILED");
    return failures == 0 ? 0 : 1;
}
