#include "app/heartbeat.h"

#include "core/chart_settings.h"
#include "core/form_model.h"
#include "core/live_sums.h"
#include "core/number_display.h"
#include "core/station_config.h"
#include "core/station_error.h"
#include "core/station_locale.h"
#include "time/sky_time.h"
#include "time/station_clock.h"

#include <string>

namespace noxa {
Heartbeat::Heartbeat(FormModel& form, LiveSums& sums, const StationConfig& config,
                     const ChartSettings& chart, SkyTime& sky, const StationClock& clock,
                     const StationLocale& locale, HeartbeatActions& actions)
    : form_(form),
      sums_(sums),
      config_(config),
      chart_(chart),
      sky_(sky),
      clock_(clock),
      locale_(locale),
      actions_(actions) {}

void Heartbeat::Tick() {
    sums_.Tick();
    ShowInstrumentConstants();
    HandleSilence();

    // The snapshot goes out before the clock labels move on: it carries the previous tick's.
    if (++snapshotTicks_ >= kSnapshotTicks) {
        snapshotTicks_ = 0;
        actions_.WriteXmlSnapshot();
    }

    if (config_.SerialMode() && ++reopenTicks_ >= kReopenTicks) {
        reopenTicks_ = 0;
        if (actions_.ReopenSerialPort(config_.serialPortNumber)) {
            form_.SetRxColour(kIndicatorGray);
        } else {
            form_.SetRxColour(kIndicatorRed);
            form_.AppendLog(LogLevel::Error, "Serial Port not found.");
        }
    }

    ShowClock();
    StartCharts();
}

void Heartbeat::ShowInstrumentConstants() {
    const FormText labels[] = {FormText::LCI1, FormText::LCI2, FormText::LCI3, FormText::LCI4};
    for (std::size_t i = 0; i < kInstrumentChannels.size(); ++i) {
        const float constant =
            sums_.Latest()[static_cast<std::size_t>(kInstrumentChannels[i])].zeroPoint;
        form_.SetText(labels[i],
                      "CI" + std::to_string(i + 1) + ": " + FormatRounded(constant, 2, locale_));
    }
}

void Heartbeat::HandleSilence() {
    if (config_.SerialMode()) {
        // Repeats every tick until a frame starts: each reconnect logs its outcome.
        if (sums_.TicksSinceReport() > kSerialSilenceTicks) {
            actions_.Reconnect();
            form_.SetRxColour(kIndicatorRed);
        }
        return;
    }
    if (sums_.TicksSinceReport() > kNetworkSilenceTicks) {
        // The readings themselves stay; only their labels say they are stale.
        sums_.RestartSilence();
        form_.SetRxColour(kIndicatorRed);
        for (FormText label :
             {FormText::Lmv, FormText::Lmv2, FormText::LmvR, FormText::LmvB, FormText::LmvG}) {
            form_.SetText(label, "-.-");
        }
    }
}

void Heartbeat::ShowClock() {
    form_.SetText(FormText::LHoraSideral, SiderealText(sky_.SiderealDegrees(config_.longitude)));
    form_.SetText(FormText::LHoraLocal, locale_.LongTime(clock_.Now().time()));
    form_.SetText(FormText::LDiaJ2000, FormatRounded(sky_.J2000Day(), 5, locale_));
}

void Heartbeat::StartCharts() {
    if (chartStartStep_ >= 4) return;
    if (++chartStartStep_ != 4) return;
    actions_.AddChartPoint();
    chartStartStep_ = 6;  // never again
    // The chart timer fires almost at once (the interval is taken as milliseconds here), and
    // its own handler then sets the interval in seconds.
    if (!chart_.seconds) {
        throw StationError("'" + chart_.refusedText + "' is not a valid integer value");
    }
    actions_.SetChartTimerInterval(*chart_.seconds);
}

}  // namespace noxa
