#include "app/application_identity.h"
#include "app/automation_close_check.h"
#include "app/automation_registration.h"
#include "app/automation_service.h"
#include "app/config_command.h"
#include "app/main_window.h"
#include "app/station.h"
#include "app/station_folder_lock.h"
#include "app/station_outputs.h"
#include "app/station_settings.h"
#include "app/station_timers.h"
#include "process/log_printer.h"
#include "process/unix_signals.h"
#include "recording/config_keys.h"
#include "time/station_clock.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDBusConnection>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

void Warn(noxa::Station& station, const QString& line) {
    station.Form().AppendLog(noxa::LogLevel::Warning, line.toLocal8Bit().toStdString());
}

// /RegServer and /UnregServer: write or remove the service file and end. The process ends
// with 0 either way, since no station was meant to run; a failure is told on standard error.
int RunRegistration(int argc, char* argv[], const noxa::AutomationSwitches& switches) {
    QCoreApplication app(argc, argv);
    QString error;
    const bool done = switches.regServer ? noxa::RegisterAutomationServer(
                                               QCoreApplication::applicationFilePath(), error)
                                         : noxa::UnregisterAutomationServer(error);
    if (!done) std::fprintf(stderr, "noxa-station: %s\n", qPrintable(error));
    return 0;
}

// Every option of the station; the automation switches are taken out before.
void AddStationOptions(QCommandLineParser& parser) {
    parser.setApplicationDescription(
        "Monitoring and logging station for the NOXA-V4I night-sky photometer.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(
        {"headless", "Run without a window, printing every log line to standard output."});
    parser.addOption({"tcp-host",
                      "Connect the TCP client sockets (ports 1244, 1236, 1237, 1238) to this "
                      "host in network mode. Without it they stay closed.",
                      "host"});
    parser.addOption({"state-dir",
                      "Work in the station's folder, ~/.local/state/noxa-station (created when "
                      "missing), the folder the systemd user service and the menu's window work "
                      "in, instead of the current folder."});
    QString keys;
    for (const noxa::ConfigKey& key : noxa::ConfigKeys()) {
        keys += QStringLiteral("; %1: %2").arg(key.name, key.values);
    }
    parser.addOption(
        {"set",
         "Set KEY to VALUE in Noxa.cfg, print the settings and end (repeatable)" + keys + ".",
         "key=value"});
    parser.addOption({"show-config", "Print the settings of Noxa.cfg and end."});
    // For tests that run several stations at once: the broadcast port to listen on. An
    // instrument always broadcasts on 2255, so the option stays out of the help.
    QCommandLineOption udpPort("udp-port", "Listen for broadcasts on this UDP port.", "port");
    udpPort.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(udpPort);
    noxa::AddSettingOptions(parser, noxa::AllSettingSpecs());
}

// The toolkit's own options ("-platform offscreen", "-style fusion"), which it takes out of
// the arguments itself once it starts.
bool ToolkitOptionsOnly(const QStringList& unknown) {
    static const QStringList kToolkit{"platform",
                                      "platformpluginpath",
                                      "platformtheme",
                                      "plugin",
                                      "qwindowgeometry",
                                      "qwindowtitle",
                                      "qwindowicon",
                                      "display",
                                      "geometry",
                                      "style",
                                      "stylesheet",
                                      "reverse",
                                      "session",
                                      "widgetcount",
                                      "nograb",
                                      "dograb",
                                      "sync",
                                      "qmljsdebugger"};
    return !unknown.isEmpty() &&
           std::all_of(unknown.begin(), unknown.end(),
                       [](const QString& name) { return kToolkit.contains(name); });
}

// Reads the options before anything needs a display, so that a wrong one is said as such
// wherever the station runs. False when they were refused.
bool ParseOptions(QCommandLineParser& parser, int argc, char* argv[]) {
    // "-platform" is one option, as the toolkit reads it, not eight letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    AddStationOptions(parser);
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    if (parser.parse(arguments) || ToolkitOptionsOnly(parser.unknownOptionNames())) return true;
    std::fprintf(stderr, "noxa-station: %s\nTry noxa-station --help.\n",
                 qPrintable(parser.errorText()));
    return false;
}

// Without a window everything is drawn offscreen; a window needs a display.
bool ChoosePlatform(bool windowless, bool hasDisplay) {
    if (windowless) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    } else if (!hasDisplay && !std::getenv("QT_QPA_PLATFORM")) {
        std::fprintf(stderr,
                     "noxa-station: no display to show the window on; "
                     "use --headless to run without one.\n");
        return false;
    }
    return true;
}

// The station's own folder, the same for the window, the command line and the systemd user
// service on every systemd release: always ~/.local/state/noxa-station. Neither
// $XDG_STATE_HOME nor a user unit's state directory (~/.config under systemd 252) is followed,
// since the service could not follow them alike.
bool EnterStateFolder() {
    const QString folder = QDir::homePath() + "/.local/state/noxa-station";
    if (QDir().mkpath(folder) && QDir::setCurrent(folder)) return true;
    std::fprintf(stderr, "noxa-station: cannot work in %s.\n", qPrintable(folder));
    return false;
}

// The station's options, or why they were refused.
std::optional<noxa::StationOptions> TakeStationOptions(const QCommandLineParser& parser) {
    noxa::StationOptions options;
    if (parser.isSet("udp-port")) {
        bool ok = false;
        const uint port = parser.value("udp-port").toUInt(&ok);
        if (!ok || port > 65535) {
            std::fprintf(stderr, "noxa-station: --udp-port needs a port number, 0 to 65535.\n");
            return std::nullopt;
        }
        options.udpPort = static_cast<quint16>(port);
    }
    options.workDir = QFile::encodeName(QDir::currentPath()).toStdString() + "/";
    options.tcpHost = parser.value("tcp-host");
    return options;
}

// An option given that the configuration makes pointless, said once the configuration is read.
void ReportIgnoredOptions(noxa::Station& station, const noxa::StationOptions& options) {
    if (!options.serialDevice.isEmpty() && !station.Config().SerialMode()) {
        Warn(station, "Serial device " + options.serialDevice +
                          " (--serial-device, [serial] device) ignored: the configuration is in "
                          "network mode (serial port " +
                          QString::number(station.Config().serialPortNumber) +
                          "); set a serial port with --set serial_port=N.");
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    // The automation switches are no options of the parser ("-regserver" would be refused).
    const noxa::AutomationSwitches switches = noxa::TakeAutomationSwitches(argc, argv);
    if (switches.EndsAfterRegistration()) return RunRegistration(argc, argv, switches);

    QCommandLineParser parser;
    if (!ParseOptions(parser, argc, argv)) return 1;
    // --help and --version win over everything else: they print and write nothing.
    const bool printsOnly = parser.isSet("help") || parser.isSet("version");
    if (parser.isSet("state-dir") && !printsOnly && !EnterStateFolder()) return 1;
    if (!printsOnly && (parser.isSet("set") || parser.isSet("show-config"))) {
        const noxa::WorkDir here(QFile::encodeName(QDir::currentPath()).toStdString());
        return noxa::RunConfigCommand(here, parser.values("set"), stdout, stderr);
    }

    // Without a window the charts are still drawn, offscreen, so no display is needed; nor
    // for printing help or the version. A station the bus starts for a client on a computer
    // without a display serves it without a window.
    const bool hasDisplay = std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
    const bool headless = parser.isSet("headless") || (switches.automation && !hasDisplay);
    const bool windowless = headless || printsOnly;
    if (!ChoosePlatform(windowless, hasDisplay)) return 1;

    QApplication app(argc, argv);
    noxa::SetApplicationIdentity();
    parser.process(app);  // --help and --version print and end here

    // The bus starts its services in its own folder, "/" or anywhere; a station it starts
    // works in the user's home folder, where it finds its configuration and keeps its files.
    if (switches.automation && !parser.isSet("state-dir")) QDir::setCurrent(QDir::homePath());
    std::optional<noxa::StationOptions> taken = TakeStationOptions(parser);
    if (!taken) return 1;
    noxa::StationOptions& options = *taken;
    // Every normal start refreshes the service file, so the bus starts this very program.
    QString registrationError;
    if (!switches.automation) {
        noxa::RegisterAutomationServer(QCoreApplication::applicationFilePath(), registrationError);
    }

    // The mark that tells "--set" a station runs in this folder.
    noxa::StationFolderLock folderLock;
    const std::optional<long> otherStation = folderLock.Take(noxa::WorkDir(options.workDir));
    noxa::SystemClock clock;
    noxa::Settings settings = noxa::ReadSettings(noxa::WorkDir(options.workDir), parser);
    options.serialDevice = settings.Text("serial/device").trimmed();
    const noxa::StationSettings own = noxa::ReadStationSettings(settings);
    options.siteLatitude = own.latitude;
    options.siteLongitude = own.longitude;
    noxa::Station station(clock, noxa::StationLocale::FromProcess(), options);
    station.Form().SetLogThreshold(own.logLevel);
    noxa::StationTimers timers(station);
    noxa::StationOutputs outputs(station, clock, std::move(settings), own.siteZone);
    noxa::AutomationService automation(station.Form(), station.Framing());
    // The window is built before the station starts, so that it shows the start-up log lines.
    std::unique_ptr<noxa::MainWindow> window;
    if (headless) {
        QObject::connect(&station.Form(), &noxa::FormModel::logAppended, noxa::LogPrinter(stdout));
    } else {
        window = std::make_unique<noxa::MainWindow>(station);
        window->SetCloseCheck(noxa::AutomationCloseCheck(automation, window.get()));
        window->ShowSafety(outputs.Safety());
        window->show();
    }

    noxa::TerminationSignals termination;
    // exit() rather than quit(): a signal ends the station without asking the window.
    const auto end = [] { QCoreApplication::exit(0); };
    QObject::connect(&termination, &noxa::TerminationSignals::terminationRequested, &app, end);

    if (otherStation) {
        Warn(station, "Another station (process " + QString::number(*otherStation) +
                          ") works in this folder: both write the same files.");
    }
    station.Start();
    timers.Start();
    ReportIgnoredOptions(station, options);
    outputs.Start();
    if (!registrationError.isEmpty()) {
        Warn(station, "Automation service not registered: " + registrationError);
    }
    QString busError;
    if (!automation.Publish(QDBusConnection::sessionBus(), busError)) {
        Warn(station, "Automation service not available: " + busError);
    } else if (switches.automation) {
        QObject::connect(&automation, &noxa::AutomationService::lastClientLeft, &app, end);
    }
    return app.exec();
}
