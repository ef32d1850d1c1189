#include "app/station.h"

#include "time/station_clock.h"

#include <utility>

namespace noxa {

Station::Station(const StationClock& clock, StationLocale locale, StationOptions options)
    : clock_(clock),
      locale_(std::move(locale)),
      dataFile_(form_, readings_, days_, clock_, locale_),
      decoder_(form_, readings_, days_, locale_, [this] { dataFile_.WriteDataLine(); }),
      listener_(
          form_, [this](std::string_view report) { decoder_.DecodeBroadcast(report); },
          options.udpPort),
      connection_(form_, config_, listener_, clock_, locale_),
      cycle_(readings_) {
    timer2_.setInterval(1000);
    connect(&timer2_, &QTimer::timeout, this, [this] { cycle_.Timer2Timer(); });
}

void Station::Start() {
    connection_.BAbrirPuertoClick();
    timer2_.start();
}

}  // namespace noxa
