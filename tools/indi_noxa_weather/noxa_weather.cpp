#include "noxa_weather.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include "station_reader.h"

namespace noxa::indi {
namespace {

constexpr const char* kDeviceName = "NOXA Sky Station";
constexpr const char* kDefaultUrl = "http://127.0.0.1:8080/api/readings";
constexpr int kHttpTimeoutMs = 1500;
// The faintest sky the instrument can report, the top of the sky brightness OK range.
constexpr double kDarkestSky = 30;

constexpr const char* kSqm = "WEATHER_SQM";
constexpr const char* kCloud = "WEATHER_CLOUD_COVER";
constexpr const char* kTemperature = "WEATHER_TEMPERATURE";
constexpr const char* kSkyTemperature = "WEATHER_SKY_TEMPERATURE";
constexpr const char* kSkyDiff = "WEATHER_SKY_DIFF";
constexpr const char* kNelm = "WEATHER_NELM";
constexpr const char* kAge = "WEATHER_REPORT_AGE";
constexpr const char* kLink = "WEATHER_STATION_LINK";
constexpr const char* kSafe = "WEATHER_STATION_SAFE";

// What an unknown reading shows: below every OK range when its light counts, so the light
// turns to Alert; else not a number.
constexpr double kUnknownCritical = -1;
constexpr double kUnknown = std::numeric_limits<double>::quiet_NaN();

}  // namespace

NoxaWeather::NoxaWeather() {
    setVersion(1, 0);
    setWeatherConnection(CONNECTION_NONE);
}

const char* NoxaWeather::getDefaultName() {
    return kDeviceName;
}

bool NoxaWeather::initProperties() {
    INDI::Weather::initProperties();

    IUFillText(&UrlT[0], "URL", "Readings URL", kDefaultUrl);
    IUFillTextVector(&UrlTP, UrlT, 1, getDeviceName(), "STATION_URL", "Station", OPTIONS_TAB, IP_RW,
                     60, IPS_IDLE);

    IUFillNumber(&LimitsN[LIMIT_MAX_CLOUD], "MAX_CLOUD_COVER", "Max cloud cover (%)", "%.0f", 0,
                 100, 1, 30);
    IUFillNumber(&LimitsN[LIMIT_MIN_SQM], "BRIGHTEST_SKY", "Brightest sky (mag/arcsec², 0 = off)",
                 "%.2f", 0, kDarkestSky, 0.1, 0);
    IUFillNumber(&LimitsN[LIMIT_STALE], "STALE_AFTER", "Stale after (s)", "%.0f", 1, 86400, 1, 120);
    IUFillNumberVector(&LimitsNP, LimitsN, 3, getDeviceName(), "NOXA_SAFETY_LIMITS", "Safety",
                       OPTIONS_TAB, IP_RW, 60, IPS_IDLE);

    // The ranges below are those of the default limits; ApplyLimits() keeps them in step.
    addParameter(kSqm, "Sky brightness (mag/arcsec²)", 0, kDarkestSky, 0);
    addParameter(kCloud, "Cloud cover (%)", 0, 30, 15);
    addParameter(kTemperature, "Temperature (°C)", -40, 50, 10);
    addParameter(kSkyTemperature, "Sky temperature (°C)", -80, 50, 0);
    addParameter(kSkyDiff, "Sky - ambient (°C)", -100, 100, 0);
    addParameter(kNelm, "Naked-eye limiting magnitude", 0, 8, 0);
    // -1 while the age is unknown: no station answering, or no report yet.
    addParameter(kAge, "Report age (s, -1 unknown)", 0, 120, 0);
    addParameter(kLink, "Station and instrument link (1 = ok)", 1, 1, 0);
    // The station's own verdict from its [safety] settings; the limits here can only add to it.
    addParameter(kSafe, "Station says safe (1 = yes)", 1, 1, 0);
    setCriticalParameter(kSafe);
    setCriticalParameter(kSqm);
    setCriticalParameter(kCloud);
    setCriticalParameter(kAge);
    setCriticalParameter(kLink);

    // Often enough for a roof to close in time, rarely enough to be no load on the station.
    UpdatePeriodNP[0].setValue(10);

    addDebugControl();
    setDriverInterface(WEATHER_INTERFACE);
    return true;
}

void NoxaWeather::ISGetProperties(const char* dev) {
    INDI::Weather::ISGetProperties(dev);
    // Once defined, the device's own listing sends them to every later client.
    if (!configLoaded_) {
        configLoaded_ = true;
        defineProperty(&UrlTP);
        defineProperty(&LimitsNP);
        loadConfig(true, UrlTP.name);
        loadConfig(true, LimitsNP.name);
    }
}

bool NoxaWeather::ISNewText(const char* dev, const char* name, char* texts[], char* names[],
                            int n) {
    if (dev && !strcmp(dev, getDeviceName()) && !strcmp(name, UrlTP.name)) {
        IUUpdateText(&UrlTP, texts, names, n);
        UrlTP.s = IPS_OK;
        IDSetText(&UrlTP, nullptr);
        saveConfig(true, UrlTP.name);
        if (isConnected()) LOGF_INFO("Reading the station at %s", UrlT[0].text);
        return true;
    }
    return INDI::Weather::ISNewText(dev, name, texts, names, n);
}

bool NoxaWeather::ISNewNumber(const char* dev, const char* name, double values[], char* names[],
                              int n) {
    if (dev && !strcmp(dev, getDeviceName()) && !strcmp(name, LimitsNP.name)) {
        IUUpdateNumber(&LimitsNP, values, names, n);
        LimitsNP.s = IPS_OK;
        IDSetNumber(&LimitsNP, nullptr);
        ApplyLimits();
        saveConfig(true, LimitsNP.name);
        return true;
    }
    return INDI::Weather::ISNewNumber(dev, name, values, names, n);
}

bool NoxaWeather::Connect() {
    LOGF_INFO("Reading the station at %s", UrlT[0].text);
    answered_ = -1;
    unsafeReason_.reset();
    ApplyLimits();
    return true;
}

bool NoxaWeather::Disconnect() {
    return true;
}

void NoxaWeather::SetRange(const char* parameter, double min, double max) {
    for (int i = 0; i < ParametersNP.nnp; ++i) {
        if (strcmp(ParametersN[i].name, parameter) != 0) continue;
        ParametersN[i].min = min;
        ParametersN[i].max = max;
        ParametersRangeNP[i].np[0].value = min;
        ParametersRangeNP[i].np[1].value = max;
        if (isConnected()) IDSetNumber(&ParametersRangeNP[i], nullptr);
    }
}

void NoxaWeather::ApplyLimits() {
    SetRange(kCloud, 0, LimitsN[LIMIT_MAX_CLOUD].value);
    SetRange(kSqm, LimitsN[LIMIT_MIN_SQM].value, kDarkestSky);
    SetRange(kAge, 0, LimitsN[LIMIT_STALE].value);
    if (isConnected() && syncCriticalParameters()) IDSetLight(&critialParametersLP, nullptr);
}

IPState NoxaWeather::updateWeather() {
    const auto body = HttpGet(UrlT[0].text, kHttpTimeoutMs);
    const auto readings = body ? ParseReadings(*body) : std::nullopt;

    const int answered = readings ? 1 : 0;
    if (answered != answered_) {
        if (readings)
            LOGF_INFO("The station at %s answers", UrlT[0].text);
        else
            LOGF_WARN("No readings from the station at %s (is it running with --http?)",
                      UrlT[0].text);
        answered_ = answered;
    }

    // A station that is gone knows nothing: every reading unknown, the age and link out of range.
    const StationReadings r = readings.value_or(StationReadings{});
    if (readings) FollowVerdict(r);
    setParameterValue(kSqm, r.magV.value_or(kUnknownCritical));
    setParameterValue(kCloud, r.cloudCover.value_or(kUnknownCritical));
    setParameterValue(kTemperature, r.temperature.value_or(kUnknown));
    setParameterValue(kSkyTemperature, r.skyTemperature.value_or(kUnknown));
    setParameterValue(kSkyDiff, r.temperature && r.skyTemperature
                                    ? *r.skyTemperature - *r.temperature
                                    : kUnknown);
    setParameterValue(kNelm, r.nelm.value_or(kUnknown));
    setParameterValue(kAge, r.ageSeconds.value_or(-1));
    setParameterValue(kLink, r.linkOk ? 1 : 0);
    setParameterValue(kSafe, r.safe ? 1 : 0);
    return IPS_OK;
}

void NoxaWeather::FollowVerdict(const StationReadings& r) {
    const std::string reason = r.safe ? std::string() : r.unsafeReason;
    if (unsafeReason_ && *unsafeReason_ == reason) return;
    if (!r.safe)
        LOGF_WARN("The station says unsafe: %s",
                  reason.empty() ? "no reason given" : reason.c_str());
    else if (unsafeReason_)
        LOG_INFO("The station says safe");
    unsafeReason_ = reason;
}

bool NoxaWeather::saveConfigItems(FILE* fp) {
    INDI::Weather::saveConfigItems(fp);
    IUSaveConfigText(fp, &UrlTP);
    // After the parameter ranges, so that the limits are what a loaded configuration keeps.
    IUSaveConfigNumber(fp, &LimitsNP);
    return true;
}

}  // namespace noxa::indi

// The driver's one device; libindi's driver main hands it the server's messages.
static std::unique_ptr<noxa::indi::NoxaWeather> device(new noxa::indi::NoxaWeather());
