#include "app/station.h"

#include "app/chart_edits.h"
#include "app/recording_edits.h"
#include "charts/chart_controls.h"
#include "charts/chart_drawing.h"
#include "charts/chart_export.h"
#include "core/broadcast_decoder.h"
#include "core/report_filter.h"
#include "core/station_error.h"
#include "recording/chart_points.h"
#include "time/date_time.h"
#include "time/station_clock.h"
#include "time/sun_moon.h"

#include <QFile>

#include <cstdio>
#include <exception>
#include <utility>

namespace noxa {

Station::Station(const StationClock& clock, StationLocale locale, StationOptions options)
    : clock_(clock),
      locale_(std::move(locale)),
      workDir_(std::move(options.workDir)),
      configFile_(form_, config_, workDir_),
      dayBuffers_(form_, days_, workDir_),
      dataFile_([this] { return Identity(); }, locale_, workDir_, feed_, form_.LogTo()),
      recorder_(sums_, days_, clock_, feed_),
      presenter_(form_, days_, locale_),
      serialEvents_(
          form_, sums_,
          [this](std::string_view report, ReportSource source) { HandleReport(report, source); }),
      listener_(options.udpPort),
      serial_(serialEvents_.Framing()),
      socketEvents_(form_, link_, serialEvents_, clock_, locale_, [this] { RecordIfDue(); }),
      commands_(form_, config_, link_, serial_, &tcp_),
      connection_(form_, config_, link_, listener_, serial_, &tcp_, clock_, locale_),
      sky_(clock_),
      siteLatitude_(options.siteLatitude),
      siteLongitude_(options.siteLongitude),
      snapshot_(form_, clock_, locale_, workDir_),
      heartbeat_(form_, sums_, config_, chartSettings_, sky_, clock_, locale_, *this) {
    if (!options.serialDevice.isEmpty()) serial_.SetDeviceOverride(options.serialDevice);
    if (!options.tcpHost.isEmpty()) tcp_.Enable(options.tcpHost);
    socketEvents_.Attach(tcp_);
    connect(&listener_, &UdpListener::datagramReceived, this, &Station::ReceiveDatagram);
    FollowRecordingEdits(form_, recorder_, *this);
    FollowChartEdits(form_, chartSettings_, *this);
    // Each record restarts the framing's count of frame bytes.
    connect(&feed_, &ObservationFeed::recorded, this,
            [this] { serialEvents_.Framing().ResetFrameByteCount(); });
}

void Station::Start() {
    LoadConfiguration();
    form_.SetCaption("NOXA-V4I  v: " NOXA_VERSION "  " + form_.Text(FormText::Esitio));
    Connect();
    days_.InitSlotTimes(ToDayNumber(clock_.Now()));
    dayBuffers_.LoadDayBuffers();
    heartbeat_.SetChartStartStep(2);
    // The stored zoom step does not count: the charts always open on the first scale.
    config_.zoomStep = 0;
    StepChartZoom();
}

template <typename Handler>
void Station::Guarded(Handler&& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        ReportError(error.what());
    } catch (...) {
        ReportError("");
    }
}

void Station::HandleReport(std::string_view report, ReportSource source) {
    Guarded([&] {
        const DecodedReport decoded = DecodeBroadcast(report);
        const UtcMilliseconds now = clock_.NowUtc();
        sums_.AddReport(decoded, now);
        const ShownEstimates& shown = presenter_.Present(decoded);
        Observation observation = builder_.Build(decoded, now, shown);
        observation.source = source;
        observation.station = form_.Text(FormText::Esitio);
        const SunMoon& sky = sunMoon_.At(observation.time, Place());
        observation.sunAltitude = static_cast<float>(sky.sunAltitude);
        observation.moonAltitude = static_cast<float>(sky.moonAltitude);
        observation.moonIllumination = static_cast<float>(sky.moonIllumination);
        emit feed_.observed(observation);
        RecordIfDue();
    });
}

StationIdentity Station::Identity() const {
    return {form_.Text(FormText::Esitio),
            {form_.Text(FormText::LCI1), form_.Text(FormText::LCI2), form_.Text(FormText::LCI3),
             form_.Text(FormText::LCI4)}};
}

ObserverPlace Station::Place() const {
    return {siteLatitude_.value_or(config_.latitude), siteLongitude_.value_or(config_.longitude)};
}

void Station::RecordIfDue() {
    if (recorder_.RecordIfDue()) presenter_.StartRecordInterval();
}

void Station::ReportError(const std::string& message) {
    if (errorHandler_) {
        errorHandler_(message);
        return;
    }
    form_.AppendLog(LogLevel::Error, "Error: " + message);
    std::fprintf(stderr, "noxa-station: %s\n", message.c_str());
}

void Station::ClearLog() {
    form_.ClearLog();
}

void Station::LoadConfiguration() {
    form_.ClearLog();
    configFile_.LoadStationConfig();
}

void Station::Connect() {
    Guarded([this] { connection_.Connect(); });
}

void Station::ReceiveDatagram(QByteArrayView datagram) {
    const std::string_view message =
        UpToFirstZero(std::string_view(datagram.data(), static_cast<std::size_t>(datagram.size())));
    if (form_.Checked(FormCheck::CBvermensaje)) form_.AppendLog(LogLevel::Info, message);
    const std::string& name = form_.Text(FormText::Esitio);
    if (NamesStation(message, name)) {
        HandleReport(message, ReportSource::Broadcast);
    } else if (auto notice = foreignStations_.Notice(message, name, clock_.NowUtc())) {
        form_.AppendLog(LogLevel::Info, *notice);
    }
}

void Station::PollSerial() {
    Guarded([this] {
        if (!config_.SerialMode()) return;
        // A port that failed to open or went away shows red at every poll.
        if (!serial_.IsOpen()) {
            form_.SetRxColour(kIndicatorRed);
            return;
        }
        serial_.PollSerialPort();
    });
}

void Station::SaveSettings() {
    Guarded([this] {
        const ConfigRecord record = configFile_.BuildRecord();
        std::string error;
        const bool saved = configFile_.WriteRecord(record, error);
        LoadConfiguration();
        if (!saved) {
            form_.AppendLog(LogLevel::Error,
                            "Settings not saved to " + configFile_.Path() + ": " + error);
        }
        connection_.Connect();
    });
}

}  // namespace noxa

namespace noxa {
namespace {

// Saves both charts; stops at the first image that cannot be written and says why.
std::string ExportCharts(StationCharts& charts, const WorkDir& dir,
                         const std::string& brightnessFile, const std::string& temperatureFile) {
    QString error;
    if (!SaveChartImage(charts.Chart1(), dir.File(brightnessFile), error)) {
        return "Image " + brightnessFile + " not written: " + error.toStdString();
    }
    if (!SaveChartImage(charts.Chart2(), dir.File(temperatureFile), error)) {
        return "Image " + temperatureFile + " not written: " + error.toStdString();
    }
    return {};
}

}  // namespace

void Station::ChartTick() {
    Guarded([this] {
        if (chartSettings_.seconds) {
            emit chartIntervalChanged(*chartSettings_.seconds * 1000);
        } else {
            form_.SetText(FormText::ETiempo, "60");
        }
        const std::string imageError = MakeChartPoint();
        // A picture that could not be written must not cost the chart history.
        dayBuffers_.SaveDayBuffers();
        ChartImagesWritten(imageError);
    });
}

void Station::Tick() {
    Guarded([this] {
        recorder_.CountSecond();
        heartbeat_.Tick();
    });
    emit feed_.linkStatus(LinkStatus{form_.RxColour() != kIndicatorRed, sums_.TicksSinceReport()});
}

void Station::Reconnect() {
    connection_.Connect();
}

void Station::WriteXmlSnapshot() {
    snapshot_.WriteXmlSnapshot();
}

bool Station::ReopenSerialPort(std::int32_t portNumber) {
    return connection_.ReopenSerialPort(portNumber);
}

void Station::AddChartPoint() {
    // A picture that cannot be written is shown; the cycle goes on with its other steps.
    ChartImagesWritten(MakeChartPoint());
}

void Station::ChartImagesWritten(const std::string& error) {
    if (error.empty()) {
        if (imageFailures_.Succeeded())
            form_.AppendLog(LogLevel::Info, "Chart images written again");
    } else if (imageFailures_.Failed(error)) {
        ReportError(error);
    }
}

void Station::SetChartTimerInterval(int milliseconds) {
    emit chartIntervalChanged(milliseconds);
}

std::string Station::MakeChartPoint() {
    const ChartSums sums = sums_.TakeChartSums();
    noxa::AddChartPoint(days_, sums, clock_);
    builder_.ChartPointMade(sums);
    emit feed_.chartPointAdded(FedChartPoint(days_.Newest(), sums, clock_.NowUtc()));
    RedrawCharts(charts_, days_, locale_);
    return ExportCharts(charts_, workDir_, "mag.jpg", "temp.jpg");
}

void Station::StepChartZoom() {
    StepZoom(charts_, config_.zoomStep);
}
void Station::ToggleChartSeries(ChartSeries series) {
    noxa::ToggleSeries(charts_, series);
}
void Station::ClearCharts() {
    CleanCharts(charts_, days_);
}
void Station::AskFastReadings() {
    commands_.FastReadings();
}
void Station::AskSlowReadings() {
    commands_.SlowReadings();
}
void Station::AskVersion() {
    commands_.AskVersion();
}
void Station::AskBurst() {
    commands_.AskBurst();
}

void Station::SaveChartImages() {
    Guarded([this] {
        const std::string& day = form_.Text(FormText::LDiaJ2000);
        const std::string error = ExportCharts(charts_, workDir_, "Magnitude " + day + ".jpg",
                                               "Temperature " + day + ".jpg");
        if (!error.empty()) throw StationError(error);
    });
}

}  // namespace noxa
