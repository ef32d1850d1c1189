// noxa-night: the charts and the summary of past nights, from night files and data files.

#include "night/night_chart.h"
#include "night/night_files.h"
#include "night/night_report.h"
#include "night/night_summary.h"

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QMutex>
#include <QtConcurrent>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <optional>

namespace {

using namespace noxa;

void Print(const QString& line) {
    std::fputs(qPrintable(line + '\n'), stderr);
    std::fflush(stderr);
}

// A bar on the terminal, shown once the work has taken more than a second.
class Progress {
public:
    explicit Progress(bool wanted) : wanted_(wanted) { timer_.start(); }
    void Show(const char* what, int done, int total) {
        if (!wanted_ || total <= 0 || timer_.elapsed() < 1000) return;
        const QMutexLocker lock(&mutex_);
        constexpr int kWidth = 30;
        const int filled = done * kWidth / total;
        std::fprintf(stderr, "\r%-8s [%s%s] %d/%d", what, std::string(size_t(filled), '#').c_str(),
                     std::string(size_t(kWidth - filled), '.').c_str(), done, total);
        std::fflush(stderr);
        shown_ = true;
    }
    void End() {
        if (shown_) std::fputc('\n', stderr);
        shown_ = false;
    }

private:
    bool wanted_;
    bool shown_ = false;
    QElapsedTimer timer_;
    QMutex mutex_;
};

void QuietRuntimeFolder(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (message.startsWith(QLatin1String("QStandardPaths:"))) return;
    if (type != QtDebugMsg) Print(message);
}

bool IsNightFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray first = file.readLine(512).toLower();
    return first.startsWith('#') && (first.contains("data format") || first.contains("skyglow"));
}

std::optional<ObserverPlace> ParsePlace(const QString& text) {
    const QStringList parts = text.split(',');
    bool okLat = false, okLon = false;
    if (parts.size() != 2) return std::nullopt;
    const double lat = parts[0].trimmed().toDouble(&okLat);
    const double lon = parts[1].trimmed().toDouble(&okLon);
    if (!okLat || !okLon || std::abs(lat) > 90 || std::abs(lon) > 180) return std::nullopt;
    return ObserverPlace{lat, lon};
}

}  // namespace

int main(int argc, char* argv[]) {
    // Charts are drawn into images: no display is needed, nor a runtime folder (whose absence
    // Qt would otherwise mention).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(QuietRuntimeFolder);
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("noxa-night"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Draws the chart of every night in the given files and sums each night up in "
        "summary.csv. FILES are night files of the skyglow format or the station's monthly "
        "data files."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("FILES"), QStringLiteral("The files to read."),
                                 QStringLiteral("FILES..."));
    const QCommandLineOption out(QStringLiteral("out"),
                                 QStringLiteral("The folder for the charts and summary.csv "
                                                "(default: night)."),
                                 QStringLiteral("DIR"), QStringLiteral("night"));
    const QCommandLineOption site(
        QStringLiteral("site"),
        QStringLiteral("Latitude and longitude in degrees, north and east positive, for files "
                       "that do not give the place (data files)."),
        QStringLiteral("LAT,LON"));
    const QCommandLineOption zone(
        QStringLiteral("zone"),
        QStringLiteral("The time zone of data files' local times (default: this system's)."),
        QStringLiteral("ZONE"));
    const QCommandLineOption dateFormat(
        QStringLiteral("date-format"),
        QStringLiteral("The strptime layout of data files' dates (default: %x, the locale's)."),
        QStringLiteral("PATTERN"), QStringLiteral("%x"));
    const QCommandLineOption timeFormat(
        QStringLiteral("time-format"),
        QStringLiteral("The strptime layout of data files' times (default: %X, the locale's)."),
        QStringLiteral("PATTERN"), QStringLiteral("%X"));
    const QCommandLineOption cloudy(
        QStringLiteral("cloudy"),
        QStringLiteral("A record is cloudy above this cloud cover in % (default: 30)."),
        QStringLiteral("PERCENT"), QStringLiteral("30"));
    const QCommandLineOption progress(
        QStringLiteral("progress"),
        QStringLiteral("Show the progress bar even when standard error is not a terminal."));
    const QCommandLineOption noCharts(QStringLiteral("no-charts"),
                                      QStringLiteral("Write the summary alone, no charts."));
    parser.addOptions({out, site, zone, dateFormat, timeFormat, cloudy, progress, noCharts});
    parser.process(app);

    const QStringList files = parser.positionalArguments();
    if (files.isEmpty()) {
        Print(QStringLiteral("noxa-night: no files given (see --help)"));
        return 2;
    }
    std::optional<ObserverPlace> place;
    if (parser.isSet(site) && !(place = ParsePlace(parser.value(site)))) {
        Print(QStringLiteral("noxa-night: --site needs LAT,LON in degrees"));
        return 2;
    }
    QTimeZone dataZone = QTimeZone::systemTimeZone();
    if (parser.isSet(zone)) {
        dataZone = QTimeZone(parser.value(zone).toUtf8());
        if (!dataZone.isValid()) {
            Print(QStringLiteral("noxa-night: unknown time zone ") + parser.value(zone));
            return 2;
        }
    }
    bool cloudyOk = false;
    const float cloudyAbove = parser.value(cloudy).toFloat(&cloudyOk);
    if (!cloudyOk) {
        Print(QStringLiteral("noxa-night: --cloudy needs a number"));
        return 2;
    }
    // The C library's %x and %X follow the user's locale, as when the station wrote the files.
    std::setlocale(LC_TIME, "");
    const std::string datePattern = parser.value(dateFormat).toStdString();
    const std::string timePattern = parser.value(timeFormat).toStdString();

    Progress bar(parser.isSet(progress) || isatty(STDERR_FILENO));
    std::atomic<int> read{0};
    // What each file held, already split into nights (each file on its own, in parallel).
    struct FileNights {
        NightFileRecords records;
        std::vector<Night> nights;
    };
    const auto readOne = [&](const QString& path) {
        FileNights file;
        NightFileRecords& records = file.records;
        records = IsNightFile(path) ? ReadNightFile(path)
                                    : ReadDataFile(path, datePattern, timePattern, dataZone);
        if (place && !records.place) {
            records.place = place;
            AddSky(records.samples, *place);
        }
        file.nights = SplitIntoNights(std::move(records.samples), records.zone);
        records.samples.clear();
        bar.Show("reading", ++read, int(files.size()));
        return file;
    };
    QList<FileNights> contents = QtConcurrent::blockingMapped(files, readOne);
    bar.End();

    int status = 0;
    bool missingPlace = false;
    // A night found in several files (a month's data file ends in the night) is put together.
    std::map<std::pair<QByteArray, QDate>, Night> byNight;
    for (qsizetype i = 0; i < files.size(); ++i) {
        const NightFileRecords& records = contents[i].records;
        if (!records.error.empty()) {
            Print(QStringLiteral("noxa-night: %1: %2")
                      .arg(files[i], QString::fromStdString(records.error)));
            status = 1;
        }
        if (records.skippedLines > 0)
            Print(QStringLiteral("noxa-night: %1: %2 lines not read")
                      .arg(files[i])
                      .arg(records.skippedLines));
        if (!records.place && !contents[i].nights.empty()) missingPlace = true;
        for (Night& night : contents[i].nights) {
            auto [at, added] = byNight.try_emplace({night.zone.id(), night.date}, std::move(night));
            if (added) continue;
            std::vector<NightSample> samples = std::move(at->second.samples);
            samples.insert(samples.end(), night.samples.begin(), night.samples.end());
            at->second = SplitIntoNights(std::move(samples), night.zone).front();
        }
    }
    contents.clear();
    if (missingPlace)
        Print(
            QStringLiteral("noxa-night: files without the observer's place have no Sun or "
                           "Moon: give --site LAT,LON"));
    std::vector<Night> nights;
    nights.reserve(byNight.size());
    for (auto& [key, night] : byNight) nights.push_back(std::move(night));

    const QString folder = parser.value(out);
    if (!QDir().mkpath(folder)) {
        Print(QStringLiteral("noxa-night: the folder %1 cannot be made").arg(folder));
        return 1;
    }
    const bool withCharts = !parser.isSet(noCharts);
    std::atomic<int> drawn{0};
    std::atomic<bool> failed{false};
    QMutex printing;
    const auto reportOne = [&](const Night& night) {
        QString error;
        if (withCharts && !SaveNightChart(night, NightChartPath(folder, night.date), error)) {
            const QMutexLocker lock(&printing);
            Print(QStringLiteral("noxa-night: chart of %1 not written: %2")
                      .arg(night.date.toString(Qt::ISODate), error));
            failed = true;
        }
        bar.Show("charts", ++drawn, int(nights.size()));
        return SummaryCsvLine(SummarizeNight(night, cloudyAbove));
    };
    const auto lines = QtConcurrent::blockingMapped<std::vector<std::string>>(
        nights.cbegin(), nights.cend(), reportOne);
    bar.End();
    QString error;
    if (!AddToNightSummary(folder, lines, error)) {
        Print(
            QStringLiteral("noxa-night: %1 not written: %2").arg(NightSummaryPath(folder), error));
        return 1;
    }
    Print(QStringLiteral("noxa-night: %1 nights from %2 files in %3")
              .arg(nights.size())
              .arg(files.size())
              .arg(folder));
    return failed ? 1 : status;
}
