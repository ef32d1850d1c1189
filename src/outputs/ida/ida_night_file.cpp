#include "outputs/ida/ida_night_file.h"

#include "core/c_numbers.h"
#include "core/observation_feed.h"
#include "time/date_time.h"
#include "time/station_clock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace noxa {
namespace {

constexpr const char* kEol = "\r\n";

std::string Time(UtcMilliseconds ms, const QTimeZone& zone) {
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(ms, zone);
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")).toStdString();
}

// A value with its decimals, or "unknown".
std::string Value(std::optional<double> value, const char* format) {
    return value && std::isfinite(*value) ? CFormat(format, *value) : kIdaUnknown;
}

// A record line with all its fields, the last one to its full two decimals or a whole
// "unknown": what a crash cut off after it was only the line end.
const QRegularExpression& WholeRecord() {
    static const QRegularExpression re(QStringLiteral(
        R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3};\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3})"
        R"(;(-?\d+\.\d|unknown);unknown;(-?\d+\.\d{3}|unknown);(-?\d+\.\d{2}|unknown))"
        R"(;(-?\d+\.\d|unknown)(;(-?\d+\.\d{3}|unknown);(-?\d+\.\d{2}|unknown)){4}\r?$)"));
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
    connect(&feed, &ObservationFeed::observed, this, &IdaNightFile::Observed);
    connect(&feed, &ObservationFeed::recorded, this, &IdaNightFile::Write);
}

void IdaNightFile::Observed(const Observation& o) {
    const ZeroPoints reported = {o.zeroPoint1, o.zeroPoint2, o.zeroPoint3, o.zeroPoint4};
    if (std::all_of(reported.begin(), reported.end(), [](float zp) { return std::isfinite(zp); }))
        zeroPoints_ = reported;
}

QString IdaNightFile::CurrentFilePath() const {
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(clock_.NowUtc(), zone_);
    return dir_.File("ida") + '/' + FileName(NightOf(now), site_.instrumentId);
}

QString IdaNightFile::FileName(QDate night, const std::string& instrumentId) {
    QString id = QString::fromStdString(IdaAscii(instrumentId));
    // The name stays one portable file name, short enough for any file system: a long id keeps
    // its start and a hash of the whole.
    id.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("-"));
    constexpr qsizetype kLongest = 100;
    if (id.size() > kLongest) {
        const QByteArray hash = QCryptographicHash::hash(id.toLatin1(), QCryptographicHash::Sha1);
        id = id.left(kLongest - 9) + '-' + QString::fromLatin1(hash.toHex().left(8));
    }
    return night.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral("_120000_") + id +
           QStringLiteral(".dat");
}

std::string IdaNightFile::Line(const IntervalRecord& r, const QTimeZone& zone) {
    std::string line = Time(r.end, QTimeZone::utc()) + ";" + Time(r.end, zone);
    line += ";" + Value(r.sensorTemperature, "%.1f") + ";" + kIdaUnknown;  // no counts
    const struct {
        double frequency, magnitude;
        std::int32_t reports;
    } channels[] = {{r.freq1, r.magV, r.reports},
                    {r.freq2, r.magV2, r.reports},
                    {r.freqR, r.magR, r.reportsR},
                    {r.freqG, r.magG, r.reportsG},
                    {r.freqB, r.magB, r.reportsB}};
    for (const auto& c : channels) {
        const bool measured = c.reports > 0;
        line += ";" + Value(measured ? std::optional(c.frequency) : std::nullopt, "%.3f");
        line += ";" + Value(measured ? std::optional(c.magnitude) : std::nullopt, "%.2f");
        // The one-channel layout ends after channel 1: the sky's temperature comes next.
        if (&c == channels) line += ";" + Value(r.skyTemperature, "%.1f");
    }
    return line;
}

void IdaNightFile::Write(const IntervalRecord& record) {
    const QDate night = NightOf(QDateTime::fromMSecsSinceEpoch(record.end, zone_));
    if ((night != night_ || !file_.isOpen()) && !Open(night)) return;
    if (Append(Line(record, zone_) + kEol) && failures_.Succeeded()) {
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
    const bool headerDone = text.left(end).contains(QByteArray(kIdaEndOfHeader) + kEol);
    bool ok = true;
    if (!headerDone) {
        // Before the header's end there are no records: the header starts again.
        ok = file_.resize(0);
        for (const std::string& line : IdaHeader(site_, zone_, zeroPoints_))
            ok = ok && Append(line + kEol);
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
