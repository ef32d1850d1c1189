#include "night/night_chart.h"

#include "night/png_encoding.h"
#include "recording/atomic_file.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <vector>

namespace noxa {
namespace {

constexpr UtcMilliseconds kMinuteMs = 60 * 1000;
constexpr UtcMilliseconds kHourMs = 60 * kMinuteMs;
// Time shown before sunset and after sunrise.
constexpr UtcMilliseconds kSpanMarginMs = 30 * kMinuteMs;
constexpr float kAstronomicalNight = -18;

const QColor kNightShade(196, 205, 222);
const QColor kTwilightShade(229, 234, 243);
const QColor kGrid(0, 0, 0, 28);
const QColor kAxis(70, 70, 70);
const QColor kSun(210, 145, 0);
const QColor kMoon(95, 98, 110);
const QColor kCloud(90, 90, 90, 55);
const std::array<QColor, kNightChannels> kChannelColours = {QColor(128, 0, 0), QColor(245, 120, 0),
                                                            QColor(220, 30, 30), QColor(0, 150, 40),
                                                            QColor(20, 60, 220)};

// A brightness of a channel that had a reading: neither missing (NaN) nor 0 or less.
bool HasReading(float mag) {
    return std::isfinite(mag) && mag > 0;
}

// The usual spacing of the samples: the median of the steps between them.
UtcMilliseconds UsualSpacing(const std::vector<NightSample>& samples) {
    if (samples.size() < 2) return kMinuteMs;
    std::vector<UtcMilliseconds> steps;
    steps.reserve(samples.size() - 1);
    for (std::size_t i = 1; i < samples.size(); ++i) {
        steps.push_back(samples[i].time - samples[i - 1].time);
    }
    auto middle = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2);
    std::nth_element(steps.begin(), middle, steps.end());
    return std::max<UtcMilliseconds>(*middle, 1000);
}

// The times shown: sunset to sunrise with a margin, or every sample when the Sun never sets or
// never rises.
std::pair<UtcMilliseconds, UtcMilliseconds> TimeSpan(const std::vector<NightSample>& samples) {
    const UtcMilliseconds first = samples.front().time, last = samples.back().time;
    auto below = [](const NightSample& s) { return s.sunAltitude < 0; };
    const auto set = std::find_if(samples.begin(), samples.end(), below);
    const auto rise = std::find_if(samples.rbegin(), samples.rend(), below);
    UtcMilliseconds from = first, to = last;
    if (set != samples.end()) {
        from = std::max(first, set->time - kSpanMarginMs);
        to = std::min(last, rise->time + kSpanMarginMs);
    }
    if (to - from < kHourMs) {
        const UtcMilliseconds middle = from + (to - from) / 2;
        from = middle - kHourMs / 2;
        to = middle + kHourMs / 2;
    }
    // A night is a day long at most; records beyond (a clock that jumped) fall off the chart.
    to = std::min(to, from + 48 * kHourMs);
    return {from, to};
}

QString TitleText(const Night& night) {
    QDate date = night.date;
    if (!date.isValid() && !night.samples.empty()) {
        const QDateTime first =
            QDateTime::fromMSecsSinceEpoch(night.samples.front().time, night.zone);
        date = first.date().addDays(first.time().hour() < 12 ? -1 : 0);
    }
    if (!date.isValid()) return {};
    const QDate next = date.addDays(1);
    const QString to = next.year() != date.year()     ? next.toString(Qt::ISODate)
                       : next.month() != date.month() ? next.toString(QStringLiteral("MM-dd"))
                                                      : next.toString(QStringLiteral("dd"));
    const QString zone = night.zone.isValid() ? QString::fromUtf8(night.zone.id()) : "UTC";
    return QStringLiteral("Night of %1 to %2 (%3 time)").arg(date.toString(Qt::ISODate), to, zone);
}

// A fitted brightness range in whole or half magnitudes, darker (larger) first.
// The range is fitted to the night once the Sun is 6° down, where that is at least a quarter of
// the chart, so that twilight's bright readings do not squeeze the dark hours; they run off the
// bottom.
// Readings outside what a sky can show stay off the chart too.
std::pair<double, double> MagnitudeRange(const std::vector<NightSample>& samples,
                                         UtcMilliseconds from, UtcMilliseconds to) {
    int inSpan = 0, dark = 0;
    const auto range = [&](bool darkOnly) {
        float low = 1e9f, high = -1e9f;
        for (const NightSample& s : samples) {
            if (s.time < from || s.time > to) continue;
            ++inSpan;
            if (darkOnly && !(s.sunAltitude < -6)) continue;
            ++dark;
            for (float m : s.mag) {
                if (!HasReading(m) || m > 30) continue;
                low = std::min(low, m);
                high = std::max(high, m);
            }
        }
        return std::pair(low, high);
    };
    auto [low, high] = range(true);
    // A short dark spell (a summer night far north) would leave most of the night off the chart.
    if (low > high || dark * 4 < inSpan) std::tie(low, high) = range(false);
    if (low > high) return {22, 16};
    double top = std::ceil(high * 2) / 2, bottom = std::floor(low * 2) / 2;
    if (top - bottom < 1) {
        top += 0.5;
        bottom -= 0.5;
    }
    return {top, bottom};
}

double NiceStep(double range, double pixels, double minPixels,
                std::initializer_list<double> steps) {
    for (double step : steps) {
        if (pixels * step / range >= minPixels) return step;
    }
    return *(steps.end() - 1);
}

struct Frame {
    QRectF plot;
    UtcMilliseconds from = 0, to = 1;
    double magTop = 22, magBottom = 16;

    double X(UtcMilliseconds t) const {
        return plot.left() +
               plot.width() * static_cast<double>(t - from) / static_cast<double>(to - from);
    }
    double YMag(double m) const {
        return plot.top() + plot.height() * (magTop - m) / (magTop - magBottom);
    }
    // Altitude in degrees, -90 at the bottom and +90 at the top.
    double YAlt(double degrees) const { return plot.top() + plot.height() * (90 - degrees) / 180; }
};

// Writes straight into the image's pixels, for the large flat areas: the raster engine hands
// big fills to a thread pool, whose hand-offs cost more than these fills themselves.
class Pixels {
public:
    explicit Pixels(QImage& image)
        : bits_(image.bits()), stride_(image.bytesPerLine()), size_(image.size()) {}

    // Columns [x0, x1) of rows [y0, y1), clipped to the image; `alpha` blends over what is there.
    void Fill(int x0, int x1, int y0, int y1, QRgb colour, int alpha = 255) {
        x0 = std::max(x0, 0);
        y0 = std::max(y0, 0);
        x1 = std::min(x1, size_.width());
        y1 = std::min(y1, size_.height());
        if (x0 >= x1) return;
        for (int y = y0; y < y1; ++y) {
            QRgb* row = reinterpret_cast<QRgb*>(bits_ + static_cast<qsizetype>(y) * stride_);
            if (alpha >= 255) {
                std::fill(row + x0, row + x1, colour | 0xff000000u);
                continue;
            }
            for (int x = x0; x < x1; ++x) row[x] = Blend(row[x], colour, alpha);
        }
    }

private:
    static QRgb Blend(QRgb under, QRgb over, int alpha) {
        auto mix = [&](int a, int b) { return (b * alpha + a * (255 - alpha) + 127) / 255; };
        return qRgb(mix(qRed(under), qRed(over)), mix(qGreen(under), qGreen(over)),
                    mix(qBlue(under), qBlue(over)));
    }

    uchar* bits_;
    qsizetype stride_;
    QSize size_;
};

// Where the samples run on without a gap: the index just past each run's end.
std::vector<std::size_t> RunEnds(const std::vector<NightSample>& samples, UtcMilliseconds gap) {
    std::vector<std::size_t> ends;
    for (std::size_t i = 1; i < samples.size(); ++i) {
        if (samples[i].time - samples[i - 1].time > gap) ends.push_back(i);
    }
    ends.push_back(samples.size());
    return ends;
}

// The background by the Sun's altitude: astronomical night, twilight, day. Crossings between
// two close samples are interpolated; a gap is split at its middle.
void DrawShading(Pixels& pixels, const Frame& f, const std::vector<NightSample>& samples,
                 UtcMilliseconds gap) {
    std::vector<std::pair<UtcMilliseconds, float>> sun;  // time, altitude where known
    sun.reserve(samples.size());
    for (const NightSample& s : samples) {
        if (std::isfinite(s.sunAltitude)) sun.emplace_back(s.time, s.sunAltitude);
    }
    if (sun.empty()) return;
    auto shade = [](float altitude) {
        return altitude < kAstronomicalNight ? 2 : altitude < 0 ? 1 : 0;
    };
    auto fill = [&](UtcMilliseconds a, UtcMilliseconds b, int level) {
        if (level == 0 || b <= a) return;
        const int x0 = static_cast<int>(std::lround(std::max(f.X(a), f.plot.left())));
        const int x1 = static_cast<int>(std::lround(std::min(f.X(b), f.plot.right())));
        pixels.Fill(x0, x1, static_cast<int>(f.plot.top()), static_cast<int>(f.plot.bottom()),
                    (level == 2 ? kNightShade : kTwilightShade).rgb());
    };
    // Runs of one level, merged so that the bands have no seams.
    UtcMilliseconds runStart = sun.front().first;
    int runLevel = shade(sun.front().second);
    auto moveTo = [&](UtcMilliseconds t, int level) {
        if (level == runLevel) return;
        fill(runStart, t, runLevel);
        runStart = t;
        runLevel = level;
    };
    for (std::size_t i = 1; i < sun.size(); ++i) {
        const auto [ta, a] = sun[i - 1];
        const auto [tb, b] = sun[i];
        const int level = shade(b);
        if (level == runLevel) continue;
        if (tb - ta > gap) {
            moveTo(ta + (tb - ta) / 2, level);
            continue;
        }
        // Each threshold crossed on the way, in order.
        const float limits[] = {0, kAstronomicalNight};
        const bool falling = b < a;
        for (int k = 0; k < 2; ++k) {
            const float limit = limits[falling ? k : 1 - k];
            if ((a < limit) == (b < limit)) continue;
            const double share = (limit - a) / (b - a);
            moveTo(ta + static_cast<UtcMilliseconds>(share * static_cast<double>(tb - ta)),
                   shade(falling ? limit - 0.001f : limit + 0.001f));
        }
        moveTo(tb, level);
    }
    fill(runStart, std::max(sun.back().first, f.to), runLevel);
}

// Walks one series in runs broken at gaps and missing values, handing each run's points to
// `draw`. Only what lies in view is taken, with a neighbour either side.
template <typename Value, typename Draw>
void ForEachRun(const Frame& f, const std::vector<NightSample>& samples,
                const std::vector<std::size_t>& runEnds, Value value, Draw draw) {
    QPolygonF line;
    line.reserve(static_cast<qsizetype>(samples.size()));
    auto flush = [&] {
        if (!line.isEmpty()) draw(line);
        line.clear();
    };
    std::size_t begin = 0;
    for (std::size_t end : runEnds) {
        for (std::size_t i = begin; i < end; ++i) {
            const NightSample& s = samples[i];
            if (s.time < f.from && i + 1 < end && samples[i + 1].time < f.from) continue;
            if (s.time > f.to && i > begin && samples[i - 1].time > f.to) break;
            double y;
            if (!value(s, y)) {
                flush();
                continue;
            }
            line.append(QPointF(f.X(s.time), y));
        }
        flush();
        begin = end;
    }
}

// One series as lines with the painter's pen; a lone value is drawn as a dot.
template <typename Value>
void DrawSeries(QPainter& p, const Frame& f, const std::vector<NightSample>& samples,
                const std::vector<std::size_t>& runEnds, Value value) {
    ForEachRun(f, samples, runEnds, value, [&](const QPolygonF& line) {
        if (line.size() > 1) {
            p.drawPolyline(line);
            return;
        }
        p.save();
        QPen dot = p.pen();
        dot.setWidthF(dot.widthF() * 2.5);
        dot.setCapStyle(Qt::RoundCap);
        dot.setStyle(Qt::SolidLine);
        p.setPen(dot);
        p.drawPoint(line.front());
        p.restore();
    });
}

// The cloud cover as translucent areas up from the horizon line, 100 % at +90°.
void DrawCloud(Pixels& pixels, const Frame& f, const std::vector<NightSample>& samples,
               const std::vector<std::size_t>& runEnds) {
    const int base = static_cast<int>(std::lround(f.YAlt(0)));
    const int left = static_cast<int>(f.plot.left()), right = static_cast<int>(f.plot.right());
    auto cover = [&](const NightSample& s, double& y) {
        y = f.YAlt(std::clamp<double>(s.cloudCover, 0, 100) * 0.9);
        return std::isfinite(s.cloudCover);
    };
    ForEachRun(f, samples, runEnds, cover, [&](const QPolygonF& area) {
        for (qsizetype i = 1; i < area.size(); ++i) {
            const QPointF a = area[i - 1], b = area[i];
            const int x0 = std::max(left, static_cast<int>(std::ceil(a.x())));
            const int x1 = std::min(right, static_cast<int>(std::ceil(b.x())));
            for (int x = x0; x < x1; ++x) {
                const double y = a.y() + (b.y() - a.y()) * (x - a.x()) / (b.x() - a.x());
                pixels.Fill(x, x + 1, static_cast<int>(std::lround(y)), base, kCloud.rgb(),
                            kCloud.alpha());
            }
        }
    });
}

struct LegendEntry {
    QString text;
    QPen pen;      // a line
    QBrush brush;  // or a filled swatch
    bool filled = false;
};

}  // namespace

QImage DrawNightChart(const Night& night, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    if (size.isEmpty()) return image;
    Pixels pixels(image);
    QPainter p(&image);

    QFont font = QGuiApplication::font();
    font.setPixelSize(std::max(10, std::min(size.height() / 46, size.width() / 85)));
    QFont titleFont = font;
    titleFont.setBold(true);
    titleFont.setPixelSize(font.pixelSize() * 5 / 4);
    const QFontMetricsF fm(font), tfm(titleFont);
    const double pad = fm.height() * 0.6;

    const QString title = TitleText(night);
    double top = pad;
    if (!title.isEmpty()) {
        p.setFont(titleFont);
        p.setPen(Qt::black);
        p.drawText(QRectF(pad, top, size.width() - 2 * pad, tfm.height()), Qt::AlignCenter, title);
        top += tfm.height() + pad / 2;
    }
    p.setFont(font);

    if (night.samples.empty()) {
        p.setPen(kAxis);
        p.drawText(QRectF(0, top, size.width(), size.height() - top), Qt::AlignCenter,
                   QStringLiteral("No records"));
        return image;
    }

    const std::vector<NightSample>& samples = night.samples;
    const QTimeZone zone = night.zone.isValid() ? night.zone : QTimeZone::utc();
    const UtcMilliseconds gap = 3 * UsualSpacing(samples);
    const std::vector<std::size_t> runEnds = RunEnds(samples, gap);

    Frame f;
    std::tie(f.from, f.to) = TimeSpan(samples);
    std::tie(f.magTop, f.magBottom) = MagnitudeRange(samples, f.from, f.to);

    // The Moon's lit fraction at the middle of the span.
    const UtcMilliseconds middle = f.from + (f.to - f.from) / 2;
    float lit = NAN;
    UtcMilliseconds litDistance = 0;
    for (const NightSample& s : samples) {
        const UtcMilliseconds distance = std::abs(s.time - middle);
        if (std::isfinite(s.moonIllumination) && (std::isnan(lit) || distance < litDistance)) {
            lit = s.moonIllumination;
            litDistance = distance;
        }
    }
    const QString moon =
        std::isnan(lit)
            ? QStringLiteral("Moon")
            : QStringLiteral("Moon (%1 % lit)").arg(qRound(std::clamp(lit, 0.0f, 1.0f) * 100));

    // Legend: flowed into as many rows as it needs.
    std::vector<LegendEntry> legend;
    for (int c = 0; c < kNightChannels; ++c) {
        legend.push_back({QString::fromLatin1(kNightChannelNames[static_cast<std::size_t>(c)]),
                          QPen(kChannelColours[static_cast<std::size_t>(c)], 2),
                          {},
                          false});
    }
    legend.push_back({QStringLiteral("Sun"), QPen(kSun, 2, Qt::DashLine), {}, false});
    legend.push_back({moon, QPen(kMoon, 2), {}, false});
    legend.push_back({QStringLiteral("cloud cover"), QPen(Qt::NoPen), QBrush(kCloud), true});
    legend.push_back(
        {QStringLiteral("astronomical night"), QPen(Qt::NoPen), QBrush(kNightShade), true});
    legend.push_back({QStringLiteral("twilight"), QPen(Qt::NoPen), QBrush(kTwilightShade), true});

    const double swatch = fm.height() * 1.6, gapText = fm.height() * 0.35,
                 entryGap = fm.height() * 1.2;
    std::vector<double> entryWidths;
    std::vector<std::vector<std::size_t>> rows(1);
    std::vector<double> rowWidths(1, 0);
    const double legendMax = size.width() - 2 * pad;
    for (std::size_t i = 0; i < legend.size(); ++i) {
        const double w = swatch + gapText + fm.horizontalAdvance(legend[i].text);
        entryWidths.push_back(w);
        if (!rows.back().empty() && rowWidths.back() + entryGap + w > legendMax) {
            rows.emplace_back();
            rowWidths.push_back(0);
        }
        rowWidths.back() += (rows.back().empty() ? 0 : entryGap) + w;
        rows.back().push_back(i);
    }
    const double legendTop = top;
    top += static_cast<double>(rows.size()) * fm.height() + pad;

    // Axes' room: tick labels and the rotated axis titles.
    const QString leftTitle = QStringLiteral("sky brightness mag/arcsec²");
    const QString rightTitle = QStringLiteral("altitude ° / cloud %");
    const double leftRoom = pad + fm.height() + pad / 2 + fm.horizontalAdvance("00.0") + pad / 2;
    const double rightRoom = pad / 2 + fm.horizontalAdvance("-90") + pad / 2 + fm.height() + pad;
    const double bottomRoom = pad / 2 + fm.height() + pad;
    // Whole pixels, so that the areas filled directly meet the lines drawn.
    const int plotLeft = static_cast<int>(leftRoom), plotTop = static_cast<int>(top);
    f.plot = QRectF(plotLeft, plotTop, size.width() - plotLeft - static_cast<int>(rightRoom),
                    size.height() - plotTop - static_cast<int>(bottomRoom));
    if (f.plot.width() < 10 || f.plot.height() < 10) return image;

    DrawShading(pixels, f, samples, gap);

    // Grid lines and ticks of the brightness axis.
    const double magRange = f.magTop - f.magBottom;
    const double magStep =
        NiceStep(magRange, f.plot.height(), fm.height() * 1.8, {0.5, 1, 2, 5, 10});
    std::vector<std::pair<double, double>> magTicks;  // y, magnitude
    for (double m = std::ceil(f.magBottom / magStep) * magStep; m <= f.magTop + 1e-9;
         m += magStep) {
        magTicks.emplace_back(f.YMag(m), m);
    }
    // Hour ticks in local time, spaced so that their labels keep apart.
    const double hours = static_cast<double>(f.to - f.from) / kHourMs;
    const int hourStep = static_cast<int>(
        NiceStep(hours, f.plot.width(), fm.horizontalAdvance("00") * 2.5, {1, 2, 3, 4, 6, 12}));
    std::vector<std::pair<double, int>> hourTicks;  // x, local hour
    {
        const QDateTime start = QDateTime::fromMSecsSinceEpoch(f.from, zone);
        UtcMilliseconds t =
            QDateTime(start.date(), QTime(start.time().hour(), 0), zone).toMSecsSinceEpoch();
        if (t < f.from) t += kHourMs;
        for (; t <= f.to; t += kHourMs) {
            const int hour = QDateTime::fromMSecsSinceEpoch(t, zone).time().hour();
            if (hour % hourStep == 0) hourTicks.emplace_back(f.X(t), hour);
        }
    }
    const int plotRight = static_cast<int>(f.plot.right()),
              plotBottom = static_cast<int>(f.plot.bottom());
    for (const auto& [y, m] : magTicks) {
        const int row = static_cast<int>(std::lround(y));
        pixels.Fill(plotLeft, plotRight, row, row + 1, kGrid.rgb(), kGrid.alpha());
    }
    for (const auto& [x, h] : hourTicks) {
        const int column = static_cast<int>(std::lround(x));
        pixels.Fill(column, column + 1, plotTop, plotBottom, kGrid.rgb(), kGrid.alpha());
    }
    DrawCloud(pixels, f, samples, runEnds);

    // The data, clipped to the plot.
    p.save();
    p.setClipRect(f.plot);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::NoBrush);
    // Lines one pixel wide take the raster engine's fast path: a wider pen costs twice the
    // whole chart's time.
    p.setPen(QPen(kMoon, 1, Qt::SolidLine, Qt::FlatCap, Qt::BevelJoin));
    DrawSeries(p, f, samples, runEnds, [&](const NightSample& s, double& y) {
        y = f.YAlt(s.moonAltitude);
        return std::isfinite(s.moonAltitude);
    });
    p.setPen(QPen(kSun, 1, Qt::DashLine, Qt::FlatCap, Qt::BevelJoin));
    DrawSeries(p, f, samples, runEnds, [&](const NightSample& s, double& y) {
        y = f.YAlt(s.sunAltitude);
        return std::isfinite(s.sunAltitude);
    });
    for (int c = 0; c < kNightChannels; ++c) {
        const auto k = static_cast<std::size_t>(c);
        p.setPen(QPen(kChannelColours[k], 1, Qt::SolidLine, Qt::FlatCap, Qt::BevelJoin));
        DrawSeries(p, f, samples, runEnds, [&](const NightSample& s, double& y) {
            if (!HasReading(s.mag[k])) return false;
            y = f.YMag(s.mag[k]);
            return true;
        });
    }
    p.restore();

    // Frame, ticks and their labels.
    p.setPen(QPen(kAxis, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(f.plot);
    const double tick = pad / 2;
    for (const auto& [y, m] : magTicks) {
        p.drawLine(QPointF(f.plot.left() - tick, y), QPointF(f.plot.left(), y));
        const QString text = QString::number(m, 'f', magStep < 1 ? 1 : 0);
        p.drawText(QRectF(0, y - fm.height() / 2, f.plot.left() - tick - 2, fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, text);
    }
    const double altStep = NiceStep(180, f.plot.height(), fm.height() * 1.8, {30, 45, 90});
    for (double a = -90; a <= 90; a += altStep) {
        const double y = f.YAlt(a);
        p.drawLine(QPointF(f.plot.right(), y), QPointF(f.plot.right() + tick, y));
        p.drawText(QRectF(f.plot.right() + tick + 2, y - fm.height() / 2,
                          fm.horizontalAdvance("-90") + pad, fm.height()),
                   Qt::AlignLeft | Qt::AlignVCenter, QString::number(a, 'f', 0));
    }
    for (const auto& [x, h] : hourTicks) {
        p.drawLine(QPointF(x, f.plot.bottom()), QPointF(x, f.plot.bottom() + tick));
        p.drawText(
            QRectF(x - fm.height() * 2, f.plot.bottom() + tick, fm.height() * 4, fm.height()),
            Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("%1").arg(h, 2, 10, QChar('0')));
    }
    // Rotated axis titles.
    p.save();
    p.translate(pad, f.plot.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-f.plot.height() / 2, 0, f.plot.height(), fm.height()), Qt::AlignCenter,
               leftTitle);
    p.restore();
    p.save();
    p.translate(size.width() - pad, f.plot.center().y());
    p.rotate(90);
    p.drawText(QRectF(-f.plot.height() / 2, 0, f.plot.height(), fm.height()), Qt::AlignCenter,
               rightTitle);
    p.restore();

    // Legend rows, centred.
    p.setRenderHint(QPainter::Antialiasing);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        double x = (size.width() - rowWidths[r]) / 2;
        const double y = legendTop + static_cast<double>(r) * fm.height();
        for (std::size_t i : rows[r]) {
            const LegendEntry& e = legend[i];
            const double cy = y + fm.height() / 2;
            if (e.filled) {
                p.setPen(QPen(QColor(0, 0, 0, 60), 1));
                p.setBrush(e.brush);
                p.drawRect(QRectF(x, cy - fm.height() * 0.3, swatch, fm.height() * 0.6));
            } else {
                p.setPen(e.pen);
                p.drawLine(QPointF(x, cy), QPointF(x + swatch, cy));
            }
            p.setPen(Qt::black);
            p.drawText(
                QRectF(x + swatch + gapText, y, entryWidths[i] - swatch - gapText, fm.height()),
                Qt::AlignLeft | Qt::AlignVCenter, e.text);
            x += entryWidths[i] + entryGap;
        }
    }
    return image;
}

bool SaveNightChart(const Night& night, const QString& path, QString& error) {
    QByteArray bytes;
    if (!EncodeChartPng(DrawNightChart(night), bytes, error)) {
        error = QStringLiteral("cannot encode the chart of %1: %2").arg(path, error);
        return false;
    }
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        error = QStringLiteral("cannot create the folder %1").arg(folder);
        return false;
    }
    return ReplaceFile(path, bytes, error);
}

}  // namespace noxa
