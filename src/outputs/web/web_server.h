#pragma once

#include "core/work_dir.h"
#include "outputs/common/station_view.h"
#include "outputs/web/inline_page.h"
#include "outputs/web/route_server.h"

namespace noxa {

struct DayTables;

// The station's web server: the dashboard ("/"), the newest readings ("/api/readings"), the
// chart history ("/api/history"), the chart images ("/mag.jpg", "/temp.jpg"), the metrics
// ("/metrics"), and the past nights: their page ("/nights"), their summaries ("/api/nights")
// and their charts ("/night/yyyy-MM-dd.png"), and the years: their page ("/years"), the months
// ("/api/monthly") and the years' charts ("/hourglass/yyyy.png"). Nothing else: no path is ever
// looked up on disk.
// Every answer is made from memory on the station's thread (the thread the server is made on),
// apart from the small files read from the working folder where the station writes them: the two
// images, "night/summary.csv", "night/monthly.csv" and the nights' and years' charts.
class WebServer : public RouteServer {
    Q_OBJECT

public:
    WebServer(StationView station, const DayTables& days, WorkDir dir, WebLimits limits = {},
              QObject* parent = nullptr);

private:
    void AddOwnRoutes();

    const StationView station_;
    const DayTables& days_;
    const WorkDir dir_;
    // The dashboard, its style and script inlined, and the security policy that admits them.
    InlinePage page_;
    // The page of past nights, made the same way.
    InlinePage nightsPage_;
    // The page of years, made the same way.
    InlinePage yearsPage_;
};

}  // namespace noxa
