// Night files and data files of any content: read, split into nights, summed up, and the
// first night drawn, as noxa-night and the station do with files they are given.
#include "night/night_chart.h"
#include "night/night_files.h"
#include "night/night_summary.h"

#include <QGuiApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

QGuiApplication* application = nullptr;

void SumUp(noxa::NightFileRecords records) {
    const auto nights = noxa::SplitIntoNights(std::move(records.samples), records.zone);
    for (const noxa::Night& night : nights) noxa::SummaryCsvLine(noxa::SummarizeNight(night, 30));
    if (!nights.empty()) noxa::DrawNightChart(nights.front(), QSize(240, 160));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    application = new QGuiApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    SumUp(noxa::ReadNightText(bytes));
    SumUp(noxa::ReadDataText(bytes, "%d/%m/%Y", "%H:%M:%S", QTimeZone("Europe/Berlin")));
    return 0;
}
