#include "outputs/ida/ida_night_file.h"

#include "core/c_numbers.h"
#include "core/observation_feed.h"
#include "time/date_time.h"
#include "time/station_clock.h"
#include "time/sun_moon.h"

#include <QDir>
#include <QRegularExpression>

namespace noxa {
namespace {

constexpr const char* kEol = "\r\n";
constexpr const char* kEndOfHeader = "# END OF HEADER";

// Printable ASCII only: accents are dropped from their letters, anything else becomes "?", tabs
// and line breaks spaces. Empty is "unknown".
std::string Ascii(const std::string& text) {
    const QString decomposed = QString::fromUtf8(text).normalized(QString::NormalizationForm_KD);
    std::string out;
    for (const QChar c : decomposed) {
        if (c.category() == QChar::Mark_NonSpacing) continue;
        const char16_t u = c.unicode();
        if (u == '\t' || u == '\r' || u == '\n') {
            out += ' ';
        } else if (u >= 0x20 && u < 0x7f) {
            out += static_cast<char>(u);
        } else {
            out += '?';
        }
    }
    const auto first = out.find_first_not_of(' ');
    if (first == std::string::npos) return "unknown";
    return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

std::string Time(UtcMilliseconds ms, const QTimeZone& zone) {
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(ms, zone);
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")).toStdString();
}

// A record line with all its fields, the last one to its full two decimals: what a crash cut
// off after it was only the line end.
const QRegularExpression& WholeRecord() {
    static const QRegularExpression re(QStringLiteral(
        R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3};\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3})"
        R"((;-?\d+\.\d){2}(;-?\d+\.\d{2}){7};\d\.\d{3}\r?$)"));
    return re;
}

}  // namespace

IdaNightFile::IdaNightFile(ObservationFeed& feed, const StationClock& clock, const WorkDir& dir,
                           IdaSite site, QTimeZone siteZone, Log log)
    : clock_(clock),
      dir_(dir),
      site_(std::move(site)),
      zone_(std::move(siteZone)),
      log_(std::move(log)) {
    connect(&feed, &ObservationFeed::recorded, this, &IdaNightFile::Write);
}

QString IdaNightFile::CurrentFilePath() const {
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(clock_.NowUtc(), zone_);
    return dir_.File("ida") + '/' + FileName(NightOf(now), site_.instrumentId);
}

QString IdaNightFile::FileName(QDate night, const std::string& instrumentId) {
    QString id = QString::fromStdString(Ascii(instrumentId));
    // The name stays one portable file name.
    id.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("-"));
    return night.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral("_120000_") + id +
           QStringLiteral(".dat");
}

std::vector<std::string> IdaNightFile::Header(const IdaSite& site, const QTimeZone& zone) {
    const std::string height = site.height ? CFormat("%.0f", *site.height) : "unknown";
    const std::string fov = site.fieldOfView ? CFormat("%.1f", *site.fieldOfView) : "unknown";
    return {
        "# Community Standard Skyglow Data Format 1.0",
        "# URL: "
        "https://www.darksky.org/wp-content/uploads/bsk-pdf-manager/47_SKYGLOW_DEFINITIONS.PDF",
        "# Number of header lines: " + std::to_string(kHeaderLines),
        "# This data is released under the following license: " + Ascii(site.licence),
        "# Device type: Noxa four-channel night-sky photometer",
        "# Instrument ID: " + Ascii(site.instrumentId),
        "# Data supplier: " + Ascii(site.contact),
        "# Location name: " + Ascii(site.locationName),
        "# Position (lat, lon, elev(m)): " + CFormat("%.5f", site.latitude) + ", " +
            CFormat("%.5f", site.longitude) + ", " + height,
        "# Local timezone: " + Ascii(zone.id().toStdString()),
        "# Time Synchronization: the station computer's clock",
        "# Moving / Stationary position: STATIONARY",
        "# Moving / Fixed look direction: FIXED",
        "# Number of channels: 5",
        "# Filters per channel: 740 nm, 640 nm, red, green (derived), blue",
        "# Measurement direction per channel: 0., 0., 0., 0., 0., 0., 0., 0., 0., 0.",
        "# Field of view (degrees): " + fov,
        "# Number of fields per line: " + std::to_string(kFieldsPerLine),
        "# Channels: 1 = 740 nm, 2 = 640 nm, R = red, B = blue, G = 640 nm less red and blue",
        "# Each line: the means of one record's interval, timed at the interval's end",
        "# Sun and Moon: altitudes of their centres at the line's time, no refraction; lit "
        "fraction",
        "# Temperatures: the sensor's and the sky's (infrared)",
        "# Sky brightness (MSAS): mag/arcsec^2 per channel, 1, 2, R, G, B",
        "# Times: ISO 8601, UTC and the station's local time",
        "# Comment: ",
        "# Comment: ",
        "# Comment: ",
        "# Comment: ",
        "# Comment: ",
        "# blank line 30",
        "# blank line 31",
        "# blank line 32",
        "# UTC Date & Time, Local Date & Time, Temperature, Sky Temperature, MSAS1, MSAS2, MSASR, "
        "MSASG, MSASB, Sun Altitude, Moon Altitude, Moon Illumination",
        "# YYYY-MM-DDTHH:mm:ss.fff;YYYY-MM-DDTHH:mm:ss.fff;Celsius;Celsius;mag/arcsec^2;"
        "mag/arcsec^2;mag/arcsec^2;mag/arcsec^2;mag/arcsec^2;deg;deg;fraction",
        kEndOfHeader,
    };
}

std::string IdaNightFile::Line(const IntervalRecord& r, const QTimeZone& zone,
                               const IdaSite& site) {
    std::string line = Time(r.end, QTimeZone::utc()) + ";" + Time(r.end, zone);
    line += ";" + CFormat("%.1f", r.sensorTemperature) + ";" + CFormat("%.1f", r.skyTemperature);
    for (const float mag : {r.magV, r.magV2, r.magR, r.magG, r.magB}) {
        line += ";" + CFormat("%.2f", mag);
    }
    const SunMoon sky = ComputeSunMoon(r.end, site.latitude, site.longitude);
    line += ";" + CFormat("%.2f", sky.sunAltitude) + ";" + CFormat("%.2f", sky.moonAltitude) + ";" +
            CFormat("%.3f", sky.moonIllumination);
    return line;
}

void IdaNightFile::Write(const IntervalRecord& record) {
    const QDate night = NightOf(QDateTime::fromMSecsSinceEpoch(record.end, zone_));
    if ((night != night_ || !file_.isOpen()) && !Open(night)) return;
    if (Append(Line(record, zone_, site_) + kEol) && failures_.Succeeded()) {
        log_.Info("Night file " + FileName(night_, site_.instrumentId).toStdString() +
                  " written again");
    }
}

bool IdaNightFile::Open(QDate night) {
    file_.close();
    night_ = night;
    const QString folder = dir_.File("ida");
    if (!QDir().mkpath(folder)) {
        Failed("the folder " + folder.toStdString() + " cannot be made");
        return false;
    }
    file_.setFileName(folder + '/' + FileName(night, site_.instrumentId));
    // Unbuffered: each line reaches the file at once, and a failed write says why.
    if (!file_.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered)) {
        Failed(file_.errorString().toStdString());
        return false;
    }
    // A crash may have cut the last line short. A line with every field whole lacks only its
    // line end and is finished; anything shorter was never a complete record and is cut back
    // to the last whole line, so no complete record is lost and no broken one is left.
    file_.seek(0);
    const QByteArray text = file_.readAll();
    const qsizetype end = text.lastIndexOf('\n') + 1;
    const QByteArray tail = text.mid(end);
    const bool headerDone = text.left(end).contains(QByteArray(kEndOfHeader) + kEol);
    bool ok = true;
    if (!headerDone) {
        // Before the header's end there are no records: the header starts again.
        ok = file_.resize(0);
        for (const std::string& line : Header(site_, zone_)) ok = ok && Append(line + kEol);
    } else if (!tail.isEmpty()) {
        if (WholeRecord().match(QString::fromLatin1(tail)).hasMatch()) {
            ok = Append(tail.endsWith('\r') ? "\n" : kEol);
        } else {
            ok = file_.resize(end);
        }
    }
    if (!ok) {
        Failed(file_.errorString().toStdString());
        file_.close();
    }
    return ok;
}

bool IdaNightFile::Append(const std::string& text) {
    const auto size = static_cast<qint64>(text.size());
    if (file_.write(text.data(), size) != size || !file_.flush()) {
        Failed(file_.errorString().toStdString());
        return false;
    }
    return true;
}

void IdaNightFile::Failed(const std::string& what) {
    // One line for each run of failures, not one for every record.
    const std::string line = "Night file " + FileName(night_, site_.instrumentId).toStdString() +
                             " not written: " + what;
    if (failures_.Failed(line)) log_.Error(line);
}

}  // namespace noxa
