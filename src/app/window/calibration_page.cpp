#include "app/window/components.h"
#include "app/window/pages.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

namespace noxa::window {
namespace {

// The magnetometer's extremes per axis: one row per axis, maximum and minimum side by side.
QFrame* MagnetometerPanel() {
    QFrame* panel = Panel("Panel11");
    auto* grid = new QGridLayout(panel);
    grid->addWidget(PanelTitle("Ajustes Magnetometro"), 0, 0, 1, 3);
    grid->addWidget(ValueLabel("LmaxMag"), 1, 1);
    grid->addWidget(ValueLabel("LminMag"), 1, 2);
    const char* const axes[] = {"X:", "Y:", "Z:"};
    const char* const maxima[] = {"EmaxX", "EmaxY", "EmaxZ"};
    const char* const minima[] = {"EminX", "EminY", "EminZ"};
    for (int axis = 0; axis < 3; ++axis) {
        grid->addWidget(Heading(axes[axis]), axis + 2, 0);
        grid->addWidget(Edit(maxima[axis], 6), axis + 2, 1);
        grid->addWidget(Edit(minima[axis], 6), axis + 2, 2);
    }
    return panel;
}

// Offset and gain of each channel's frequency.
QFrame* FrequencyPanel() {
    QFrame* panel = Panel("Panel14");
    auto* grid = new QGridLayout(panel);
    grid->addWidget(PanelTitle("Ajustes Frecuencia"), 0, 0, 1, 3);
    grid->addWidget(Heading("Offset"), 1, 1);
    grid->addWidget(Heading("Gain"), 1, 2);
    const char* const channels[] = {"V:", "R:", "G:", "B:"};
    const char* const offsets[] = {"EOfsetMag", "EOfsetMagR", "EOfsetMagG", "EOfsetMagB"};
    const char* const gains[] = {"EGainMag", "EGainMagR", "EGainMagG", "EGainMagB"};
    for (int channel = 0; channel < 4; ++channel) {
        grid->addWidget(Heading(channels[channel]), channel + 2, 0);
        grid->addWidget(Edit(offsets[channel], 6), channel + 2, 1);
        grid->addWidget(Edit(gains[channel], 6), channel + 2, 2);
    }
    return panel;
}

}  // namespace

// Both panels of this page are kept hidden, so the page shows empty.
QWidget* BuildCalibrationPage() {
    auto* page = new QWidget;
    page->setObjectName("TabSheet2");
    auto* row = new QHBoxLayout(page);
    for (QFrame* panel : {MagnetometerPanel(), FrequencyPanel()}) {
        row->addWidget(panel, 0, Qt::AlignTop);
        panel->hide();
    }
    row->addStretch();
    return page;
}

}  // namespace noxa::window
