#include "core/day_tables.h"

#include "core/form_model.h"
#include "recording/day_buffer_file.h"
#include "support/temp_dir.h"
#include "time/date_time.h"

#include <QDir>
#include <QFile>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

namespace noxa {
namespace {

using ::testing::HasSubstr;

// A table whose every float and double differs, reserved floats included.
std::unique_ptr<DayTables> DistinctTable() {
    auto days = std::make_unique<DayTables>();
    float f = 1;
    for (DaySlot& s : days->slot) {
        s.date = 45000 + f;
        s.time = f / 100000;
        for (float* v : {&s.meanTSens, &s.meanTIR, &s.meanMv740, &s.meanMv640, &s.meanMvR,
                         &s.meanMvG, &s.meanMvB, &s.nelm, &s.reserved[0], &s.reserved[1],
                         &s.reserved[2], &s.reserved[3], &s.reserved[4], &s.cloudIndex}) {
            *v = f;
            f += 0.5f;
        }
    }
    return days;
}

TEST(DayTables, StartUpTimesSpanTheLastDayByTheMinute) {
    auto days = std::make_unique<DayTables>();
    const double now = ToDayNumber(QDateTime(QDate(2023, 4, 9), QTime(22, 0, 0)));
    days->InitSlotTimes(now);
    const DaySlot& oldest = days->slot.front();
    const DaySlot& newest = days->Newest();
    EXPECT_EQ(oldest.date, std::trunc(now) - 1);
    EXPECT_NEAR(oldest.date + oldest.time, now - 1, 1e-9);
    EXPECT_NEAR(newest.date + newest.time, now - 1.0 / 1440, 1e-9);
    for (const DaySlot& s : days->slot) {
        EXPECT_EQ(s.date, std::trunc(s.date));
        EXPECT_TRUE(s.time >= 0 && s.time < 1);
        EXPECT_EQ(s.meanMv740, 0.0f);
    }
}

TEST(DayTables, SlideLeavesReservedFloatsWithTheirSlot) {
    auto days = DistinctTable();
    const DayTables before = *days;
    days->Slide();
    for (std::size_t i = 0; i + 1 < kDaySlots; ++i) {
        EXPECT_EQ(days->slot[i].time, before.slot[i + 1].time);
        EXPECT_EQ(days->slot[i].meanMvB, before.slot[i + 1].meanMvB);
        EXPECT_EQ(days->slot[i].cloudIndex, before.slot[i + 1].cloudIndex);
        EXPECT_EQ(std::memcmp(days->slot[i].reserved, before.slot[i].reserved,
                              sizeof before.slot[i].reserved),
                  0);
    }
    EXPECT_EQ(std::memcmp(&days->Newest(), &before.Newest(), sizeof(DaySlot)), 0);
}

TEST(DayTables, ClearingKeepsTheNewestSlotTimesAndReservedFloats) {
    auto days = DistinctTable();
    const DayTables before = *days;
    days->ClearValues();
    EXPECT_EQ(days->slot[0].meanMv740, 0.0f);
    EXPECT_EQ(days->slot[1438].cloudIndex, 0.0f);
    EXPECT_EQ(days->slot[1438].time, before.slot[1438].time);
    EXPECT_EQ(days->slot[7].reserved[2], before.slot[7].reserved[2]);
    EXPECT_EQ(std::memcmp(&days->Newest(), &before.Newest(), sizeof(DaySlot)), 0);
}

class DayBufferFileTest : public ::testing::Test {
protected:
    test::ScopedWorkDir dir;
    FormModel form;
    std::unique_ptr<DayTables> days = std::make_unique<DayTables>();
    DayBufferFile file{form, *days, dir.Dir()};
};

TEST_F(DayBufferFileTest, SaveAndLoadRoundTripByteForByte) {
    *days = *DistinctTable();
    ASSERT_TRUE(file.SaveDayBuffers());
    const std::string bytes = dir.ReadFile(DayBufferFile::kFileName);
    ASSERT_EQ(bytes.size(), 103680u);
    EXPECT_EQ(std::memcmp(bytes.data(), days->slot.data(), bytes.size()), 0);

    const DayTables saved = *days;
    *days = DayTables{};
    file.LoadDayBuffers();
    EXPECT_EQ(std::memcmp(days->slot.data(), saved.slot.data(), sizeof saved.slot), 0);
    EXPECT_EQ(form.LogLines().size(), 1u);  // nothing to say
}

TEST_F(DayBufferFileTest, TheRecordLayoutIsLittleEndianAt72Bytes) {
    days->slot[1].date = 1.5;
    days->slot[1].cloudIndex = 2.0f;
    ASSERT_TRUE(file.SaveDayBuffers());
    const std::string bytes = dir.ReadFile(DayBufferFile::kFileName);
    // 1.5 as a double: 0x3FF8000000000000, lowest byte first.
    EXPECT_EQ(bytes.substr(72, 8), std::string("\0\0\0\0\0\0\xF8\x3F", 8));
    // 2.0f at offset 68 of the record: 0x40000000.
    EXPECT_EQ(bytes.substr(72 + 68, 4), std::string("\0\0\0\x40", 4));
}

TEST_F(DayBufferFileTest, AMissingFileLeavesTheTable) {
    days->InitSlotTimes(45000.5);
    const double first = days->slot[0].time;
    file.LoadDayBuffers();
    EXPECT_EQ(days->slot[0].time, first);
    EXPECT_EQ(form.LogLines().size(), 1u);
}

TEST_F(DayBufferFileTest, AFileOfAnotherSizeIsSetAsideUnread) {
    {
        QFile broken(dir.Path() + "/" + DayBufferFile::kFileName);
        ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
        broken.write(QByteArray(1000, '\x7f'));
    }
    days->InitSlotTimes(45000.5);
    const DayTables before = *days;
    file.LoadDayBuffers();
    EXPECT_EQ(std::memcmp(days->slot.data(), before.slot.data(), sizeof before.slot), 0);
    EXPECT_THAT(form.LogLines().back(), HasSubstr("ignored: 1000 bytes instead of 103680"));
    EXPECT_FALSE(QFile::exists(dir.Path() + "/" + DayBufferFile::kFileName));
    EXPECT_EQ(QFile(dir.Path() + "/noxagraf.hex.bad").size(), 1000);
}

TEST_F(DayBufferFileTest, EachFileSetAsideKeepsANameOfItsOwn) {
    for (const int size : {1000, 2000, 3000}) {
        QFile broken(dir.Path() + "/" + DayBufferFile::kFileName);
        ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
        broken.write(QByteArray(size, '\x7f'));
        broken.close();
        file.LoadDayBuffers();
    }
    EXPECT_EQ(QFile(dir.Path() + "/noxagraf.hex.bad").size(), 1000);
    EXPECT_EQ(QFile(dir.Path() + "/noxagraf.hex.bad.1").size(), 2000);
    EXPECT_EQ(QFile(dir.Path() + "/noxagraf.hex.bad.2").size(), 3000);
    EXPECT_EQ(form.LogLines().back(),
              "noxagraf.hex ignored: 3000 bytes instead of 103680. Kept as noxagraf.hex.bad.2.");
}

TEST_F(DayBufferFileTest, AFolderInThePlaceOfTheFileIsReported) {
    ASSERT_TRUE(QDir(dir.Path()).mkdir(DayBufferFile::kFileName));
    EXPECT_FALSE(file.SaveDayBuffers());
    EXPECT_THAT(form.LogLines().back(), HasSubstr("noxagraf.hex not saved"));
    file.LoadDayBuffers();  // nothing to read, nothing breaks
}

}  // namespace
}  // namespace noxa
