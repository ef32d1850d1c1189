#pragma once

#include <cstdint>

namespace noxa {

struct ChartSettings;
class FormModel;
class LiveSums;
class SkyTime;
class StationClock;
class StationLocale;
struct StationConfig;

// What the heartbeat asks of the rest of the station.
class HeartbeatActions {
public:
    virtual ~HeartbeatActions() = default;
    // The connect operation, while a serial instrument stays silent.
    virtual void Reconnect() = 0;
    virtual void WriteXmlSnapshot() = 0;
    // Closes the serial port and opens it again; true when it opened.
    virtual bool ReopenSerialPort(std::int32_t portNumber) = 0;
    virtual void AddChartPoint() = 0;
    virtual void SetChartTimerInterval(int milliseconds) = 0;
};

// The station's heartbeat, once a second: counts ticks, shows the instrument constants and the
// clock, declares silence (stale readings in network mode, reconnecting in serial mode), writes
// the XML snapshot every tenth tick, reopens the serial port every 240 ticks, and makes the
// first chart point shortly after start-up.
class Heartbeat {
public:
    static constexpr int kSerialSilenceTicks = 8;
    static constexpr int kNetworkSilenceTicks = 10;
    static constexpr int kSnapshotTicks = 10;
    static constexpr int kReopenTicks = 240;

    Heartbeat(FormModel& form, LiveSums& sums, const StationConfig& config,
              const ChartSettings& chart, SkyTime& sky, const StationClock& clock,
              const StationLocale& locale, HeartbeatActions& actions);

    // One tick, once a second (the station's heartbeat).
    void Tick();

    // Start-up sets 2, so that the first chart point comes on the second tick.
    void SetChartStartStep(int step) { chartStartStep_ = step; }

private:
    void ShowInstrumentConstants();
    void HandleSilence();
    void ShowClock();
    void StartCharts();

    FormModel& form_;
    LiveSums& sums_;
    const StationConfig& config_;
    const ChartSettings& chart_;
    SkyTime& sky_;
    const StationClock& clock_;
    const StationLocale& locale_;
    HeartbeatActions& actions_;
    int snapshotTicks_ = 0;
    int reopenTicks_ = 0;
    int chartStartStep_ = 0;
};

}  // namespace noxa
