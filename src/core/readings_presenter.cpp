#include "core/readings_presenter.h"

#include "core/broadcast_decoder.h"
#include "core/day_tables.h"
#include "core/form_model.h"
#include "core/number_display.h"
#include "core/sky_quality.h"

#include <bit>

namespace noxa {

ReadingsPresenter::ReadingsPresenter(FormModel& form, const DayTables& days,
                                     const StationLocale& locale)
    : form_(form), days_(days), locale_(locale) {}

const ShownEstimates& ReadingsPresenter::Estimates(const DaySlot& newest) {
    const std::array<std::uint32_t, 3> means{std::bit_cast<std::uint32_t>(newest.meanMv740),
                                             std::bit_cast<std::uint32_t>(newest.meanTSens),
                                             std::bit_cast<std::uint32_t>(newest.meanTIR)};
    if (!estimated_ || means != estimatedFrom_) {
        estimates_.nelm = NelmFromMag(newest.meanMv740);
        estimates_.cloudIndex = CloudIndex(newest.meanTSens, newest.meanTIR);
        estimates_.nelmText = FormatRounded(estimates_.nelm, 1, locale_);
        estimates_.cloudIndexText = FormatRounded(estimates_.cloudIndex, 0, locale_);
        estimatedFrom_ = means;
        estimated_ = true;
    }
    return estimates_;
}

const ShownEstimates& ReadingsPresenter::Present(const DecodedReport& report) {
    const Observation& o = report.observation;
    const ReceivedTexts& received = report.received;
    const ShownEstimates& estimates = Estimates(days_.Newest());

    // Channel 1's frequency and the derived green are shown formatted; the instrument's other
    // values as received.
    form_.SetText(FormText::Lmv, received[ChannelId::C740].mag);
    form_.SetText(FormText::Lnelm, estimates.nelmText);
    form_.SetText(FormText::LHz, FormatRounded(o[ChannelId::C740].freq, 3, locale_));
    form_.SetText(FormText::Lmv2, received[ChannelId::C640].mag);
    form_.SetText(FormText::LHz2, received[ChannelId::C640].freq);
    form_.SetText(FormText::LmvR, received[ChannelId::Red].mag);
    form_.SetText(FormText::LHzR, received[ChannelId::Red].freq);
    form_.SetText(FormText::LmvB, received[ChannelId::Blue].mag);
    form_.SetText(FormText::LHzB, received[ChannelId::Blue].freq);
    form_.SetText(FormText::LmvG, FormatRounded(o[ChannelId::Green].mag, 2, locale_));
    form_.SetText(FormText::LHzG, FormatRounded(o[ChannelId::Green].freq, 3, locale_));
    form_.SetText(FormText::Ltir, received.skyTemperature);
    form_.SetText(FormText::Ltsensor, received.sensorTemperature);
    // The label shows the cloud index unclamped; only the chart replaces values above 100.
    form_.SetText(FormText::LClouds, estimates.cloudIndexText);

    if (!o.counted && !nonFiniteSaid_) {
        form_.AppendLog(LogLevel::Warning,
                        "Report with values that are not numbers left out of the averages");
        nonFiniteSaid_ = true;
    }
    form_.SetRxColour(kIndicatorGray);
    return estimates;
}

}  // namespace noxa
