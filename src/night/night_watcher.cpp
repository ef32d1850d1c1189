#include "night/night_watcher.h"

#include "core/observation_feed.h"
#include "core/sky_quality.h"
#include "night/night_report.h"
#include "time/date_time.h"
#include "time/station_clock.h"
#include "time/sun_moon.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

namespace noxa {
namespace {

QDate NightAt(UtcMilliseconds time, const QTimeZone& zone) {
    return NightOf(QDateTime::fromMSecsSinceEpoch(time, zone));
}

}  // namespace

NightWatcher::NightWatcher(ObservationFeed& feed, const StationClock& clock, QString folder,
                           ObserverPlace place, QTimeZone siteZone, float cloudyAbovePercent,
                           Log log)
    : clock_(clock),
      folder_(std::move(folder)),
      place_(place),
      zone_(std::move(siteZone)),
      cloudyAbove_(cloudyAbovePercent),
      log_(std::move(log)) {
    connect(&feed, &ObservationFeed::recorded, this,
            qOverload<const IntervalRecord&>(&NightWatcher::Add));
}

void NightWatcher::Restore(const std::vector<NightSample>& samples) {
    const QDate tonight = Tonight();
    std::vector<NightSample> kept;
    std::copy_if(samples.begin(), samples.end(), std::back_inserter(kept),
                 [&](const NightSample& s) { return NightAt(s.time, zone_) == tonight; });
    // Data files carry no Sun or Moon.
    if (std::any_of(kept.begin(), kept.end(),
                    [](const NightSample& s) { return std::isnan(s.sunAltitude); }))
        AddSky(kept, place_);
    std::stable_sort(kept.begin(), kept.end(),
                     [](const NightSample& a, const NightSample& b) { return a.time < b.time; });
    for (const NightSample& sample : kept) Add(sample);
}

QDate NightWatcher::Tonight() const {
    return NightAt(clock_.NowUtc(), zone_);
}

void NightWatcher::Add(const IntervalRecord& record) {
    NightSample sample;
    sample.time = record.end;
    for (std::size_t i = 0; i < kChannelCount; ++i)
        sample.mag[i] = static_cast<float>(record.channels[i].mag);
    constexpr float kUnknown = std::numeric_limits<float>::quiet_NaN();
    sample.sensorTemperature = record.sensorTemperature.value_or(kUnknown);
    sample.skyTemperature = record.skyTemperature.value_or(kUnknown);
    sample.cloudCover =
        record.sensorTemperature && record.skyTemperature
            ? std::clamp(CloudIndex(*record.sensorTemperature, *record.skyTemperature), 0.f, 100.f)
            : kUnknown;
    const SunMoon sky = ComputeSunMoon(record.end, place_.latitude, place_.longitude);
    sample.sunAltitude = float(sky.sunAltitude);
    sample.moonAltitude = float(sky.moonAltitude);
    sample.moonIllumination = float(sky.moonIllumination);
    Add(sample);
}

void NightWatcher::Add(const NightSample& sample) {
    RetryUnwritten();
    const QDate date = NightAt(sample.time, zone_);
    if (date != night_.date) {
        if (!written_ && !night_.samples.empty()) Finish(std::move(night_));
        night_ = Night{date, zone_, {}, {}};
        written_ = false;
        lastSunAltitude_ = 90.f;
    }
    night_.samples.push_back(sample);
    const bool morning = QDateTime::fromMSecsSinceEpoch(sample.time, zone_).time().hour() < 12;
    if (!written_ && morning && lastSunAltitude_ < kDawnSunAltitude &&
        sample.sunAltitude >= kDawnSunAltitude) {
        written_ = true;
        Finish(night_);
    }
    lastSunAltitude_ = sample.sunAltitude;
}

void NightWatcher::Finish(Night night) {
    // A month of nights waits at the most; an older one is given up.
    constexpr std::size_t kMostUnwritten = 31;
    std::string error;
    if (Write(night, error)) return;
    unwritten_.emplace_back(std::move(night), std::move(error));
    if (unwritten_.size() > kMostUnwritten) {
        log_.Error("Night of " + unwritten_.front().first.date.toString(Qt::ISODate).toStdString() +
                   " given up: not written for a month");
        unwritten_.erase(unwritten_.begin());
    }
}

void NightWatcher::RetryUnwritten() {
    while (!unwritten_.empty()) {
        auto& [night, error] = unwritten_.front();
        if (!Write(night, error)) return;
        unwritten_.erase(unwritten_.begin());
    }
}

bool NightWatcher::Write(const Night& night, std::string& lastError) {
    QString error;
    const std::string date = night.date.toString(Qt::ISODate).toStdString();
    if (WriteNightReport(night, folder_, cloudyAbove_, error)) {
        log_.Info("Night of " + date + " summed up in " +
                  NightChartPath(folder_, night.date).toStdString());
        emit nightWritten(night);
        return true;
    }
    if (error.toStdString() != lastError) {
        lastError = error.toStdString();
        log_.Error("Night of " + date + " not summed up: " + lastError);
    }
    return false;
}

}  // namespace noxa
