#include "night_generator.h"

#include "time/sun_moon.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <numbers>
#include <random>
#include <thread>

namespace noxa::sim {
namespace {

constexpr double kDarkSky = 21.5;  // a moonless, clear zenith at 740 nm, mag/arcsec²
// The other channels against channel 1 (640 nm, red, green, blue): a little brighter.
constexpr double kChannelOffset[4] = {-0.15, -0.25, -0.40, -0.30};
constexpr double kSaturation = 5.0;        // the instrument reads nothing brighter
constexpr double kFullMoonGain = 3.0;      // mag, a full Moon at the zenith
constexpr double kOvercastGain = 1.5;      // mag, town light thrown back by a full overcast
constexpr double kClearSkyColder = 27.0;   // °C, clear infrared sky below the sensor
constexpr double kCloudColder = 0.7;       // °C, overcast infrared sky below the sensor
constexpr std::int64_t kGridMs = 600'000;  // Sun and Moon computed every ten minutes
constexpr float kZeroPoint = 20.5f;        // every channel's, mag/arcsec² at 1 Hz

double Flux(double mag) {
    return std::pow(10.0, -0.4 * mag);
}
double Sin(double degrees) {
    return std::sin(degrees * std::numbers::pi / 180.0);
}

// The sky brightness twilight and daylight alone give at the zenith, for the Sun at `sun`
// degrees: about 24 mag at -18°, 9 mag at sunset, saturating a few degrees higher.
double TwilightMag(double sun) {
    return sun <= 0 ? 9.0 - 0.85 * sun : 9.0 - 0.5 * sun;
}

// A slowly wandering value: Ornstein-Uhlenbeck steps of `stepSeconds`, stationary spread
// `spread` around 0, forgetting its past over `tauSeconds`.
class Drift {
public:
    Drift(double spread, double tauSeconds, double stepSeconds, std::mt19937& random)
        : keep_(std::exp(-stepSeconds / tauSeconds)),
          kick_(spread * std::sqrt(1 - keep_ * keep_)),
          value_(std::normal_distribution<double>(0, spread)(random)) {}
    double Next(std::mt19937& random) {
        value_ = keep_ * value_ + kick_ * normal_(random);
        return value_;
    }

private:
    double keep_, kick_, value_;
    std::normal_distribution<double> normal_{0, 1};
};

// Cloud cover 0..1 over the night for overcast weather: near full, with one to three breaks of
// half an hour to an hour and a half between 17:00 and 07:00.
class Overcast {
public:
    Overcast(std::int64_t noonMs, std::mt19937& random) {
        const int count = std::uniform_int_distribution<int>(1, 3)(random);
        for (int i = 0; i < count; ++i) {
            Break b;
            b.centre = noonMs + std::uniform_int_distribution<std::int64_t>(5 * 3600'000,
                                                                            19 * 3600'000)(random);
            b.halfWidth = std::uniform_real_distribution<double>(900'000, 2700'000)(random);
            b.low = std::uniform_real_distribution<double>(0.05, 0.3)(random);
            breaks_.push_back(b);
        }
    }
    double Cover(std::int64_t ms) const {
        double cover = 0.97;
        constexpr double kRamp = 600'000;  // ten minutes to open or close
        for (const Break& b : breaks_) {
            const double away = std::abs(static_cast<double>(ms - b.centre)) - b.halfWidth;
            const double open = away <= 0 ? 1
                                : away >= kRamp
                                    ? 0
                                    : 0.5 + 0.5 * std::cos(std::numbers::pi * away / kRamp);
            cover = std::min(cover, 0.97 - (0.97 - b.low) * open);
        }
        return cover;
    }

private:
    struct Break {
        std::int64_t centre;
        double halfWidth, low;
    };
    std::vector<Break> breaks_;
};

// The night's random numbers: one generator and one normal distribution, drawn from in a fixed
// order, so that the same seed and night give the same records.
struct Dice {
    std::mt19937 random;
    std::normal_distribution<double> normal{0, 1};

    double Normal() { return normal(random); }
};

// The Sun and the Moon from `from` to `to`, computed on a coarse grid and interpolated between:
// plenty for the sky's light.
class SkyTrack {
public:
    SkyTrack(std::int64_t from, std::int64_t to, const IdaSite& site) : from_(from) {
        for (std::int64_t t = from; t < to + kGridMs; t += kGridMs) {
            grid_.push_back(ComputeSunMoon(t, site.latitude, site.longitude));
        }
    }

    SunMoon At(std::int64_t t) const {
        const double at = static_cast<double>(t - from_) / kGridMs;
        const auto i = std::min(static_cast<std::size_t>(at), grid_.size() - 2);
        const double f = at - static_cast<double>(i);
        const SunMoon& a = grid_[i];
        const SunMoon& b = grid_[i + 1];
        SunMoon s;
        s.sunAltitude = a.sunAltitude + f * (b.sunAltitude - a.sunAltitude);
        s.moonAltitude = a.moonAltitude + f * (b.moonAltitude - a.moonAltitude);
        s.moonIllumination = a.moonIllumination + f * (b.moonIllumination - a.moonIllumination);
        return s;
    }

private:
    std::int64_t from_;
    std::vector<SunMoon> grid_;
};

// What makes a night unlike the others: its own dark sky (airglow, transparency), its warmth
// and its clouds, each drifting a little through the night. Drawn when the night begins.
class NightSky {
public:
    NightSky(QDate night, std::int64_t noon, double stepSeconds, Dice& dice)
        : darkSky_(kDarkSky + 0.1 * dice.Normal()),
          skyDrift_(0.05, 3600, stepSeconds, dice.random),
          // The season's temperature, coldest in mid January.
          season_(9.0 - 10.0 * std::cos(2 * std::numbers::pi * (night.dayOfYear() - 20) / 365.25)),
          nightWarmth_(2.0 * dice.Normal()),
          clearColder_(kClearSkyColder + 1.5 * dice.Normal()),
          warmthDrift_(0.4, 3 * 3600, stepSeconds, dice.random),
          // Clouds: an overcast with breaks, or banks coming and going around the night's mean.
          overcast_(noon, dice.random),
          brokenMean_(0.7 * dice.Normal()),
          brokenDrift_(1.0, 2700, stepSeconds, dice.random) {}

    // The cloud cover, 0 to 1, at the instant `ms`.
    double Cover(std::int64_t ms, Weather weather, Dice& dice) {
        double cover = 0;
        if (weather == Weather::Cloudy) {
            cover = overcast_.Cover(ms);
        } else if (weather == Weather::Broken) {
            const double x = brokenMean_ + brokenDrift_.Next(dice.random);
            cover = 1 / (1 + std::exp(-3 * x));
        }
        return std::clamp(cover + 0.01 * dice.Normal(), 0.0, 1.0);
    }

    // The zenith's brightness at 740 nm. Light adds up: the night sky, thrown back by clouds,
    // the Moon (dimmed by clouds, with the square of its lit fraction and the sine of its
    // height) and twilight.
    double Magnitude(const SunMoon& sky, double cover, Dice& dice) {
        const double dark = Flux(darkSky_ + skyDrift_.Next(dice.random));
        const double moon = dark * (std::pow(10.0, 0.4 * kFullMoonGain) - 1) *
                            sky.moonIllumination * sky.moonIllumination *
                            std::max(0.0, Sin(sky.moonAltitude));
        const double light = dark * (1 + (std::pow(10.0, 0.4 * kOvercastGain) - 1) * cover) +
                             moon * (1 - 0.5 * cover) +
                             Flux(TwilightMag(sky.sunAltitude)) * (1 - 0.3 * cover);
        return -2.5 * std::log10(light) + 0.015 * dice.Normal();
    }

    // The sensor follows the Sun, less so under clouds; the infrared sky is far colder than
    // the sensor when clear and nearly as warm under clouds.
    void SetTemperatures(IntervalRecord& r, const SunMoon& sky, double cover, Dice& dice) {
        const double sensor = season_ + nightWarmth_ + warmthDrift_.Next(dice.random) +
                              7.0 * Sin(sky.sunAltitude) * (1 - 0.5 * cover);
        const double skyColder = clearColder_ * (1 - cover) + kCloudColder * cover;
        r.sensorTemperature = static_cast<float>(sensor + 0.05 * dice.Normal());
        r.skyTemperature = static_cast<float>(sensor - skyColder + 0.2 * dice.Normal());
    }

private:
    const double darkSky_;
    Drift skyDrift_;
    const double season_;
    const double nightWarmth_;
    const double clearColder_;
    Drift warmthDrift_;
    const Overcast overcast_;
    const double brokenMean_;
    Drift brokenDrift_;
};

// The channels' magnitudes and frequencies for the zenith's magnitude `mag` at 740 nm.
void SetBrightness(IntervalRecord& r, double mag, Dice& dice) {
    const auto channel = [&](double offset) {
        return static_cast<float>(std::max(kSaturation, mag + offset + 0.01 * dice.Normal()));
    };
    r[ChannelId::C740].mag = static_cast<float>(std::max(kSaturation, mag));
    r[ChannelId::C640].mag = channel(kChannelOffset[0]);
    r[ChannelId::Red].mag = channel(kChannelOffset[1]);
    r[ChannelId::Green].mag = channel(kChannelOffset[2]);
    r[ChannelId::Blue].mag = channel(kChannelOffset[3]);
    // Frequencies for the instrument's zero points.
    r[ChannelId::C740].freq = static_cast<float>(Flux(r[ChannelId::C740].mag - kZeroPoint));
    r[ChannelId::C640].freq = static_cast<float>(Flux(r[ChannelId::C640].mag - kZeroPoint));
    r[ChannelId::Red].freq = static_cast<float>(Flux(r[ChannelId::Red].mag - kZeroPoint));
    r[ChannelId::Green].freq = static_cast<float>(Flux(r[ChannelId::Green].mag - kZeroPoint));
    r[ChannelId::Blue].freq = static_cast<float>(Flux(r[ChannelId::Blue].mag - kZeroPoint));
}

std::int64_t LocalNoon(QDate day, const QTimeZone& zone) {
    return QDateTime(day, QTime(12, 0), zone).toMSecsSinceEpoch();
}

}  // namespace

std::optional<NightKind> NightKindFromName(std::string_view name) {
    if (name == "clear") return NightKind::Clear;
    if (name == "full-moon") return NightKind::FullMoon;
    if (name == "cloudy") return NightKind::Cloudy;
    if (name == "mixed") return NightKind::Mixed;
    return std::nullopt;
}

NightGenerator::NightGenerator(IdaSite site, QTimeZone zone, int intervalSeconds,
                               std::uint32_t seed)
    : site_(std::move(site)),
      zone_(std::move(zone)),
      intervalSeconds_(std::max(1, intervalSeconds)),
      seed_(seed) {}

std::vector<IntervalRecord> NightGenerator::Records(QDate night, Weather weather) const {
    const std::int64_t noon = LocalNoon(night, zone_);
    const std::int64_t nextNoon = LocalNoon(night.addDays(1), zone_);
    const std::int64_t step = std::int64_t{intervalSeconds_} * 1000;
    const SkyTrack track(noon, nextNoon, site_);

    std::seed_seq seeds{seed_, static_cast<std::uint32_t>(night.toJulianDay()),
                        static_cast<std::uint32_t>(weather)};
    Dice dice{std::mt19937(seeds)};
    NightSky nightSky(night, noon, intervalSeconds_, dice);

    std::vector<IntervalRecord> records;
    records.reserve(static_cast<std::size_t>((nextNoon - noon) / step));
    for (std::int64_t end = noon; end < nextNoon; end += step) {
        const SunMoon sky = track.At(end);
        const double cover = nightSky.Cover(end, weather, dice);
        const double mag = nightSky.Magnitude(sky, cover, dice);
        IntervalRecord r;
        r.end = end;
        r.start = end - step;
        for (ChannelMeans& c : r.channels) c.reports = intervalSeconds_;
        SetBrightness(r, mag, dice);
        nightSky.SetTemperatures(r, sky, cover, dice);
        records.push_back(r);
    }
    return records;
}

std::string NightGenerator::FileText(QDate night, Weather weather) const {
    const std::vector<IntervalRecord> records = Records(night, weather);
    std::string text;
    text.reserve(4096 + records.size() * 120);
    for (const std::string& line :
         IdaHeader(site_, zone_, ZeroPoints{kZeroPoint, kZeroPoint, kZeroPoint, kZeroPoint}))
        text += line + "\r\n";
    for (const IntervalRecord& r : records) text += IdaNightFile::Line(r, zone_) + "\r\n";
    return text;
}

std::vector<std::pair<QDate, Weather>> PlanNights(const NightRun& run) {
    std::vector<std::pair<QDate, Weather>> nights;
    QDate first = run.from;
    if (run.kind == NightKind::FullMoon) {
        // The night whose midnight has the Moon fullest among its neighbours.
        const auto lit = [&](QDate night) {
            const std::int64_t midnight =
                QDateTime(night.addDays(1), QTime(0, 0), run.zone).toMSecsSinceEpoch();
            return ComputeSunMoon(midnight, run.site.latitude, run.site.longitude).moonIllumination;
        };
        double before = lit(first.addDays(-1)), now = lit(first);
        for (int i = 0; i < 31; ++i) {
            const double after = lit(first.addDays(1));
            if (now >= before && now >= after) break;
            before = now, now = after;
            first = first.addDays(1);
        }
    }
    std::mt19937 random(run.seed ^ 0x9e3779b9u);
    std::uniform_real_distribution<double> uniform(0, 1);
    const auto anyWeather = [&] {
        const double u = uniform(random);
        return u < 0.45 ? Weather::Clear : u < 0.75 ? Weather::Broken : Weather::Cloudy;
    };
    Weather weather = anyWeather();
    for (int i = 0; i < run.days; ++i) {
        switch (run.kind) {
            case NightKind::Clear:
            case NightKind::FullMoon:
                weather = Weather::Clear;
                break;
            case NightKind::Cloudy:
                weather = Weather::Cloudy;
                break;
            case NightKind::Mixed:
                // Weather lasts: a change on two nights in five.
                if (i > 0 && uniform(random) < 0.4) weather = anyWeather();
                break;
        }
        nights.emplace_back(first.addDays(i), weather);
    }
    return nights;
}

std::optional<std::vector<QString>> WriteNightFiles(const NightRun& run, std::string& error) {
    if (!QDir().mkpath(run.folder)) {
        error = "cannot make the folder " + run.folder.toStdString();
        return std::nullopt;
    }
    const auto nights = PlanNights(run);
    std::vector<QString> paths;
    for (const auto& [night, weather] : nights) {
        paths.push_back(run.folder + '/' + IdaNightFile::FileName(night, run.site.instrumentId));
    }

    // Nights are independent: each worker takes the next one still to write.
    std::atomic<std::size_t> next{0};
    std::mutex failure;
    const auto work = [&] {
        const NightGenerator generator(run.site, QTimeZone(run.zone.id()), run.intervalSeconds,
                                       run.seed);
        for (std::size_t i; (i = next++) < nights.size();) {
            const std::string text = generator.FileText(nights[i].first, nights[i].second);
            QFile file(paths[i]);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
                file.write(text.data(), static_cast<qint64>(text.size())) !=
                    static_cast<qint64>(text.size())) {
                const std::lock_guard lock(failure);
                if (error.empty()) {
                    error = paths[i].toStdString() + ": " + file.errorString().toStdString();
                }
                next = nights.size();
            }
        }
    };
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const auto count = std::min<std::size_t>(run.threads > 0 ? run.threads : cores, nights.size());
    std::vector<std::thread> workers;
    for (std::size_t i = 1; i < count; ++i) workers.emplace_back(work);
    work();
    for (std::thread& worker : workers) worker.join();
    if (!error.empty()) return std::nullopt;
    return paths;
}

}  // namespace noxa::sim
