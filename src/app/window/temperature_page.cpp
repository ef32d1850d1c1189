#include "app/window/chart_view.h"
#include "app/window/pages.h"
#include "charts/station_charts.h"

#include <QVBoxLayout>

namespace noxa::window {

QWidget* BuildTemperaturePage(StationCharts& charts) {
    auto* page = new QWidget;
    page->setObjectName("TabSheet1");
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(4, 4, 4, 4);
    column->addWidget(new ChartView(charts.Scene2(), charts.Chart2()));
    return page;
}

}  // namespace noxa::window
