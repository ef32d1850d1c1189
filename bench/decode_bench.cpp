// The cost of one instrument report on its way into the window: the station-name filter the
// station applies to every datagram, the decoder with the sums and label updates, and for scale a
// JSON DOM parse of the same bytes with RapidJSON.
#include "core/broadcast_decoder.h"
#include "core/day_tables.h"
#include "core/form_model.h"
#include "core/live_sums.h"
#include "core/readings_presenter.h"
#include "core/report_filter.h"
#include "core/station_locale.h"

#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace {

// Two reports of consecutive seconds, as the instrument sends them to the default station
// "qelvoxxx". Every value differs between the two, so alternating them makes each decode
// rewrite its labels: the form model skips a label whose text has not changed, which a
// single repeated report would turn into a no-op.
constexpr std::array<std::string_view, 2> kOwnReports = {
    R"({"name":"qelvoxxx","fw":"V4I-2.3","seq":0,"per":1.000,)"
    R"("F1":{"freq":0.525,"mag":21.20,"zp":20.50},)"
    R"("F2":{"freq":0.912,"mag":20.90,"zp":20.80},)"
    R"("F3":{"freq":0.331,"mag":20.80,"zp":19.60},)"
    R"("F4":{"freq":0.145,"mag":21.50,"zp":19.40,"tamb":10.02,"tsky":-12.47}})",
    R"({"name":"qelvoxxx","fw":"V4I-2.3","seq":1,"per":1.000,)"
    R"("F1":{"freq":0.521,"mag":21.21,"zp":20.50},)"
    R"("F2":{"freq":0.918,"mag":20.89,"zp":20.80},)"
    R"("F3":{"freq":0.328,"mag":20.81,"zp":19.60},)"
    R"("F4":{"freq":0.146,"mag":21.49,"zp":19.40,"tamb":10.03,"tsky":-12.51}})",
};

constexpr std::string_view kStationName = "qelvoxxx";

static_assert(kOwnReports[0].find(kStationName) != std::string_view::npos &&
                  kOwnReports[1].find(kStationName) != std::string_view::npos,
              "the station's own reports carry its name");
// The same reports from an instrument that belongs to another station: only the name differs.
std::array<std::string, 2> OtherStationReports() {
    std::array<std::string, 2> reports;
    for (std::size_t i = 0; i < reports.size(); ++i) {
        reports[i] = std::string(kOwnReports[i]);
        reports[i].replace(reports[i].find(kStationName), kStationName.size(), "otherstn");
    }
    return reports;
}

// A report's way through the station, minus the data file: decoded, added to the sums and
// shown.
struct DecodingStation {
    noxa::FormModel form;
    noxa::LiveSums readings;
    std::unique_ptr<noxa::DayTables> days = std::make_unique<noxa::DayTables>();
    noxa::StationLocale locale = noxa::StationLocale::Fixed("%d/%m/%Y", "%H:%M:%S", ".");
    noxa::ReadingsPresenter presenter{form, *days, locale};

    void Take(std::string_view report) {
        const noxa::DecodedReport decoded = noxa::DecodeBroadcast(report);
        readings.AddReport(decoded, 0);
        presenter.Present(decoded);
    }
};

bool DecodedMagnitude(const noxa::FormModel& form) {
    const std::string& mag = form.Text(noxa::FormText::Lmv);
    return mag == "21.20" || mag == "21.21";
}

void BM_DecodeBroadcast(benchmark::State& state) {
    DecodingStation station;
    std::int64_t bytes = 0;
    std::size_t next = 0;
    for (auto _ : state) {
        const std::string_view report = kOwnReports[next];
        next ^= 1;
        station.Take(report);
        bytes += static_cast<std::int64_t>(report.size());
    }
    benchmark::DoNotOptimize(station.readings);
    if (!DecodedMagnitude(station.form)) state.SkipWithError("the report was not decoded");
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_DecodeBroadcast);

// The same report every time: after the first decode every label already shows its text, so
// this is the decode without the label writes.
void BM_DecodeBroadcastUnchangedLabels(benchmark::State& state) {
    DecodingStation station;
    const std::string_view report = kOwnReports[0];
    for (auto _ : state) station.Take(report);
    benchmark::DoNotOptimize(station.readings);
    if (!DecodedMagnitude(station.form)) state.SkipWithError("the report was not decoded");
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(report.size()));
}
BENCHMARK(BM_DecodeBroadcastUnchangedLabels);

// What the station does with a datagram before the decoder: cut at its first zero byte, and
// kept only when it names the station.
std::string_view OwnReport(const noxa::FormModel& form, std::string_view datagram) {
    const std::string_view report = noxa::UpToFirstZero(datagram);
    return noxa::NamesStation(report, form.Text(noxa::FormText::Esitio)) ? report
                                                                         : std::string_view();
}

void BM_FilterOtherStation(benchmark::State& state) {
    noxa::FormModel form;
    std::int64_t decoded = 0;
    const std::array<std::string, 2> otherReports = OtherStationReports();
    std::int64_t bytes = 0;
    std::size_t next = 0;
    for (auto _ : state) {
        const std::string_view report = otherReports[next];
        next ^= 1;
        if (!OwnReport(form, report).empty()) ++decoded;
        bytes += static_cast<std::int64_t>(report.size());
    }
    if (decoded != 0) state.SkipWithError("another station's report got through the filter");
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_FilterOtherStation);

void BM_FilterAndDecode(benchmark::State& state) {
    DecodingStation station;
    std::int64_t decoded = 0;
    std::int64_t bytes = 0;
    std::size_t next = 0;
    for (auto _ : state) {
        const std::string_view datagram = kOwnReports[next];
        next ^= 1;
        const std::string_view report = OwnReport(station.form, datagram);
        if (!report.empty()) {
            station.Take(report);
            ++decoded;
        }
        bytes += static_cast<std::int64_t>(datagram.size());
    }
    if (decoded != state.iterations()) state.SkipWithError("a report was filtered out");
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_FilterAndDecode);

// A fresh document per report, as a reader of one report at a time would use it; reusing one
// would let its allocator grow with every parse.
void BM_RapidJsonDom(benchmark::State& state) {
    const std::array<std::string, 2> reports = {std::string(kOwnReports[0]),
                                                std::string(kOwnReports[1])};
    for (const std::string& report : reports) {
        rapidjson::Document check;
        check.Parse(report.data(), report.size());
        if (check.HasParseError() || !check.HasMember("F4")) {
            state.SkipWithError("the report is not valid JSON");
            return;
        }
    }
    std::int64_t bytes = 0;
    std::size_t next = 0;
    for (auto _ : state) {
        const std::string& report = reports[next];
        next ^= 1;
        rapidjson::Document document;
        document.Parse(report.data(), report.size());
        benchmark::DoNotOptimize(document);
        bytes += static_cast<std::int64_t>(report.size());
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_RapidJsonDom);

}  // namespace
