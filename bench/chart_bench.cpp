// The cost of one chart point as the chart timer makes it: the slide and means, both charts
// redrawn with 9 × 1440 points and exported as JPEG images, and the day-buffer save.
#include "app/station.h"
#include "recording/chart_points.h"
#include "time/date_time.h"
#include "time/station_clock.h"

#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <string>

namespace {

// Resident and peak resident memory of this process, in KiB.
long StatusKiB(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0) return std::stol(line.substr(std::string(key).size()));
    }
    return -1;
}

noxa::StationOptions Options(const QString& workDir) {
    noxa::StationOptions options;
    options.udpPort = 0;
    options.workDir = workDir.toStdString() + "/";
    return options;
}

struct ChartStation {
    QTemporaryDir dir;
    QString previous = QDir::currentPath();
    noxa::ManualClock clock{QDateTime(QDate(2026, 12, 7), QTime(20, 0))};
    std::unique_ptr<noxa::Station> station;

    ChartStation() {
        QDir::setCurrent(dir.path());
        station = std::make_unique<noxa::Station>(
            clock, noxa::StationLocale::Fixed("%d/%m/%Y", "%H:%M:%S", "."), Options(dir.path()));
        station->Days().InitSlotTimes(noxa::ToDayNumber(clock.Now()));
        // A full day of history, so that every series draws a real curve.
        for (int i = 0; i < 1440; ++i) AddPoint(i);
    }
    ~ChartStation() { QDir::setCurrent(previous); }

    void AddPoint(int i) {
        FillSums(i);
        noxa::AddChartPoint(station->Days(), station->Readings().chart, clock);
    }

    // One interval's sums, one minute later.
    void FillSums(int i) {
        noxa::ChartSums& s = station->Readings().chart;
        const float wave = static_cast<float>(i % 240) / 240.0f;
        s.count = s.countTSens = s.countTIR = 1;
        s.sumMv740 = 20.5f + wave;
        s.sumMv640 = 20.2f + wave;
        s.sumMvR = 20.0f + wave;
        s.sumMvG = 21.0f + wave;
        s.sumMvB = 21.5f + wave;
        s.sumTSens = 10 - 2 * wave;
        s.sumTIR = -15 - 5 * wave;
        clock.Advance(60000);
    }
};

void BM_ChartPoint(benchmark::State& state) {
    ChartStation bench;
    int i = 0;
    for (auto _ : state) {
        bench.FillSums(i++);
        const std::string error = bench.station->MakeChartPoint();
        if (!error.empty()) state.SkipWithError(error.c_str());
        bench.station->DayBuffers().SaveDayBuffers();
    }
}
BENCHMARK(BM_ChartPoint)->Unit(benchmark::kMillisecond);

void BM_SaveDayBuffers(benchmark::State& state) {
    ChartStation bench;
    for (auto _ : state) {
        if (!bench.station->DayBuffers().SaveDayBuffers()) state.SkipWithError("save failed");
    }
    state.SetBytesProcessed(state.iterations() * 103680);
}
BENCHMARK(BM_SaveDayBuffers)->Unit(benchmark::kMicrosecond);

// Memory over 10,000 whole chart points: resident memory at the end against the start.
void BM_TenThousandChartPoints(benchmark::State& state) {
    ChartStation bench;
    for (int i = 0; i < 100; ++i) bench.station->MakeChartPoint();  // settle caches and fonts
    const long startKiB = StatusKiB("VmRSS:");
    for (auto _ : state) {
        for (int i = 0; i < 10000; ++i) {
            bench.FillSums(i);
            bench.station->MakeChartPoint();
        }
    }
    state.counters["rss_start_KiB"] = static_cast<double>(startKiB);
    state.counters["rss_end_KiB"] = static_cast<double>(StatusKiB("VmRSS:"));
    state.counters["peak_KiB"] = static_cast<double>(StatusKiB("VmHWM:"));
}
BENCHMARK(BM_TenThousandChartPoints)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
