#include "app/station_timers.h"

#include "app/station.h"

#include <QLoggingCategory>

namespace noxa {

Q_LOGGING_CATEGORY(lcTicks, "noxa.ticks", QtWarningMsg)

StationTimers::StationTimers(Station& station) : station_(station) {
    poll_.setInterval(100);
    connect(&poll_, &QTimer::timeout, &station_, &Station::PollSerial);
    heartbeat_.setInterval(1000);
    heartbeat_.setTimerType(Qt::PreciseTimer);
    connect(&heartbeat_, &QTimer::timeout, this, &StationTimers::Beat);
    chart_.setInterval(60000);
    connect(&chart_, &QTimer::timeout, &station_, &Station::ChartTick);
    connect(&station_, &Station::chartIntervalChanged, &chart_,
            qOverload<int>(&QTimer::setInterval));
}

void StationTimers::Start() {
    poll_.start();
    heartbeat_.start();
    chart_.start();
}

void StationTimers::Beat() {
    // How punctual the heartbeat is, for whoever enables the "noxa.ticks" debug category.
    if (lcTicks().isDebugEnabled()) {
        if (sinceLastBeat_.isValid())
            qCDebug(lcTicks) << "tick after" << sinceLastBeat_.elapsed() << "ms";
        sinceLastBeat_.start();
    }
    station_.Tick();
}

}  // namespace noxa
