#include "archive/archive_ingest.h"
#include "archive/archive_settings.h"
#include "archive/fleet/fleet_web.h"
#include "archive/fleet/last_night_medians.h"
#include "archive/fleet/station_board.h"
#include "archive/mqtt_subscriber.h"
#include "archive/record_plausibility.h"
#include "archive/record_store.h"
#include "archive/station_forget.h"
#include "core/work_dir.h"
#include "process/log_printer.h"
#include "process/unix_signals.h"

#include <mosquitto.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QSqlDatabase>

#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

// The connection names of the ingest's, the web side's and the last nights' database
// connections.
constexpr const char* kIngestConnection = "noxa-archive-ingest";
constexpr const char* kWebConnection = "noxa-archive-web";
constexpr const char* kNightsConnection = "noxa-archive-nights";

void AddOptions(QCommandLineParser& parser) {
    parser.setApplicationDescription(
        "Archive of NOXA stations: stores the records they publish on an MQTT broker in SQLite "
        "or PostgreSQL and confirms them to each station.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({"dir",
                      "The archive's folder, with noxa-archive.ini and the SQLite database; the "
                      "current folder unless given.",
                      "path"});
    parser.addOption({"forget-station",
                      "Remove the station ID and all its records from the database, after asking "
                      "on the terminal (or with --yes), and end. Stop the archive first.",
                      "id"});
    parser.addOption({"yes", "Do not ask before --forget-station removes."});
    noxa::AddSettingOptions(parser, noxa::ArchiveSettingSpecs());
}

// Qt's own messages on standard error, but for Qt SQL's note that a statement of a connection
// already lost could not be freed on the server, which the archive's log has said in its way.
void QtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtDebugMsg || message.startsWith("Unable to free statement")) return;
    std::fprintf(stderr, "%s\n", qPrintable(message));
}

noxa::Log PrintedLog() {
    auto print = noxa::LogPrinter(stdout);
    return noxa::Log(
        [print](noxa::LogLevel level, std::string_view line) { print(level, std::string(line)); });
}

// The settings of the folder's file and the options; nothing when the archive cannot run.
std::optional<noxa::ArchiveConfig> ReadConfig(const QCommandLineParser& parser,
                                              const noxa::Log& log, bool brokerNeeded = true) {
    const QString folder = parser.value("dir");
    const noxa::WorkDir dir(QFile::encodeName(folder).toStdString());
    const noxa::Settings settings(dir.File(noxa::kArchiveSettingsFile), parser,
                                  noxa::ArchiveSettingSpecs());
    std::optional<noxa::ArchiveConfig> config =
        noxa::ReadArchiveConfig(settings, folder, brokerNeeded);
    for (const std::string& problem : settings.TakeProblems()) log.Warning(problem);
    return config;
}

// Whoever runs it says yes: on a terminal, by typing it; otherwise only with --yes.
bool Confirmed(const QCommandLineParser& parser, const std::string& question) {
    if (parser.isSet("yes")) return true;
    if (!::isatty(STDIN_FILENO)) {
        std::fprintf(stderr, "%s\nNot on a terminal: give --yes to remove it.\n", question.c_str());
        return false;
    }
    std::printf("%s Type yes to remove it: ", question.c_str());
    std::fflush(stdout);
    char answer[16] = {};
    return std::fgets(answer, sizeof answer, stdin) != nullptr &&
           (std::strcmp(answer, "yes\n") == 0 || std::strcmp(answer, "y\n") == 0);
}

int ForgetStation(const QCommandLineParser& parser, const noxa::ArchiveConfig& config) {
    const QString station = parser.value("forget-station");
    const std::string shown = noxa::Shown(station);
    const std::string database = config.database.Shown().toStdString();
    noxa::RecordStore store(config.database, config.databasePassword, kIngestConnection);
    QString error;
    if (!store.Open(error)) {
        std::fprintf(stderr, "Database %s unavailable: %s\n", database.c_str(), qPrintable(error));
        return 1;
    }
    QSqlDatabase db = QSqlDatabase::database(kIngestConnection, false);
    const auto holdings = noxa::HoldingsOf(db, station, error);
    if (!holdings) {
        std::fprintf(stderr, error.isEmpty() ? "%s holds no station \"%s\".\n" : "%s: %s\n",
                     database.c_str(), error.isEmpty() ? shown.c_str() : qPrintable(error));
        return 1;
    }
    const std::string question = "Station \"" + shown + "\" (" + noxa::Shown(holdings->name) +
                                 ") has " + std::to_string(holdings->records) + " records in " +
                                 database + ".";
    if (!Confirmed(parser, question)) {
        std::fprintf(stderr, "Nothing removed.\n");
        return 1;
    }
    const auto removed = noxa::ForgetStation(db, station, error);
    if (!removed) {
        std::fprintf(stderr, "Nothing removed: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("Removed station \"%s\" and its %lld records.\n", shown.c_str(),
                static_cast<long long>(*removed));
    return 0;
}

// Keeps `board` as the database has the stations: read whole each time the ingest opens the
// database, then brought up to date by each commit.
void FeedBoard(noxa::ArchiveIngest& ingest, noxa::StationBoard& board, const noxa::Log& log) {
    ingest.WatchStore(
        [&board, log] {
            std::vector<noxa::StationRow> rows;
            QString error;
            if (noxa::ArchiveReader(kIngestConnection).Stations(rows, error)) {
                board.Load(rows);
            } else {
                log.Error("The stations cannot be read for the fleet page: " + error.toStdString());
            }
        },
        [&board](const noxa::ArchiveBatch& batch, const noxa::CommitOutcome& outcome) {
            board.Apply(batch, outcome);
        });
}

int Run(QCoreApplication& app, const noxa::ArchiveConfig& config, const noxa::Log& log) {
    noxa::ArchiveCounters counters;
    noxa::RecordStore store(config.database, config.databasePassword, kIngestConnection);
    noxa::ArchiveIngest ingest(store, counters, config.broker.topicPrefix, config.name, log);
    noxa::StationBoard board;
    FeedBoard(ingest, board, log);
    noxa::MqttSubscriber subscriber(config.broker, ingest.Inbox(), log);
    QObject::connect(&subscriber, &noxa::MqttSubscriber::connectionChanged, &app,
                     [&counters](bool connected) { counters.brokerConnected = connected; });
    ingest.SetPublish([&subscriber](const std::string& topic, const QByteArray& payload) {
        subscriber.PublishRetained(topic, payload);
    });
    log.Info("noxa-archive \"" + config.name + "\": broker " + config.broker.host + ":" +
             std::to_string(config.broker.port) + ", topics " + config.broker.topicPrefix +
             "/+/record, database " + config.database.Shown().toStdString());
    ingest.Start();
    subscriber.Start();

    // The web side reads through a connection of its own to the same database.
    QSqlDatabase::cloneDatabase(kIngestConnection, kWebConnection);
    noxa::FleetWebOptions webOptions;
    webOptions.port = config.http.port;
    webOptions.address = QHostAddress(config.http.address);
    webOptions.staleSeconds = static_cast<qint64>(config.http.staleSeconds);
    std::unique_ptr<noxa::FleetWeb> web =
        noxa::StartFleetWeb(webOptions, kWebConnection, board, counters, log);
    // Last night's medians for the page, read through a connection of their own.
    const noxa::SystemClock clock;
    std::unique_ptr<noxa::LastNightMedians> medians;
    if (web) {
        QSqlDatabase::cloneDatabase(kIngestConnection, kNightsConnection);
        medians = std::make_unique<noxa::LastNightMedians>(kNightsConnection, board, clock);
        medians->Start();
    }

    noxa::TerminationSignals termination;
    QObject::connect(&termination, &noxa::TerminationSignals::terminationRequested, &app,
                     &QCoreApplication::quit);
    const int status = app.exec();
    web.reset();
    medians.reset();
    QSqlDatabase::removeDatabase(kWebConnection);
    QSqlDatabase::removeDatabase(kNightsConnection);
    ingest.Finish();
    log.Info("noxa-archive ends.");
    return status;
}

}  // namespace

int main(int argc, char* argv[]) {
    qInstallMessageHandler(QtMessages);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("noxa-archive");
    QCoreApplication::setApplicationVersion(NOXA_VERSION);
    QCommandLineParser parser;
    AddOptions(parser);
    parser.process(app);
    const noxa::Log log = PrintedLog();
    const bool forget = parser.isSet("forget-station");
    const std::optional<noxa::ArchiveConfig> config = ReadConfig(parser, log, !forget);
    if (!config) return 2;
    if (forget) return ForgetStation(parser, *config);
    mosquitto_lib_init();
    const int status = Run(app, *config, log);
    mosquitto_lib_cleanup();
    return status;
}
