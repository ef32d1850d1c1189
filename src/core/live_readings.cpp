#include "core/live_readings.h"

#include "core/observation.h"

#include <cmath>

namespace noxa {
namespace {

void SetLatest(LiveReadings& r, const Observation& o) {
    r.frec740 = o.freq1;
    r.mv740 = o.magV;
    r.ci1 = o.zeroPoint1;
    r.frec640 = o.freq2;
    r.mv640 = o.magV2;
    r.ci2 = o.zeroPoint2;
    r.frecR = o.freq3;
    r.mvR = o.magR;
    r.ci3 = o.zeroPoint3;
    r.frecB = o.freq4;
    r.mvB = o.magB;
    r.ci4 = o.zeroPoint4;
    r.frecG = o.freqG;
    r.mvG = o.magG;
    r.tIR = o.skyTemperature;
    r.tSens = o.sensorTemperature;
}

void AddToSums(LiveReadings& r) {
    ChartSums& cs = r.chart;
    cs.count += 1;
    cs.sumMv740 += r.mv740;
    cs.sumMv640 += r.mv640;
    cs.sumMvR += r.mvR;
    cs.sumMvG += r.mvG;
    cs.sumMvB += r.mvB;
    cs.sumTIR += r.tIR;
    cs.countTIR += 1;
    cs.sumTSens += r.tSens;
    cs.countTSens += 1;

    RecordSums& rs = r.record;
    rs.count740 += 1;
    rs.countR += 1;
    rs.countG += 1;
    rs.countB += 1;
    rs.sumMv740 += r.mv740;
    rs.sumMv640 += r.mv640;
    rs.sumMvR += r.mvR;
    rs.sumMvG += r.mvG;
    rs.sumMvB += r.mvB;
    rs.sumFrec740 += r.frec740;
    rs.sumFrec640 += r.frec640;
    rs.sumFrecR += r.frecR;
    rs.sumFrecG += r.frecG;
    rs.sumFrecB += r.frecB;
}

}  // namespace

void AddReport(LiveReadings& readings, const Observation& report) {
    SetLatest(readings, report);
    if (report.counted) AddToSums(readings);
    readings.rxTicks = 0;
}

GreenChannel DeriveGreen(float frec640, float frecR, float frecB, float ci2) {
    const double frecG = static_cast<double>(frec640) - frecR - frecB;
    // Also taken when the difference is not a number.
    if (!(frecG > 0)) return {0.0f, 25.0f};
    return {static_cast<float>(frecG), static_cast<float>(ci2 - 2.5 * std::log10(frecG))};
}

}  // namespace noxa
