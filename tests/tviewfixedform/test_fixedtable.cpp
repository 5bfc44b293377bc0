#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "subfuncs/subfuncs.h"
#include "tviewfixedform/tfixedtable.h"

using namespace tarvik;

namespace {

AdapterRecord Can(std::uint32_t id, bool ext = false, bool tx = false, std::uint8_t d0 = 0)
{
    return AdapterRecord::Raw(tx ? kCanTransmitted : kCanReceived, std::uint8_t((ext ? 0x80 : 0) | 1), id)
        .SetData(0, d0);
}

AdapterRecord Lin(std::uint8_t id, bool tx = false)
{
    return AdapterRecord::Lin(id, 0, nullptr, 0, tx ? kLinTransmitted : kLinReceived);
}

}  // namespace

TEST(SlotKey, ExtendedSortsAfterStandard)
{
    EXPECT_EQ(SlotKey(Can(0x100)), 0x100u);
    EXPECT_EQ(SlotKey(Can(0x100, true)), 0x80000100u);
    EXPECT_EQ(SlotKey(Can(0x100, false, true)), 0x100u);
    // A remote request shares its identifier's line, not the extended one of the same number.
    EXPECT_EQ(SlotKey(Can(0x100 | kRemoteFlag)), 0x100u);
    EXPECT_EQ(SlotKey(Can(0x100 | kRemoteFlag, true)), 0x80000100u);
    EXPECT_EQ(SlotKey(Lin(0x3C, true)), 0x3Cu);
    EXPECT_FALSE(SlotKey(AdapterRecord::Status(kCanStatus, 0)));
    EXPECT_FALSE(SlotKey(AdapterRecord::Status(kLinStatus, 0)));
}

TEST(FixedTable, OneLinePerIdentifierInOrder)
{
    TFixedTable t;
    t.UpdateSlot(Can(0x100, true));
    t.UpdateSlot(Can(0x100));
    ASSERT_EQ(t.SlotCount(), 2);
    EXPECT_EQ(t.GetLine(0), FrameToText(Can(0x100)));
    EXPECT_EQ(t.GetLine(1), FrameToText(Can(0x100, true)));

    TFixedTable u;
    for (std::uint32_t id : {0x200u, 0x100u, 0x300u})
        u.UpdateSlot(Can(id));
    EXPECT_EQ(u.GetAllText(),
              FrameToText(Can(0x100)) + "\r\n" + FrameToText(Can(0x200)) + "\r\n" + FrameToText(Can(0x300)) + "\r\n");
}

TEST(FixedTable, LatestFrameReplacesTheLine)
{
    TFixedTable t;
    t.UpdateSlot(Can(0x123, false, false, 0x11));
    t.UpdateSlot(Can(0x123, false, true, 0x22));
    ASSERT_EQ(t.SlotCount(), 1);
    const std::string line = t.GetLine(0);
    EXPECT_EQ(line[0], 'T');
    EXPECT_EQ(line, FrameToText(Can(0x123, false, true, 0x22)));
    t.UpdateSlot(Can(0x123, false, false, 0x33));
    EXPECT_EQ(t.GetLine(0)[0], ' ');
}

TEST(FixedTable, IgnoresOtherTypesAndEmptiesOnClear)
{
    TFixedTable t;
    EXPECT_EQ(t.GetAllText(), "");
    const AdapterRecord status = AdapterRecord::Status(kCanStatus, 0);
    t.UpdateSlot(status);
    EXPECT_EQ(t.SlotCount(), 0);
    t.UpdateSlot(Lin(5));
    t.UpdateSlot(Can(5));  // a LIN and a CAN identifier 5 share a key
    EXPECT_EQ(t.SlotCount(), 1);
    EXPECT_EQ(t.GetLine(-1), "");
    EXPECT_EQ(t.GetLine(1), "");
    t.Clear();
    EXPECT_EQ(t.SlotCount(), 0);
    EXPECT_EQ(t.GetAllText(), "");
}

TEST(FixedTable, KeysStayAscendingWithoutDuplicates)
{
    TFixedTable t;
    std::mt19937 rng(7);
    std::vector<std::uint32_t> keys;
    for (int i = 0; i < 5000; ++i) {
        const bool ext = rng() & 1;
        const std::uint32_t id = ext ? rng() & 0x1FFFFFFF : rng() & 0x7FF;
        t.UpdateSlot(Can(id, ext));
        keys.push_back(ext ? id | 0x80000000u : id);
    }
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    ASSERT_EQ(t.SlotCount(), std::int32_t(keys.size()));
    for (std::size_t i = 0; i < keys.size(); ++i)
        ASSERT_EQ(t.KeyAt(std::int32_t(i)), keys[i]);
}

TEST(SlotStats, CountCycleAndChangedBytes)
{
    struct Frame {
        std::uint32_t stamp;  // 100 us units
        std::uint8_t d0;
        int length;
    };
    struct Case {
        const char* name;
        std::vector<Frame> frames;  // the n-th arrives at n * 10 ms of the program's clock
        std::uint64_t count;
        double cycle;  // < 0: none
        std::uint32_t askedAtMs;
        std::uint8_t changed;
    };
    const Case cases[] = {
        {"first frame: no cycle, nothing changed", {{500, 1, 1}}, 1, -1, 0, 0},
        {"a changed byte is marked for a second", {{0, 1, 1}, {100, 2, 1}}, 2, 10.0, 1009, 0x01},
        {"and then no longer", {{0, 1, 1}, {100, 2, 1}}, 2, 10.0, 1010, 0},
        {"an unchanged byte is not marked", {{0, 1, 1}, {100, 1, 1}}, 2, 10.0, 20, 0},
        {"a byte the frame did not have before is", {{0, 1, 1}, {100, 1, 2}}, 2, 10.0, 20, 0x02},
        {"the time stamp wraps", {{0xFFFFFF9Cu, 1, 1}, {100, 1, 1}}, 2, 20.0, 20, 0},
        {"the mean covers the last 16 frames only",
         {{0, 0, 0}, {5000, 0, 0}, {5010, 0, 0}, {5020, 0, 0}, {5030, 0, 0}, {5040, 0, 0}, {5050, 0, 0},
          {5060, 0, 0}, {5070, 0, 0}, {5080, 0, 0}, {5090, 0, 0}, {5100, 0, 0}, {5110, 0, 0}, {5120, 0, 0},
          {5130, 0, 0}, {5140, 0, 0}, {5150, 0, 0}},
         17, 1.0, 0, 0},
    };
    for (const Case& c : cases) {
        TSlotStats s;
        std::uint32_t now = 0;
        for (const Frame& f : c.frames) {
            s.Update(AdapterRecord::Can(0x10, false, f.length).SetData(0, f.d0).SetTimeStamp(f.stamp), now);
            now += 10;
        }
        EXPECT_EQ(s.Count(), c.count) << c.name;
        EXPECT_EQ(s.CycleMs().value_or(-1), c.cycle) << c.name;
        EXPECT_EQ(s.ChangedBytes(c.askedAtMs), c.changed) << c.name;
    }
}

TEST(FixedTable, StatsColumnsStartAgainAfterClear)
{
    TFixedTable t;
    const auto at = [](std::uint32_t stamp) { return Can(0x123).SetTimeStamp(stamp); };
    t.UpdateSlot(at(0));
    t.UpdateSlot(at(250));
    const std::string plain = FrameToText(at(250));
    EXPECT_EQ(t.GetLine(0), plain);  // without the columns the line is as always
    const std::string padded = plain + std::string(kFrameTextWidth - plain.size(), ' ');
    EXPECT_EQ(t.GetLine(0, true), padded + "          2     25.0");
    EXPECT_EQ(t.GetAllText(true), padded + "          2     25.0\r\n");
    t.Clear();
    t.UpdateSlot(at(900));
    EXPECT_EQ(t.GetLine(0, true).substr(kFrameTextWidth), "          1         ");
}
