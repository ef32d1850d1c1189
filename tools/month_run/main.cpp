// noxa-month: a month of the station's life without waiting a month. It drives the station's
// own handlers with a clock it moves by hand: a tick every second, a report every two seconds
// of station time, a chart point every minute, and checks that memory stays flat, that the data
// files roll over at the month's end with their headers, and that the chart history keeps the
// last 1440 points. Exit code 0 when every check held.
//   noxa-month --days 30        (the figures)
//   noxa-month --days 1         (the test)
#include "app/station.h"
#include "core/form_model.h"
#include "core/station_config.h"
#include "core/work_dir.h"
#include "recording/config_file.h"
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
#include <optional>
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

// How long to run and from when.
struct RunLength {
    int days = 0;
    QDateTime start;
};

std::optional<RunLength> ParseRunLength(const QApplication& app) {
    QCommandLineParser parser;
    parser.setApplicationDescription("A month of the station's life on a fast clock.");
    parser.addHelpOption();
    parser.addOptions({{"days", "Days of station time to run.", "n", "30"},
                       {"start", "Station clock at the start, yyyy-MM-ddTHH:mm:ss.", "time",
                        "2026-01-15T12:00:00"}});
    parser.process(app);
    RunLength run{parser.value("days").toInt(),
                  QDateTime::fromString(parser.value("start"), Qt::ISODate)};
    if (run.days < 1 || !run.start.isValid()) {
        std::fprintf(stderr, "noxa-month: give --days above 0 and a valid --start\n");
        return std::nullopt;
    }
    return run;
}

// A configuration with the default intervals in `folder`, written as "Save Changes" would.
void Configure(const std::string& folder) {
    noxa::FormModel form;
    noxa::StationConfig config;
    noxa::ConfigFile file(form, config, noxa::WorkDir(folder));
    // No socket: the reports are handed to the listener directly.
    form.SetText(noxa::FormText::EPuertoEth, "0");
    std::string error;
    if (!file.WriteRecord(file.BuildRecord(), error)) {
        std::fprintf(stderr, "noxa-month: %s\n", error.c_str());
    }
}

// Drives the station's handlers for `ticks` seconds of station time; returns the resident
// memory after the first day.
long RunStation(noxa::Station& station, noxa::ManualClock& clock, long ticks) {
    noxa::sim::ReportGenerator instrument("qelvoxxx", 7);
    long firstDayKiB = 0;
    for (long t = 1; t <= ticks; ++t) {
        clock.Advance(1000);
        if (t % 2 == 0) {
            const std::string report = instrument.Next(static_cast<double>(t));
            station.ReceiveDatagram(QByteArrayView(report));
        }
        station.PollSerial();
        station.Tick();
        if (t % 60 == 0) station.ChartTick();
        if (t == 86400) firstDayKiB = ResidentKiB();
        if (t % 86400 == 0) {
            std::printf("day %ld: resident %ld KiB, log %zu lines\n", t / 86400, ResidentKiB(),
                        station.Form().LogLines().size());
            std::fflush(stdout);
        }
    }
    return firstDayKiB;
}

// One data file per month touched, each with its three header lines first, and a line a minute.
void CheckDataFiles(const QDir& folder, const QDate& first, const QDate& last, long ticks) {
    long dataLines = 0;
    int files = 0;
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
    const int months = (last.year() - first.year()) * 12 + last.month() - first.month() + 1;
    Check(files == months,
          std::to_string(files) + " data files for " + std::to_string(months) + " months");
    Check(std::labs(dataLines - ticks / 60) <= 2,
          std::to_string(dataLines) + " data lines, one a minute");
}

// The history holds the last 1440 points, a minute apart, the newest just made.
void CheckHistory(const noxa::DayTables& table, const QDateTime& now, const QDir& folder) {
    bool evenlySpaced = true;
    for (std::size_t i = 1; i < noxa::kDaySlots; ++i) {
        const double step = (table.slot[i].date + table.slot[i].time) -
                            (table.slot[i - 1].date + table.slot[i - 1].time);
        evenlySpaced = evenlySpaced && std::fabs(step * 1440 - 1) < 1e-6;
    }
    Check(evenlySpaced, "the history's 1440 points are a minute apart");
    const double newest = table.Newest().date + table.Newest().time;
    Check(std::fabs(newest - noxa::ToDayNumber(now)) * 86400 < 60,
          "the newest point is the last minute's");
    Check(QFile(folder.filePath(noxa::DayBufferFile::kFileName)).size() == 103680,
          "noxagraf.hex is whole");
}

}  // namespace

int main(int argc, char* argv[]) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const std::optional<RunLength> run = ParseRunLength(app);
    if (!run) return 2;

    QTemporaryDir dir;
    noxa::ManualClock clock(run->start);
    noxa::StationOptions options;
    options.udpPort = 0;
    options.workDir = dir.path().toStdString() + "/";
    Configure(options.workDir);
    auto station = std::make_unique<noxa::Station>(
        clock, noxa::StationLocale::Fixed("%d/%m/%Y", "%H:%M:%S", "."), options);
    station->Start();
    // No timers: the handlers are driven by hand.

    const long ticks = run->days * 86400L;
    const long firstDayKiB = RunStation(*station, clock, ticks);
    const long endKiB = ResidentKiB();
    std::printf("resident memory after the first day %ld KiB, at the end %ld KiB\n", firstDayKiB,
                endKiB);
    Check(endKiB - firstDayKiB < 8 * 1024, "memory stays flat after the first day");

    const QDir folder(dir.path());
    CheckDataFiles(folder, run->start.date(), clock.Now().date(), ticks);
    CheckHistory(station->Days(), clock.Now(), folder);
    std::printf("%s\n", failures == 0 ? "all checks held" : "SOME CHECKS FAILED");
    return failures == 0 ? 0 : 1;
}
