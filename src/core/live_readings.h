#pragma once

#include <cstdint>

namespace noxa {

struct Observation;

// Chart-interval sums: averaged into the newest day slot at every chart point, then zeroed.
struct ChartSums {
    float count = 0;
    float sumMv740 = 0, sumMv640 = 0, sumMvR = 0, sumMvG = 0, sumMvB = 0;
    float sumTIR = 0, countTIR = 0;
    float sumTSens = 0, countTSens = 0;
};

// Record-interval sums: averaged into one data-file line, then zeroed as one unit.
struct RecordSums {
    float count740 = 0;  // divides both the 740 nm and the 640 nm sums
    float countR = 0, countG = 0, countB = 0;
    float sumMv740 = 0, sumMv640 = 0, sumMvR = 0, sumMvG = 0, sumMvB = 0;
    float sumFrec740 = 0, sumFrec640 = 0, sumFrecR = 0, sumFrecG = 0, sumFrecB = 0;
};
static_assert(sizeof(RecordSums) == 14 * sizeof(float));

// The reading state: values of the latest report, the two sets of sums and the tick counter
// that tells how fresh the readings are.
struct LiveReadings {
    float frec740 = 0, mv740 = 0, ci1 = 0;
    float frec640 = 0, mv640 = 0, ci2 = 0;
    float frecR = 0, mvR = 0, ci3 = 0;
    float frecB = 0, mvB = 0, ci4 = 0;
    float frecG = 0, mvG = 0;
    float tIR = 0, tSens = 0;

    ChartSums chart;
    RecordSums record;

    std::int32_t rxTicks = 0;  // ticks since the last report or serial frame start
};

// Takes a decoded report in: its values become the latest readings, it is added to both sets of
// sums when it is counted (every value a finite number: one that is not would turn every mean
// of the interval into one), and the ticks since the last report start again.
void AddReport(LiveReadings& readings, const Observation& report);

// The green channel from channel 2 minus channels 3 and 4, with channel 2's zero point.
struct GreenChannel {
    float frecG;
    float mvG;
};
GreenChannel DeriveGreen(float frec640, float frecR, float frecB, float ci2);

}  // namespace noxa
