#include "app/window/chart_view.h"
#include "app/window/components.h"
#include "app/window/pages.h"
#include "charts/station_charts.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <string_view>

namespace noxa::window {
namespace {

struct ChartButton {
    const char* name;
    const char* caption;
    const char* hint;
};

// The zoom, the show / hide switch of each series and the image export, in a row under the
// chart.
const ChartButton kButtons[] = {
    {"Baumentar", "Z", "Zoom."},      {"BverV1", "V1", "Show / Hide"},
    {"BverV2", "V2", "Show / Hide"},  {"BverR", "R", "Show / Hide"},
    {"BverG", "G", "Show / Hide"},    {"BverB", "B", "Show / Hide"},
    {"Button1", "NE", "Show / Hide"}, {"BSavegraf", "Save", "Save present graphics"},
};

}  // namespace

QWidget* BuildBrightnessPage(StationCharts& charts) {
    auto* page = new QWidget;
    page->setObjectName("TGrafico");
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(4, 4, 4, 4);
    column->addWidget(new ChartView(charts.Scene1(), charts.Chart1()), 1);

    auto* buttons = new QHBoxLayout;
    for (const ChartButton& button : kButtons) {
        QPushButton* widget = Button(button.name, button.caption, button.hint);
        // Short captions make narrow buttons, so the row leaves the chart its width.
        widget->setFixedWidth(
            std::max(48, widget->fontMetrics().horizontalAdvance(widget->text()) + 24));
        // The export stands apart from the buttons that change the view.
        if (std::string_view(button.name) == "BSavegraf") buttons->addStretch();
        buttons->addWidget(widget);
    }
    column->addLayout(buttons);
    return page;
}

}  // namespace noxa::window
