// Instrument reports as the station takes them from a datagram: any bytes, any station name,
// cut at the first zero byte, through the name filter into the decoder, the sums and the
// labels.
#include "core/broadcast_decoder.h"
#include "core/day_tables.h"
#include "core/form_model.h"
#include "core/live_sums.h"
#include "core/readings_presenter.h"
#include "core/report_filter.h"
#include "core/station_locale.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace {

struct Receiver {
    noxa::FormModel form;
    noxa::LiveSums readings;
    noxa::DayTables days;
    noxa::StationLocale locale = noxa::StationLocale::Fixed("%d/%m/%Y", "%H:%M:%S", ",");
    noxa::ReadingsPresenter presenter{form, days, locale};

    void Take(std::string_view report) {
        const noxa::DecodedReport decoded = noxa::DecodeBroadcast(report);
        readings.AddReport(decoded, 0);
        presenter.Present(decoded);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Receiver* receiver = new Receiver;
    if (size < 4) return 0;
    // The first bytes choose the station name's length and the log copy.
    const std::size_t nameLength = data[0] % 12;
    const bool copyToLog = data[1] & 1;
    data += 4;
    size -= 4;
    const std::size_t n = nameLength < size ? nameLength : size;
    receiver->form.SetText(noxa::FormText::Esitio,
                           std::string(reinterpret_cast<const char*>(data), n));
    // A name that is in the datagram lets it through; keep the newest slot's means as odd as
    // the input makes them.
    if (size >= n + 12) std::memcpy(&receiver->days.Newest().meanTSens, data + n, 12);
    const std::string_view report =
        noxa::UpToFirstZero(std::string_view(reinterpret_cast<const char*>(data), size));
    if (copyToLog) receiver->form.AppendLog(noxa::LogLevel::Info, report);
    if (noxa::NamesStation(report, receiver->form.Text(noxa::FormText::Esitio))) {
        receiver->Take(report);
    }
    if (receiver->form.LogLines().size() > 100) receiver->form.ClearLog();
    return 0;
}
