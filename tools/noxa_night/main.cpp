// noxa-night: the charts and the summary of past nights, from night files and data files.

#include "messages.h"
#include "night_options.h"
#include "progress.h"
#include "read_nights.h"
#include "write_long_term.h"
#include "write_nights.h"
#include "year_data.h"

#include <QDir>
#include <QGuiApplication>

#include <malloc.h>
#include <unistd.h>

#include <set>
#include <string>

namespace {

void QuietRuntimeFolder(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (message.startsWith(QLatin1String("QStandardPaths:"))) return;
    if (type != QtDebugMsg) PrintLine(message);
}

int CountInstruments(const std::vector<noxa::Night>& nights) {
    std::set<std::string> instruments;
    for (const noxa::Night& night : nights) instruments.insert(night.instrument);
    return int(instruments.size());
}

}  // namespace

int main(int argc, char* argv[]) {
    // Each chart takes some megabytes of images and buffers: kept by the allocator for the next
    // chart rather than handed back to the system and faulted in afresh, page by page, which
    // cost a third as much as drawing.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    // Charts are drawn into images: no display is needed, nor a runtime folder (whose absence
    // Qt would otherwise mention).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(QuietRuntimeFolder);
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("noxa-night"));

    int refused = 0;
    const std::optional<NightOptions> options = ParseNightOptions(app.arguments(), refused);
    if (!options) return refused;
    Progress bar(options->progress || isatty(STDERR_FILENO));
    bool failed = false;
    const std::vector<noxa::Night> nights = ReadNights(*options, bar, failed);
    if (!QDir().mkpath(options->folder)) {
        Say(QStringLiteral("the folder %1 cannot be made").arg(options->folder));
        return 1;
    }
    std::vector<bool> chartCurrent;
    std::vector<YearData> years = GatherYears(nights, *options, chartCurrent);
    if (!WriteNights(nights, chartCurrent, *options, bar, failed)) return 1;
    if (!WriteLongTerm(years, *options, bar, failed)) return 1;
    Say(QStringLiteral("%1 nights of %2 instruments from %3 files in %4")
            .arg(nights.size())
            .arg(CountInstruments(nights))
            .arg(options->files.size())
            .arg(options->folder));
    return failed ? 1 : 0;
}
