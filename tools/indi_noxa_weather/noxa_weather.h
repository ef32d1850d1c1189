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
// does not know now is shown as unknown, never as its last value.
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
    // Sets the OK ranges of the critical parameters from the safety limits.
    void ApplyLimits();
    void SetRange(const char* parameter, double min, double max);
    // Logs the station's safety verdict when it changes.
    void FollowVerdict(const StationReadings& readings);

    IText UrlT[1]{};
    ITextVectorProperty UrlTP;

    enum { LIMIT_MAX_CLOUD, LIMIT_MIN_SQM, LIMIT_STALE };
    INumber LimitsN[3];
    INumberVectorProperty LimitsNP;

    bool configLoaded_ = false;
    int answered_ = -1;  // whether the last poll was answered; -1 before the first
    // Why the station said unsafe at the last answer (empty: safe); none before the first.
    std::optional<std::string> unsafeReason_;
};

}  // namespace noxa::indi
