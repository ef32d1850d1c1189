#include "night/night_chart_legend.h"

#include "night/night_sample.h"

#include <algorithm>

namespace noxa {
namespace {

QString MarkText(ChartMark mark, const QString& moonText) {
    switch (mark) {
        case ChartMark::Sun:
            return QStringLiteral("Sun");
        case ChartMark::Moon:
            return moonText;
        case ChartMark::Cloud:
            return QStringLiteral("cloud cover");
        case ChartMark::Night:
            return QStringLiteral("astronomical night");
        case ChartMark::Twilight:
            return QStringLiteral("twilight");
        default:
            return QString::fromLatin1(kNightChannelNames[static_cast<std::size_t>(mark)]);
    }
}

}  // namespace

std::vector<LegendEntry> LegendEntries(std::vector<ChartMark> drawn, const QString& moonText) {
    std::sort(drawn.begin(), drawn.end());
    drawn.erase(std::unique(drawn.begin(), drawn.end()), drawn.end());
    std::vector<LegendEntry> legend;
    for (ChartMark mark : drawn) {
        LegendEntry entry;
        entry.text = MarkText(mark, moonText);
        entry.mark = mark;
        entry.filled = IsArea(mark);
        legend.push_back(entry);
    }
    return legend;
}

std::size_t PlaceLegend(std::vector<LegendEntry>& legend, double top, double width,
                        const TextMeasure& text) {
    // A swatch long enough for the longest dash pattern to show whole.
    const double h = text.lineHeight, swatch = h * 2.4, swatchToText = h * 0.35;
    const double betweenEntries = h * 1.2, widest = width - 2 * h * 0.6;
    std::vector<double> entryWidths;
    std::vector<std::vector<std::size_t>> rows(1);
    std::vector<double> rowWidths(1, 0);
    for (std::size_t i = 0; i < legend.size(); ++i) {
        const double w = swatch + swatchToText + text.width(legend[i].text);
        entryWidths.push_back(w);
        if (!rows.back().empty() && rowWidths.back() + betweenEntries + w > widest) {
            rows.emplace_back();
            rowWidths.push_back(0);
        }
        rowWidths.back() += (rows.back().empty() ? 0 : betweenEntries) + w;
        rows.back().push_back(i);
    }
    for (std::size_t r = 0; r < rows.size(); ++r) {
        double x = (width - rowWidths[r]) / 2;
        const double y = top + static_cast<double>(r) * h;
        const double cy = y + h / 2;
        for (std::size_t i : rows[r]) {
            LegendEntry& e = legend[i];
            e.line = QLineF(QPointF(x, cy), QPointF(x + swatch, cy));
            e.box = QRectF(x, cy - h * 0.3, swatch, h * 0.6);
            e.textRect =
                QRectF(x + swatch + swatchToText, y, entryWidths[i] - swatch - swatchToText, h);
            x += entryWidths[i] + betweenEntries;
        }
    }
    return rows.size();
}

}  // namespace noxa
