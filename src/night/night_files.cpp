#include "night/night_files.h"

#include "night/text_fields.h"
#include "time/sun_moon.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <limits>
#include <type_traits>
#include <unordered_map>
#include <utility>

namespace noxa {
namespace {

// The skyglow format's first line names the format.
bool IsNightText(const QByteArray& bytes) {
    const qsizetype start = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    const qsizetype end = bytes.indexOf('\n', start);
    const QByteArray first = bytes.mid(start, (end < 0 ? bytes.size() : end) - start).toLower();
    return first.startsWith('#') && (first.contains("data format") || first.contains("skyglow"));
}

// What a file whose header names no instrument is known by: its name, for a data file
// without the month ("<station>_MM_YYYY.csv").
std::string NameOf(const QString& path, bool nightFile) {
    QString name = QFileInfo(path).completeBaseName();
    static const QRegularExpression month(QStringLiteral("_\\d\\d_\\d\\d\\d\\d$"));
    if (!nightFile) name.remove(month);
    return name.toStdString();
}

}  // namespace

NightFileRecords ReadRecordsFile(const QString& path, const DataFileTimes& dataTimes,
                                 SkyNodes* sky) {
    QFile file(path);
    NightFileRecords out;
    if (!file.open(QIODevice::ReadOnly)) {
        out.error = file.errorString().toStdString();
        return out;
    }
    const QByteArray bytes = file.readAll();
    const bool nightFile = IsNightText(bytes);
    out = nightFile
              ? ReadNightText(bytes, sky)
              : ReadDataText(bytes, dataTimes.datePattern, dataTimes.timePattern, dataTimes.zone);
    // Lines ending in CR alone come as one line: say so rather than what that one line lacks.
    if (!out.error.empty() && bytes.contains('\r') && !bytes.contains('\n'))
        out.error = "its lines end in CR alone (old Mac line ends): give it with CR LF or LF";
    const std::string name = InstrumentLabel(out.instrument);
    out.instrument = name.empty() ? InstrumentLabel(NameOf(path, nightFile)) : name;
    return out;
}

std::string InstrumentLabel(std::string_view name) {
    std::string label(Trimmed(name));
    for (char& c : label) {
        const bool kept = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                          (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        if (!kept) c = '-';
    }
    // File names hold 255 bytes: a longer name keeps its start and a hash of the whole.
    if (label.size() <= kLongestInstrumentLabel) return label;
    const QByteArray hash =
        QCryptographicHash::hash(QByteArray::fromStdString(label), QCryptographicHash::Sha1)
            .toHex()
            .left(8);
    return label.substr(0, kLongestInstrumentLabel - 9) + '-' + hash.toStdString();
}

namespace {

// Lagrange's weights of the nodes at -1, 0, 1 and 2 for x in 0..1.
std::array<double, 4> CubicWeights(double x) {
    return {-x * (x - 1) * (x - 2) / 6, (x + 1) * (x - 1) * (x - 2) / 2, -(x + 1) * x * (x - 2) / 2,
            (x + 1) * x * (x - 1) / 6};
}

// The node index of `time` on a grid of `step` and how far past it, 0..1.
std::pair<UtcMilliseconds, double> GridPlace(UtcMilliseconds time, UtcMilliseconds step) {
    const UtcMilliseconds index = time >= 0 ? time / step : (time - step + 1) / step;
    return {index, double(time - index * step) / double(step)};
}

// Computed values on a grid, kept while they are asked for, taken between by the cubic
// through the four nodes around.
template <typename Value, typename Compute>
class CubicGrid {
public:
    CubicGrid(UtcMilliseconds step, Compute compute) : step_(step), compute_(compute) {}

    // The four nodes around `time` and their weights.
    template <typename Use>
    void Around(UtcMilliseconds time, Use use) {
        const auto [index, x] = GridPlace(time, step_);
        const std::array<double, 4> w = CubicWeights(x);
        use(Node(index - 1), Node(index), Node(index + 1), Node(index + 2), w);
        if (nodes_.size() > 4096) nodes_.clear();  // records far apart keep no growing cache
    }

private:
    const Value& Node(UtcMilliseconds index) {
        auto [at, added] = nodes_.try_emplace(index);
        if (added) at->second = compute_(index * step_);
        return at->second;
    }

    UtcMilliseconds step_;
    Compute compute_;
    std::unordered_map<UtcMilliseconds, Value> nodes_;
};

// The member of four nodes, weighted: a number, or each of an array's.
template <typename Member>
Member Weighted(Member BodyPositions::*member, const std::array<const BodyPositions*, 4>& nodes,
                const std::array<double, 4>& w) {
    Member sum{};
    for (std::size_t n = 0; n < 4; ++n) {
        if constexpr (std::is_same_v<Member, double>) {
            sum += w[n] * nodes[n]->*member;
        } else {
            for (std::size_t k = 0; k < sum.size(); ++k) sum[k] += w[n] * (nodes[n]->*member)[k];
        }
    }
    return sum;
}

}  // namespace

void AddSky(std::vector<NightSample>& samples, const ObserverPlace& place, SkyNodes* nodes) {
    // The Sun and the Moon computed exactly every 40 minutes and taken between by the cubic
    // through the four such times around: within 0.002 degree of the exact altitudes, at a
    // fortieth of the cost for records a minute apart (years of records are read at once). The
    // Earth's place in its orbit with the turn to the equator of date, and the Moon's place
    // around the Earth, the costliest parts, are computed every 2 days and every 6 hours and
    // taken between in the same way: within a ten-thousandth of a degree as seen from the Earth.
    SkyNodes ownNodes;
    SkyNodes& kept = nodes ? *nodes : ownNodes;
    const auto earthAt = [&](UtcMilliseconds time) {
        return kept.Earth(time, [time] { return ComputeEarthPosition(time); });
    };
    const auto moonAt = [&](UtcMilliseconds time) {
        return kept.Moon(time, [time] { return ComputeMoonPosition(time); });
    };
    CubicGrid<BodyPositions, decltype(earthAt)> earth(48 * 3600 * 1000LL, earthAt);
    CubicGrid<BodyPositions, decltype(moonAt)> moon(6 * 3600 * 1000LL, moonAt);
    const auto skyAt = [&](UtcMilliseconds time) {
        return kept.Sky(place, time, [&] {
            BodyPositions bodies;
            earth.Around(time, [&](const auto& a, const auto& b, const auto& c, const auto& d,
                                   const std::array<double, 4>& w) {
                bodies.earth = Weighted(&BodyPositions::earth, {&a, &b, &c, &d}, w);
                bodies.toDate = Weighted(&BodyPositions::toDate, {&a, &b, &c, &d}, w);
                bodies.originsEquation =
                    Weighted(&BodyPositions::originsEquation, {&a, &b, &c, &d}, w);
            });
            moon.Around(time, [&](const auto& a, const auto& b, const auto& c, const auto& d,
                                  const std::array<double, 4>& w) {
                bodies.moon = Weighted(&BodyPositions::moon, {&a, &b, &c, &d}, w);
            });
            return ComputeSunMoon(time, place.latitude, place.longitude, bodies);
        });
    };
    CubicGrid<SunMoon, decltype(skyAt)> sky(40 * 60 * 1000LL, skyAt);
    for (NightSample& sample : samples) {
        sky.Around(sample.time, [&](const SunMoon& a, const SunMoon& b, const SunMoon& c,
                                    const SunMoon& d, const std::array<double, 4>& w) {
            const auto at = [&](double SunMoon::*value) {
                return float(w[0] * a.*value + w[1] * b.*value + w[2] * c.*value + w[3] * d.*value);
            };
            sample.sunAltitude = at(&SunMoon::sunAltitude);
            sample.moonAltitude = at(&SunMoon::moonAltitude);
            sample.moonIllumination = at(&SunMoon::moonIllumination);
        });
    }
}

std::vector<Night> SplitIntoNights(std::vector<NightSample> samples, const QTimeZone& zone) {
    const auto earlier = [](const NightSample& a, const NightSample& b) { return a.time < b.time; };
    if (!std::is_sorted(samples.begin(), samples.end(), earlier))
        std::stable_sort(samples.begin(), samples.end(), earlier);
    std::vector<Night> nights;
    // The zone's offset changes at most a few times a year: one look-up per UTC hour.
    constexpr UtcMilliseconds kHour = 3600000;
    constexpr qint64 kJulianDayOf1970 = 2440588;
    UtcMilliseconds cachedHour = std::numeric_limits<UtcMilliseconds>::min();
    int offset = 0;
    for (const NightSample& sample : samples) {
        const UtcMilliseconds hour =
            sample.time >= 0 ? sample.time / kHour : (sample.time - kHour + 1) / kHour;
        if (hour != cachedHour) {
            cachedHour = hour;
            offset =
                zone.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(sample.time, QTimeZone::utc()));
        }
        // Local noon to local noon: the night's date is the local date twelve hours earlier.
        const UtcMilliseconds shifted = sample.time + offset * 1000LL - 12 * kHour;
        const std::int64_t days =
            shifted >= 0 ? shifted / (24 * kHour) : (shifted - 24 * kHour + 1) / (24 * kHour);
        const QDate date = QDate::fromJulianDay(kJulianDayOf1970 + days);
        if (nights.empty() || nights.back().date != date) {
            nights.push_back(Night{date, zone, {}, {}});
        }
        nights.back().samples.push_back(sample);
    }
    return nights;
}

}  // namespace noxa
