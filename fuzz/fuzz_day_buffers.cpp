// Day-buffer files of any content: loaded, then used as the station uses the history: the
// estimates shown with each report and the data file's temperatures from the newest slot, a chart
// point on top, and both charts redrawn from every slot.
#include "charts/chart_drawing.h"
#include "charts/station_charts.h"
#include "core/c_numbers.h"
#include "core/day_tables.h"
#include "core/live_sums.h"
#include "core/number_display.h"
#include "core/sky_quality.h"
#include "core/station_locale.h"
#include "recording/chart_points.h"
#include "recording/day_buffer_file.h"
#include "time/station_clock.h"

#include <QApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace {

QApplication* application = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    application = new QApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static noxa::StationCharts* charts = new noxa::StationCharts;
    static noxa::ManualClock clock(QDateTime(QDate(2026, 12, 7), QTime(21, 30)));
    static const noxa::StationLocale locale =
        noxa::StationLocale::Fixed("%d/%m/%Y", "%H:%M:%S", ".");

    // Short inputs are stretched to a whole file by repeating them, so the fuzzer can steer
    // every slot without writing 103,680 bytes.
    if (size == 0) return 0;
    std::string image(noxa::kDayBufferFileSize, '\0');
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(data[i % size]);
    auto days = std::make_unique<noxa::DayTables>();
    if (!noxa::DayBufferFile::ReadImage(image, *days)) return 0;

    const noxa::DaySlot& newest = days->Newest();
    noxa::FormatRounded(noxa::NelmFromMag(newest.meanMv740), 1, locale);
    noxa::FormatRounded(noxa::CloudIndex(newest.meanTSens, newest.meanTIR), 0, locale);
    noxa::CFormat("%04.1f\t", newest.meanTSens);

    noxa::AddChartPoint(*days, noxa::ChartSums{}, clock);
    noxa::RedrawCharts(*charts, *days, locale);
    return 0;
}
