// The cost of one report through the whole station, as a flood pays it: the datagram handler,
// the decoder, the Sun and the Moon, the feed and what every output keeps of it (the latest
// readings and the safety verdict). The station handles datagrams one at a time on its thread,
// so this cost bounds the reports a second it takes.
#include "app/station.h"
#include "app/station_outputs.h"
#include "app/station_settings.h"
#include "core/station_locale.h"
#include "time/station_clock.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <array>
#include <string>

namespace {

constexpr std::array<const char*, 2> kReports = {
    R"({"name":"qelvoxxx","fw":"V4I-2.3","seq":0,"per":1.000,)"
    R"("F1":{"freq":0.525,"mag":21.20,"zp":20.50},"F2":{"freq":0.912,"mag":20.90,"zp":20.80},)"
    R"("F3":{"freq":0.331,"mag":20.80,"zp":19.60},)"
    R"("F4":{"freq":0.145,"mag":21.50,"zp":19.40,"tamb":10.02,"tsky":-12.47}})",
    R"({"name":"qelvoxxx","fw":"V4I-2.3","seq":1,"per":1.000,)"
    R"("F1":{"freq":0.521,"mag":21.21,"zp":20.50},"F2":{"freq":0.918,"mag":20.89,"zp":20.80},)"
    R"("F3":{"freq":0.328,"mag":20.81,"zp":19.60},)"
    R"("F4":{"freq":0.146,"mag":21.49,"zp":19.40,"tamb":10.03,"tsky":-12.51}})",
};

void BM_StationReport(benchmark::State& state) {
    QTemporaryDir dir;
    noxa::SystemClock clock;
    noxa::StationOptions options;
    options.udpPort = 0;
    options.workDir = QFile::encodeName(dir.path()).toStdString() + "/";
    noxa::Station station(clock, noxa::StationLocale::Fixed("%d/%m/%Y", "%H:%M:%S", "."), options);
    const QCommandLineParser noOptions;
    noxa::StationOutputs outputs(station, clock,
                                 noxa::ReadSettings(noxa::WorkDir(options.workDir), noOptions),
                                 QTimeZone::systemTimeZone());
    outputs.Start();
    std::size_t i = 0;
    for (auto _ : state) {
        station.ReceiveDatagram(QByteArrayView(kReports[i++ & 1]));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StationReport);

}  // namespace
