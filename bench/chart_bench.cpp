// The cost of one chart point as the chart timer makes it: the slide and means, both charts
// redrawn with 9 × 1440 points and exported as JPEG images, and the day-buffer save.
#include "app/station.h"
#include "core/form_model.h"
#include "core/live_sums.h"
#include "recording/chart_points.h"
#include "recording/day_buffer_file.h"
#include "time/date_time.h"
#include "time/station_clock.h"

#include <QDir>
#include <QFile>
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

// Where the `i`th minute stands on a four-hour wave, 0 to 1.
float Wave(int i) {
    return static_cast<float>(i % 240) / 240.0f;
}

// One interval's sums on the wave.
noxa::ChartSums Sums(int i) {
    const float wave = Wave(i);
    noxa::ChartSums s;
    s.count = 1;
    s.mag = {20.5f + wave, 20.2f + wave, 20.0f + wave, 21.0f + wave, 21.5f + wave};
    s.sensorTemperature = 10 - 2 * wave;
    s.skyTemperature = -15 - 5 * wave;
    return s;
}

// A report of the instrument on the same wave.
std::string Report(int i) {
    const float wave = Wave(i);
    const auto number = [](float value) { return std::to_string(value); };
    return R"({"name":"qelvoxxx","F1":{"freq":1234.5,"mag":)" + number(20.5f + wave) +
           R"(,"zp":20.37},"F2":{"freq":2000.0,"mag":)" + number(20.2f + wave) +
           R"(,"zp":20.00},"F3":{"freq":600.0,"mag":)" + number(20.0f + wave) +
           R"(,"zp":19.60},"F4":{"freq":400.0,"mag":)" + number(21.5f + wave) +
           R"(,"zp":19.40,"tamb":)" + number(10 - 2 * wave) + R"(,"tsky":)" +
           number(-15 - 5 * wave) + "}}";
}

// A full day of history a minute apart, so that every series draws a real curve; the clock
// ends at its last point.
noxa::DayTables FullDay(noxa::ManualClock& clock) {
    noxa::DayTables days;
    days.InitSlotTimes(noxa::ToDayNumber(clock.Now()));
    for (int i = 0; i < 1440; ++i) {
        clock.Advance(60000);
        noxa::AddChartPoint(days, Sums(i), clock);
    }
    return days;
}

noxa::StationOptions Options(const QString& workDir) {
    noxa::StationOptions options;
    options.udpPort = 0;
    options.workDir = workDir.toStdString() + "/";
    return options;
}

// A station started on a full day of saved history.
struct ChartStation {
    QTemporaryDir dir;
    QString previous = QDir::currentPath();
    noxa::ManualClock clock{QDateTime(QDate(2026, 12, 7), QTime(20, 0))};
    noxa::DayTables history = FullDay(clock);
    noxa::FormModel form;
    noxa::DayBufferFile historyFile{form, history, noxa::WorkDir(dir.path().toStdString())};
    std::unique_ptr<noxa::Station> station;
    std::string error;

    ChartStation() {
        QDir::setCurrent(dir.path());
        historyFile.SaveDayBuffers();
        station = std::make_unique<noxa::Station>(
            clock, noxa::StationLocale::Fixed("%d/%m/%Y", "%H:%M:%S", "."), Options(dir.path()));
        station->SetErrorHandler([this](const std::string& message) { error = message; });
        station->Form().SetText(noxa::FormText::EPuertoEth, "0");  // no listener
        station->Start();
    }
    ~ChartStation() { QDir::setCurrent(previous); }

    // One interval's report, one minute later.
    void Receive(int i) {
        const std::string report = Report(i);
        station->ReceiveDatagram(QByteArrayView(report));
        clock.Advance(60000);
    }
};

void BM_ChartPoint(benchmark::State& state) {
    ChartStation bench;
    int i = 0;
    for (auto _ : state) {
        bench.Receive(i++);
        bench.station->ChartTick();
        if (!bench.error.empty()) state.SkipWithError(bench.error.c_str());
    }
}
BENCHMARK(BM_ChartPoint)->Unit(benchmark::kMillisecond);

void BM_SaveDayBuffers(benchmark::State& state) {
    ChartStation bench;
    for (auto _ : state) {
        if (!bench.historyFile.SaveDayBuffers()) state.SkipWithError("save failed");
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
            bench.Receive(i);
            bench.station->MakeChartPoint();
        }
    }
    state.counters["rss_start_KiB"] = static_cast<double>(startKiB);
    state.counters["rss_end_KiB"] = static_cast<double>(StatusKiB("VmRSS:"));
    state.counters["peak_KiB"] = static_cast<double>(StatusKiB("VmHWM:"));
}
BENCHMARK(BM_TenThousandChartPoints)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
