#include "night/night_files.h"

#include "night/text_fields.h"
#include "time/sun_moon.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <limits>
#include <unordered_map>

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

NightFileRecords ReadRecordsFile(const QString& path, const DataFileTimes& dataTimes) {
    QFile file(path);
    NightFileRecords out;
    if (!file.open(QIODevice::ReadOnly)) {
        out.error = file.errorString().toStdString();
        return out;
    }
    const QByteArray bytes = file.readAll();
    const bool nightFile = IsNightText(bytes);
    out = nightFile
              ? ReadNightText(bytes)
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

void AddSky(std::vector<NightSample>& samples, const ObserverPlace& place) {
    // Computed exactly every 40 minutes and taken between by the cubic through the four such
    // times around: within 0.002 degree of the exact altitudes, at a fortieth of the cost for
    // records a minute apart (years of records are read at once).
    constexpr UtcMilliseconds kStep = 40 * 60 * 1000;
    std::unordered_map<UtcMilliseconds, SunMoon> nodes;
    const auto node = [&](UtcMilliseconds index) -> const SunMoon& {
        auto [at, added] = nodes.try_emplace(index);
        if (added) at->second = ComputeSunMoon(index * kStep, place.latitude, place.longitude);
        return at->second;
    };
    for (NightSample& sample : samples) {
        const UtcMilliseconds index =
            sample.time >= 0 ? sample.time / kStep : (sample.time - kStep + 1) / kStep;
        const double x = double(sample.time - index * kStep) / kStep;  // 0..1
        const SunMoon &a = node(index - 1), &b = node(index), &c = node(index + 1),
                      &d = node(index + 2);
        // Lagrange's weights of the nodes at -1, 0, 1 and 2.
        const double wa = -x * (x - 1) * (x - 2) / 6, wb = (x + 1) * (x - 1) * (x - 2) / 2,
                     wc = -(x + 1) * x * (x - 2) / 2, wd = (x + 1) * x * (x - 1) / 6;
        const auto at = [&](double SunMoon::*value) {
            return float(wa * a.*value + wb * b.*value + wc * c.*value + wd * d.*value);
        };
        sample.sunAltitude = at(&SunMoon::sunAltitude);
        sample.moonAltitude = at(&SunMoon::moonAltitude);
        sample.moonIllumination = at(&SunMoon::moonIllumination);
        if (nodes.size() > 4096) nodes.clear();  // records far apart keep no growing cache
    }
}

std::vector<Night> SplitIntoNights(std::vector<NightSample> samples, const QTimeZone& zone) {
    const auto earlier = [](const NightSample& a, const NightSample& b) { return a.time < b.time; };
    if (!std::is_sorted(samples.begin(), samples.end(), earlier))
        std::stable_sort(samples.begin(), samples.end(), earlier);
    std::vector<Night> nights;
    // The zone's offset changes at most a few times a year: one look-up per UTC hour.
    constexpr UtcMilliseconds kHour = 3600000;
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
        const QDate date = QDate(1970, 1, 1).addDays(days);
        if (nights.empty() || nights.back().date != date) {
            nights.push_back(Night{date, zone, {}, {}});
        }
        nights.back().samples.push_back(sample);
    }
    return nights;
}

}  // namespace noxa
