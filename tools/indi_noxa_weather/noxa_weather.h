#pragma once

#include <libindi/indiweather.h>

#include <optional>
#include <string>

#include "station_reader.h"

namespace noxa::indi {

// The station as a weather device: it reads the newest readings from the running station's
// JSON API (the station owns the instrument's serial port) and turns them into the weather
// parameters. The observatory's safety lights are the station's own verdict, the link, the age
// of the readings, and the OK ranges of sky brightness and cloud cover; a reading the station
// does not know now is shown as unknown, never as its last value. The weather base class owns
// the parameters, their lights and the timer that calls updateWeather().
class NoxaWeather : public INDI::Weather {
public:
    NoxaWeather();

    const char* getDefaultName() override;
    bool initProperties() override;
    void ISGetProperties(const char* dev) override;
    bool ISNewText(const char* dev, const char* name, char* texts[], char* names[], int n) override;
    bool ISNewNumber(const char* dev, const char* name, double values[], char* names[],
                     int n) override;

protected:
    bool Connect() override;
    bool Disconnect() override;
    IPState updateWeather() override;
    bool saveConfigItems(FILE* fp) override;

private:
    void AddParameters();
    const char* StationUrl() const;
    // Sets the OK ranges of the critical parameters from the safety limits.
    void ApplyLimits();
    void SetOkRange(const char* parameter, double min, double max);
    void ShowReadings(const StationReadings& readings);
    // Logs whether the station answers, and its safety verdict, when they change.
    void FollowAnswer(bool answered);
    void FollowVerdict(const StationReadings& readings);

    INDI::PropertyText UrlTP{1};

    enum { LIMIT_MAX_CLOUD, LIMIT_MIN_SQM, LIMIT_STALE, LIMIT_COUNT };
    INDI::PropertyNumber LimitsNP{LIMIT_COUNT};

    // Whether the last poll was answered; none before the first.
    std::optional<bool> answered_;
    // Why the station said unsafe at the last answer (empty: safe); none before the first.
    std::optional<std::string> unsafeReason_;
};

}  // namespace noxa::indi
