#pragma once

class QObject;

namespace noxa {

class FormModel;
struct ChartSettings;

// Keeps `settings` those of the settings page: the chart interval typed into ETiempo, now and
// at every change, whether the user, the configuration or the chart timer made it. The
// connection lives as long as `context`.
void FollowChartEdits(const FormModel& form, ChartSettings& settings, QObject& context);

}  // namespace noxa
