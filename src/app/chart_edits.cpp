#include "app/chart_edits.h"

#include "core/chart_settings.h"
#include "core/form_model.h"

#include <QObject>

namespace noxa {

void FollowChartEdits(const FormModel& form, ChartSettings& settings, QObject& context) {
    const auto interval = [&form, &settings] {
        settings = ChartSettingsFromText(form.Text(FormText::ETiempo));
    };
    interval();
    form.WatchText(FormText::ETiempo, context, interval);
}

}  // namespace noxa
