#pragma once

class QWidget;

namespace noxa {
class StationCharts;
}

// The five pages of the window, built with all their components and the hidden panels.
namespace noxa::window {

QWidget* BuildReadingsPage();
QWidget* BuildBrightnessPage(StationCharts& charts);
QWidget* BuildTemperaturePage(StationCharts& charts);
QWidget* BuildCalibrationPage();
QWidget* BuildSettingsPage();

}  // namespace noxa::window
