#pragma once

#include <array>
#include <bit>
#include <cstddef>

namespace noxa {

// One chart point: its date-time (days since 30 December 1899, split into the whole day and
// the fraction) and the interval means. The memory image is the day-buffer file's record.
struct DaySlot {
    double date = 0;
    double time = 0;
    float meanTSens = 0;
    float meanTIR = 0;
    float meanMv740 = 0;
    float meanMv640 = 0;
    float meanMvR = 0;
    float meanMvG = 0;
    float meanMvB = 0;
    float nelm = 0;
    float reserved[5] = {};
    float cloudIndex = 0;
};
static_assert(sizeof(DaySlot) == 72, "the day-buffer record is 72 bytes");
static_assert(offsetof(DaySlot, meanTSens) == 16 && offsetof(DaySlot, nelm) == 44 &&
                  offsetof(DaySlot, reserved) == 48 && offsetof(DaySlot, cloudIndex) == 68,
              "field offsets of the day-buffer record");
static_assert(std::endian::native == std::endian::little,
              "the day-buffer file is the little-endian memory image of the table");

inline constexpr std::size_t kDaySlots = 1440;

// The chart history: slot 0 the oldest point, slot 1439 the newest.
struct DayTables {
    std::array<DaySlot, kDaySlots> slot{};

    DaySlot& Newest() { return slot.back(); }
    const DaySlot& Newest() const { return slot.back(); }
    const DaySlot& Previous() const { return slot[kDaySlots - 2]; }

    // Gives the slots their start-up times: slot 0 one day before `now`, then a minute apart,
    // slot 1439 one minute before `now`. The values are left as they are.
    void InitSlotTimes(double now);

    // Drops the oldest slot: every slot takes the date, time and values of the next one. The
    // reserved floats stay with their slot; the newest slot keeps its contents until the next
    // chart point overwrites them.
    void Slide();

    // Zeroes the values of every slot but the newest; dates, times and reserved floats stay.
    void ClearValues();
};

inline constexpr std::size_t kDayBufferFileSize = kDaySlots * sizeof(DaySlot);
static_assert(kDayBufferFileSize == 103680);

}  // namespace noxa
