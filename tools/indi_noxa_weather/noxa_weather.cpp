#include "noxa_weather.h"

#include <cstring>
#include <limits>
#include <memory>
#include <span>

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

// The weather base class keeps its parameters, their OK ranges and their lights in plain INDI
// vectors; these views give them the members of the property classes.
INDI::PropertyView<INumber>& View(INumberVectorProperty& vector) {
    return static_cast<INDI::PropertyView<INumber>&>(vector);
}

INDI::PropertyView<ILight>& View(ILightVectorProperty& vector) {
    return static_cast<INDI::PropertyView<ILight>&>(vector);
}

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

    UrlTP[0].fill("URL", "Readings URL", kDefaultUrl);
    UrlTP.fill(getDeviceName(), "STATION_URL", "Station", OPTIONS_TAB, IP_RW, 60, IPS_IDLE);

    LimitsNP[LIMIT_MAX_CLOUD].fill("MAX_CLOUD_COVER", "Max cloud cover (%)", "%.0f", 0, 100, 1, 30);
    LimitsNP[LIMIT_MIN_SQM].fill("BRIGHTEST_SKY", "Brightest sky (mag/arcsec², 0 = off)", "%.2f", 0,
                                 kDarkestSky, 0.1, 0);
    LimitsNP[LIMIT_STALE].fill("STALE_AFTER", "Stale after (s)", "%.0f", 1, 86400, 1, 120);
    LimitsNP.fill(getDeviceName(), "NOXA_SAFETY_LIMITS", "Safety", OPTIONS_TAB, IP_RW, 60,
                  IPS_IDLE);

    // Registered, not connected: every client's listing of the device shows them.
    registerProperty(UrlTP);
    registerProperty(LimitsNP);

    AddParameters();
    // Often enough for a roof to close in time, rarely enough to be no load on the station.
    UpdatePeriodNP[0].setValue(10);

    addDebugControl();
    setDriverInterface(WEATHER_INTERFACE);
    return true;
}

void NoxaWeather::AddParameters() {
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
    for (const char* critical : {kSafe, kSqm, kCloud, kAge, kLink}) setCriticalParameter(critical);
}

void NoxaWeather::ISGetProperties(const char* dev) {
    const bool starting = !isInitializationComplete();
    INDI::Weather::ISGetProperties(dev);
    if (starting) {
        loadConfig(UrlTP);
        loadConfig(LimitsNP);
    }
}

bool NoxaWeather::ISNewText(const char* dev, const char* name, char* texts[], char* names[],
                            int n) {
    if (dev && !strcmp(dev, getDeviceName()) && UrlTP.isNameMatch(name)) {
        UrlTP.update(texts, names, n);
        UrlTP.setState(IPS_OK);
        UrlTP.apply();
        saveConfig(UrlTP);
        if (isConnected()) LOGF_INFO("Reading the station at %s", StationUrl());
        return true;
    }
    return INDI::Weather::ISNewText(dev, name, texts, names, n);
}

bool NoxaWeather::ISNewNumber(const char* dev, const char* name, double values[], char* names[],
                              int n) {
    if (dev && !strcmp(dev, getDeviceName()) && LimitsNP.isNameMatch(name)) {
        LimitsNP.update(values, names, n);
        LimitsNP.setState(IPS_OK);
        LimitsNP.apply();
        ApplyLimits();
        saveConfig(LimitsNP);
        return true;
    }
    return INDI::Weather::ISNewNumber(dev, name, values, names, n);
}

bool NoxaWeather::Connect() {
    LOGF_INFO("Reading the station at %s", StationUrl());
    answered_.reset();
    unsafeReason_.reset();
    ApplyLimits();
    return true;
}

// Nothing to close: every reading is a connection of its own.
bool NoxaWeather::Disconnect() {
    return true;
}

const char* NoxaWeather::StationUrl() const {
    return UrlTP[0].getText();
}

void NoxaWeather::ApplyLimits() {
    SetOkRange(kCloud, 0, LimitsNP[LIMIT_MAX_CLOUD].getValue());
    SetOkRange(kSqm, LimitsNP[LIMIT_MIN_SQM].getValue(), kDarkestSky);
    SetOkRange(kAge, 0, LimitsNP[LIMIT_STALE].getValue());
    if (isConnected() && syncCriticalParameters()) View(critialParametersLP).apply();
}

// Both where the parameter's light is judged and in its range property (named after it), which
// clients have only while connected.
void NoxaWeather::SetOkRange(const char* parameter, double min, double max) {
    View(ParametersNP).findWidgetByName(parameter)->setMinMax(min, max);
    for (auto& vector : std::span(ParametersRangeNP, nRanges)) {
        auto& range = View(vector);
        if (!range.isNameMatch(parameter)) continue;
        range.findWidgetByName("MIN_OK")->setValue(min);
        range.findWidgetByName("MAX_OK")->setValue(max);
        if (isConnected()) range.apply();
    }
}

IPState NoxaWeather::updateWeather() {
    const auto body = HttpGet(StationUrl(), kHttpTimeoutMs);
    const auto readings = body ? ParseReadings(*body) : std::nullopt;
    FollowAnswer(readings.has_value());
    if (readings) FollowVerdict(*readings);
    // A station that is gone knows nothing: every reading unknown, the age and link out of range.
    ShowReadings(readings.value_or(StationReadings{}));
    return IPS_OK;
}

void NoxaWeather::ShowReadings(const StationReadings& r) {
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
}

void NoxaWeather::FollowAnswer(bool answered) {
    if (answered_ == answered) return;
    if (answered)
        LOGF_INFO("The station at %s answers", StationUrl());
    else
        LOGF_WARN("No readings from the station at %s (is it running with --http?)", StationUrl());
    answered_ = answered;
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
    UrlTP.save(fp);
    // After the parameter ranges, so that the limits are what a loaded configuration keeps.
    LimitsNP.save(fp);
    return true;
}

}  // namespace noxa::indi

// The driver's one device; libindi's driver main hands it the server's messages.
static std::unique_ptr<noxa::indi::NoxaWeather> device(new noxa::indi::NoxaWeather());
