// The chart of one night: drawn alone, and drawn and saved as a PNG file, each time by the same
// painter. The night has 1440 one-minute samples, noon to noon, with the Sun, a rising Moon and
// passing clouds.
#include "night/night_chart.h"

#include <QDateTime>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

noxa::Night SyntheticNight() {
    noxa::Night night;
    night.date = QDate(2026, 3, 10);
    night.zone = QTimeZone("Europe/Berlin");
    const noxa::UtcMilliseconds noon =
        QDateTime(night.date, QTime(12, 0), night.zone).toMSecsSinceEpoch();
    const double pi = 3.14159265358979323846;
    for (int i = 0; i < 1440; ++i) {
        noxa::NightSample s;
        const double phase = 2 * pi * i / 1440.0;
        s.time = noon + i * 60000LL;
        s.sunAltitude = static_cast<float>(-5 + 45 * std::cos(phase));
        s.moonAltitude = static_cast<float>(50 * std::sin(phase - 2.5));
        s.moonIllumination = 0.6f;
        s.cloudCover = static_cast<float>(std::max(0.0, 80 * std::sin(phase * 3)));
        const float sky = 21.3f - std::max(0.0f, s.sunAltitude + 18) * 0.6f -
                          std::max(0.0f, s.moonAltitude) / 30 - s.cloudCover / 60 +
                          0.05f * static_cast<float>(std::sin(i * 0.7));
        for (std::size_t c = 0; c < std::size_t(noxa::kStationChannels); ++c)
            s.mag[c] = sky + 0.25f * c;
        night.samples.push_back(s);
    }
    return night;
}

void BM_NightChartDraw(benchmark::State& state) {
    const noxa::Night night = SyntheticNight();
    noxa::NightChartPainter painter;  // as noxa-night's threads, one painter for every chart
    for (auto _ : state) benchmark::DoNotOptimize(painter.Draw(night));
}
BENCHMARK(BM_NightChartDraw)->Unit(benchmark::kMillisecond);

void BM_NightChartSave(benchmark::State& state) {
    const noxa::Night night = SyntheticNight();
    QTemporaryDir dir;
    const QString path = dir.path() + "/night.png";
    QString error;
    noxa::NightChartPainter painter;
    for (auto _ : state) {
        if (!painter.Save(night, path, error)) {
            state.SkipWithError(error.toStdString().c_str());
            break;
        }
    }
    state.counters["png_bytes"] = static_cast<double>(QFileInfo(path).size());
}
BENCHMARK(BM_NightChartSave)->Unit(benchmark::kMillisecond);

}  // namespace
