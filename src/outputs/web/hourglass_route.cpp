#include "outputs/web/hourglass_route.h"

#include <QLatin1String>

#include <cstring>

namespace noxa {

std::string HourglassChartFile(const QString& path) {
    const QString name = path.mid(qsizetype(std::strlen(kHourglassCharts)));
    if (!path.startsWith(QLatin1String(kHourglassCharts)) || name.size() != 8 ||
        !name.endsWith(QLatin1String(".png")))
        return {};
    for (qsizetype i = 0; i < 4; ++i)
        if (name[i] < u'0' || name[i] > u'9') return {};
    if (name.startsWith(QLatin1String("0000"))) return {};
    return "night/hourglass-" + name.toStdString();
}

}  // namespace noxa
