#pragma once

#include "app/connection.h"
#include "app/heartbeat.h"
#include "app/instrument_commands.h"
#include "app/link_state.h"
#include "app/serial_handlers.h"
#include "app/socket_handlers.h"
#include "charts/station_charts.h"
#include "core/chart_settings.h"
#include "core/day_tables.h"
#include "core/failure_state.h"
#include "core/foreign_stations.h"
#include "core/form_model.h"
#include "core/live_sums.h"
#include "core/observation_builder.h"
#include "core/observation_feed.h"
#include "core/readings_presenter.h"
#include "core/station_config.h"
#include "core/station_identity.h"
#include "core/station_locale.h"
#include "links/serial_link.h"
#include "links/tcp_sockets.h"
#include "links/udp_listener.h"
#include "recording/config_file.h"
#include "recording/data_file.h"
#include "recording/day_buffer_file.h"
#include "recording/recorder.h"
#include "recording/xml_snapshot.h"
#include "time/sky_time.h"
#include "time/sun_moon.h"

#include <QByteArrayView>
#include <QObject>

#include <functional>
#include <optional>
#include <string>

namespace noxa {

class StationClock;

struct StationOptions {
    quint16 udpPort = UdpListener::kPort;
    // A device to open instead of the configured serial port's (a USB adapter, a pty).
    QString serialDevice;
    // The host the TCP client sockets connect to; without one they stay closed.
    QString tcpHost;
    // The folder the station keeps all its files in, ending in "/": the current directory at
    // start-up.
    std::string workDir;
    // The site's position where it is given; otherwise the configuration's serves.
    std::optional<double> siteLatitude, siteLongitude;
};

// The whole station: it owns every piece of state and every handler, and wires them together.
// A window, when there is one, is only a view of its form model and charts.
// Needs a QApplication (the charts are drawn offscreen when there is no window).
class Station : public QObject, private HeartbeatActions {
    Q_OBJECT

public:
    using ErrorHandler = std::function<void(const std::string& message)>;

    Station(const StationClock& clock, StationLocale locale, StationOptions options);

    // Start-up: begins a new log and reads the configuration (LoadConfiguration), sets the
    // caption, opens the links, loads the chart history and applies the first zoom step. The
    // timers that drive the handlers below are the application's (StationTimers).
    void Start();

    // Errors that stop a handler go here: by default a log line and standard error; a window
    // shows them in a message box.
    void SetErrorHandler(ErrorHandler handler) { errorHandler_ = std::move(handler); }

    // What the user asks for (the window's buttons).
    void ClearLog();
    // A new log, then the configuration read into the settings page and the settings.
    void LoadConfiguration();
    // Writes the settings page into the configuration file, reads it back and connects again.
    void SaveSettings();
    // Opens the link the configuration names: the broadcast listener or the serial port.
    void Connect();
    // The next zoom step of both charts.
    void StepChartZoom();
    // Shows a hidden series of the brightness chart, or hides a shown one.
    void ToggleChartSeries(ChartSeries series);
    // Empties both charts and the day tables behind them.
    void ClearCharts();
    // Saves both charts as images named after the J2000 day.
    void SaveChartImages();
    // Instrument commands.
    void AskFastReadings();
    void AskSlowReadings();
    void AskVersion();
    void AskBurst();

    // The serial poll, every 100 ms: in serial mode it takes what the port received, and shows
    // the link as failed (LRx red) while the port is not open.
    void PollSerial();

    // A datagram from the broadcast listener: cut at its first zero byte, copied to the log
    // when CBvermensaje is ticked, and decoded when it names the station (Esitio); the reports
    // of another station are said in the log, once an hour at most per name.
    void ReceiveDatagram(QByteArrayView datagram);

    // The chart timer's handler: passes the chart interval on to the timer (chartIntervalChanged)
    // or, when ETiempo holds no interval, puts "60" back into it; then makes a chart point and
    // saves the chart history.
    void ChartTick();
    // Once a second: the record interval's count and the heartbeat.
    void Tick();
    // One chart point: the newest slot from the interval's sums, both charts redrawn and
    // exported as "mag.jpg" and "temp.jpg". Returns why an image could not be written, or
    // an empty text.
    std::string MakeChartPoint();

    // Where the observer stands, for the Sun and the Moon of every output: the site's position
    // where it is given, otherwise the configuration's.
    ObserverPlace Place() const;
    // The station's name and instrument constants as the window shows them, for its files.
    StationIdentity Identity() const;

    // Everything the station measures, as numbers, for the outputs to subscribe to.
    ObservationFeed& Feed() { return feed_; }
    // How long a reading may give no value before it counts as failed: the estimates then rest
    // only on means taken after it came back.
    void SetStaleSeconds(double seconds) { builder_.SetStaleSeconds(seconds); }
    // What the window shows and edits.
    FormModel& Form() { return form_; }
    StationCharts& Charts() { return charts_; }
    // The chart history behind the charts.
    const DayTables& Days() const { return days_; }
    // The folder the station keeps its files in.
    const WorkDir& Dir() const { return workDir_; }
    // The settings read from the configuration file.
    const StationConfig& Config() const { return config_; }
    const StationLocale& Locale() const { return locale_; }
    // The framing shared by the serial line, TCP socket 1 and the automation interface.
    SerialStreamParser& Framing() { return serialEvents_.Framing(); }

signals:
    // The chart timer's next interval.
    void chartIntervalChanged(int milliseconds);

private:
    // What the heartbeat asks of the station.
    void Reconnect() override;
    void WriteXmlSnapshot() override;
    bool ReopenSerialPort(std::int32_t portNumber) override;
    void AddChartPoint() override;
    void SetChartTimerInterval(int milliseconds) override;

    // A report of the station's own instrument: decoded, shown, counted and published.
    void HandleReport(std::string_view report, ReportSource source);
    void RecordIfDue();

    // Runs a handler; an error that escapes it is shown and the station goes on.
    template <typename Handler>
    void Guarded(Handler&& handler);
    void ReportError(const std::string& message);
    // The chart images of a chart point were written, or why not: shown once when they start
    // failing, not at every chart point, and said when they are written again.
    void ChartImagesWritten(const std::string& error);

    const StationClock& clock_;
    StationLocale locale_;
    ObservationFeed feed_;
    FormModel form_;
    LiveSums sums_;
    ObservationBuilder builder_;
    DayTables days_;
    StationConfig config_;
    // The chart interval as the settings page gives it.
    ChartSettings chartSettings_;
    StationCharts charts_;
    // The folder every file of the station is read and written in.
    const WorkDir workDir_;
    ConfigFile configFile_;
    DayBufferFile dayBuffers_;
    DataFileWriter dataFile_;
    Recorder recorder_;
    ReadingsPresenter presenter_;
    LinkState link_;
    SerialHandlers serialEvents_;
    UdpListener listener_;
    SerialLink serial_;
    SocketHandlers socketEvents_;
    TcpSockets tcp_;
    InstrumentCommands commands_;
    ConnectionManager connection_;
    SkyTime sky_;
    const std::optional<double> siteLatitude_, siteLongitude_;
    SunMoonAtPlace sunMoon_;
    ForeignStations foreignStations_;
    XmlSnapshot snapshot_;
    Heartbeat heartbeat_;
    ErrorHandler errorHandler_;
    FailureState imageFailures_;
};

}  // namespace noxa
