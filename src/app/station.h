#pragma once

#include "core/broadcast_decoder.h"
#include "core/form_model.h"
#include "core/live_readings.h"
#include "core/station_config.h"
#include "core/station_locale.h"
#include "links/connection.h"
#include "links/udp_listener.h"
#include "recording/data_file.h"
#include "recording/day_tables.h"
#include "time/periodic_cycle.h"

#include <QObject>
#include <QTimer>

namespace noxa {

class StationClock;

struct StationOptions {
    quint16 udpPort = UdpListener::kPort;
};

// The whole station: it owns every piece of state and every handler, and wires them together.
// A window, when there is one, is only a view of its form model.
class Station : public QObject {
    Q_OBJECT

public:
    Station(const StationClock& clock, StationLocale locale, StationOptions options = {});

    // Opens the links and starts the timers.
    void Start();

    FormModel& Form() { return form_; }
    LiveReadings& Readings() { return readings_; }
    DayTables& Days() { return days_; }
    StationConfig& Config() { return config_; }
    const StationLocale& Locale() const { return locale_; }
    UdpListener& Listener() { return listener_; }
    DataFileWriter& DataFile() { return dataFile_; }
    BroadcastDecoder& Decoder() { return decoder_; }
    ConnectionManager& Connection() { return connection_; }
    PeriodicCycle& Cycle() { return cycle_; }

private:
    const StationClock& clock_;
    StationLocale locale_;
    FormModel form_;
    LiveReadings readings_;
    DayTables days_;
    StationConfig config_;
    DataFileWriter dataFile_;
    BroadcastDecoder decoder_;
    UdpListener listener_;
    ConnectionManager connection_;
    PeriodicCycle cycle_;
    QTimer timer2_;
};

}  // namespace noxa
