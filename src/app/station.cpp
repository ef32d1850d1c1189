#include "app/station.h"

#include "core/station_error.h"
#include "time/station_clock.h"

#include <cstdio>
#include <exception>
#include <utility>

namespace noxa {

Station::Station(const StationClock& clock, StationLocale locale, StationOptions options)
    : clock_(clock),
      locale_(std::move(locale)),
      configFile_(form_, config_, std::move(options.workDir)),
      dataFile_(form_, readings_, days_, clock_, locale_),
      decoder_(form_, readings_, days_, locale_, [this] { dataFile_.WriteDataLine(); }),
      listener_(
          form_,
          [this](std::string_view report) { Guarded([&] { decoder_.DecodeBroadcast(report); }); },
          options.udpPort),
      connection_(form_, config_, listener_, clock_, locale_),
      cycle_(readings_) {
    timer2_.setInterval(1000);
    connect(&timer2_, &QTimer::timeout, this,
            [this] { Guarded([this] { cycle_.Timer2Timer(); }); });
}

void Station::Start() {
    configFile_.LoadStationConfig();
    form_.SetCaption("NOXA-V4I  v: " NOXA_VERSION "  " + form_.Text(FormText::Esitio));
    BAbrirPuertoClick();
    timer2_.start();
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

void Station::ReportError(const std::string& message) {
    if (errorHandler_) {
        errorHandler_(message);
        return;
    }
    form_.AppendLog("Error: " + message);
    std::fprintf(stderr, "noxa-station: %s\n", message.c_str());
}

void Station::BClearClick() {
    form_.ClearLog();
}

void Station::BAbrirPuertoClick() {
    Guarded([this] { connection_.BAbrirPuertoClick(); });
}

void Station::BGuardarClick() {
    Guarded([this] {
        const ConfigRecord record = configFile_.BuildRecord();
        std::string error;
        const bool saved = configFile_.WriteRecord(record, error);
        configFile_.LoadStationConfig();
        // Reading back empties the log, so a failed save is said after it.
        if (!saved) {
            form_.AppendLog("Settings not saved to " + configFile_.Path() + ": " + error);
        }
        connection_.BAbrirPuertoClick();
    });
}

}  // namespace noxa
