#include "core/day_tables.h"

#include <cmath>

namespace noxa {
namespace {

void CopyValues(const DaySlot& from, DaySlot& to) {
    to.meanTSens = from.meanTSens;
    to.meanTIR = from.meanTIR;
    to.meanMv740 = from.meanMv740;
    to.meanMv640 = from.meanMv640;
    to.meanMvR = from.meanMvR;
    to.meanMvG = from.meanMvG;
    to.meanMvB = from.meanMvB;
    to.nelm = from.nelm;
    to.cloudIndex = from.cloudIndex;
}

}  // namespace

void DayTables::InitSlotTimes(double now) {
    const double start = now - 1;
    for (std::size_t i = 0; i < kDaySlots; ++i) {
        const double t = (start * 1440 + static_cast<double>(i)) / 1440;
        slot[i].date = std::trunc(t);
        slot[i].time = t - std::trunc(t);
    }
}

void DayTables::Slide() {
    for (std::size_t i = 0; i + 1 < kDaySlots; ++i) {
        slot[i].date = slot[i + 1].date;
        slot[i].time = slot[i + 1].time;
        CopyValues(slot[i + 1], slot[i]);
    }
}

void DayTables::ClearValues() {
    const DaySlot zero{};
    for (std::size_t i = 0; i + 1 < kDaySlots; ++i) CopyValues(zero, slot[i]);
}

}  // namespace noxa
