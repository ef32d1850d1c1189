#include "night_options.h"

#include "messages.h"

#include <QCommandLineParser>

#include <clocale>
#include <cmath>

namespace {

std::optional<noxa::ObserverPlace> ParsePlace(const QString& text) {
    const QStringList parts = text.split(',');
    bool okLat = false, okLon = false;
    if (parts.size() != 2) return std::nullopt;
    const double lat = parts[0].trimmed().toDouble(&okLat);
    const double lon = parts[1].trimmed().toDouble(&okLon);
    if (!okLat || !okLon || std::abs(lat) > 90 || std::abs(lon) > 180) return std::nullopt;
    return noxa::ObserverPlace{lat, lon};
}

QCommandLineOption Option(const char* name, const char* help, const char* value = nullptr,
                          const char* byDefault = nullptr) {
    return QCommandLineOption(QString::fromLatin1(name), QString::fromLatin1(help),
                              QString::fromLatin1(value), QString::fromLatin1(byDefault));
}

}  // namespace

std::optional<NightOptions> ParseNightOptions(const QStringList& arguments, int& exitCode) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Draws the chart of every night of every instrument in the given files and sums each "
        "night up in summary.csv. FILES are night files of the skyglow format or the station's "
        "monthly data files."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("FILES"), QStringLiteral("The files to read."),
                                 QStringLiteral("FILES..."));
    const auto out = Option("out", "The folder for the charts and summary.csv (default: night).",
                            "DIR", "night");
    const auto site = Option("site",
                             "Latitude and longitude in degrees, north and east positive, for "
                             "files that do not give the place (data files).",
                             "LAT,LON");
    const auto zone = Option("zone",
                             "The time zone the nights follow (noon to noon), over the one a "
                             "night file's header gives; also that of data files' local times "
                             "(default: the header's, and this system's for data files).",
                             "ZONE");
    const auto dateFormat = Option(
        "date-format", "The strptime layout of data files' dates (default: %x, the locale's).",
        "PATTERN", "%x");
    const auto timeFormat = Option(
        "time-format", "The strptime layout of data files' times (default: %X, the locale's).",
        "PATTERN", "%X");
    const auto cloudy = Option(
        "cloudy", "A record is cloudy above this cloud cover in % (default: 30).", "PERCENT", "30");
    const auto progress =
        Option("progress", "Show the progress bar even when standard error is not a terminal.");
    const auto noCharts = Option("no-charts", "Write the summary alone, no charts.");
    parser.addOptions({out, site, zone, dateFormat, timeFormat, cloudy, progress, noCharts});
    parser.process(arguments);

    NightOptions options;
    options.files = parser.positionalArguments();
    exitCode = 2;  // the command line's use
    if (options.files.isEmpty()) return Say(QStringLiteral("no files given (see --help)"));
    exitCode = 1;  // a value that cannot be read, like a file that cannot be
    if (parser.isSet(site) && !(options.place = ParsePlace(parser.value(site))))
        return Say(QStringLiteral("--site needs LAT,LON in degrees"));
    options.dataTimes.zone = QTimeZone::systemTimeZone();
    if (parser.isSet(zone)) {
        // An empty value (an unset shell variable) is refused, not taken as this computer's.
        const QString name = parser.value(zone).trimmed();
        if (name.isEmpty()) return Say(QStringLiteral("--zone needs a time zone's name"));
        options.zone = QTimeZone(name.toUtf8());
        if (!options.zone->isValid())
            return Say(QStringLiteral("unknown time zone \"%1\"").arg(name));
        options.dataTimes.zone = *options.zone;
    }
    bool cloudyOk = false;
    options.cloudyAbovePercent = parser.value(cloudy).toFloat(&cloudyOk);
    if (!cloudyOk) return Say(QStringLiteral("--cloudy needs a number"));
    // The C library's %x and %X follow the user's locale, as when the station wrote the files.
    std::setlocale(LC_TIME, "");
    options.dataTimes.datePattern = parser.value(dateFormat).toStdString();
    options.dataTimes.timePattern = parser.value(timeFormat).toStdString();
    options.folder = parser.value(out);
    options.charts = !parser.isSet(noCharts);
    options.progress = parser.isSet(progress);
    return options;
}
