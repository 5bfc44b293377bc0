#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <thread>
#include <vector>

#include "support/threadguard.h"
#include "subfuncs/subfuncs.h"
#include "monitorview/monitorscroll.h"
#include "tviewnormalform/tfilteredlines.h"
#include "tviewnormalform/trecordhistory.h"

using namespace tarvik;

namespace {

// A received standard CAN frame whose identifier and time stamp carry the sequence number.
AdapterRecord Frame(std::uint32_t n)
{
    return AdapterRecord::Can(n & 0x7FF, false, 2)
        .SetData(0, std::uint8_t(n >> 16))
        .SetCheck(std::uint8_t(n))
        .SetTimeStamp(n);
}

}  // namespace

TEST(RecordHistory, FillsThenOverwritesTheOldest)
{
    TRecordHistory h;
    ASSERT_EQ(h.Capacity(), 1'000'000);
    for (std::uint32_t i = 0; i < 1'000'000; ++i)
        h.Add(Frame(i));
    EXPECT_EQ(h.Count(), 1'000'000);
    EXPECT_EQ(h.Start(), 0);
    EXPECT_EQ(h.Next(), 0);
    EXPECT_EQ(h.Overwritten(), 0u);
    EXPECT_EQ(h.GetLine(0), FrameToText(Frame(0)));
    EXPECT_EQ(h.GetLine(999'999), FrameToText(Frame(999'999)));

    h.Add(Frame(1'000'000));
    EXPECT_EQ(h.Count(), 1'000'000);
    EXPECT_EQ(h.Start(), 1);
    EXPECT_EQ(h.Next(), 1);
    EXPECT_EQ(h.Overwritten(), 1u);
    // Slot 0 now holds the newest record, which reads as the last line.
    EXPECT_EQ(h.GetLine(0), FrameToText(Frame(1)));
    EXPECT_EQ(h.GetLine(999'999), FrameToText(Frame(1'000'000)));
}

TEST(RecordHistory, LinesOutsideTheHistoryAreEmpty)
{
    TRecordHistory h(10);
    EXPECT_EQ(h.GetLine(0), "");
    EXPECT_EQ(h.GetAllText(), "");
    h.Add(Frame(7));
    EXPECT_EQ(h.GetLine(-1), "");
    EXPECT_EQ(h.GetLine(h.Count()), "");
    EXPECT_EQ(h.GetLine(std::numeric_limits<std::int32_t>::min()), "");
    EXPECT_EQ(h.GetAllText(), FrameToText(Frame(7)) + "\r\n");
}

TEST(RecordHistory, AllTextRunsFromTheOldestAcrossTheWrap)
{
    TRecordHistory h(4);
    for (std::uint32_t i = 0; i < 7; ++i)
        h.Add(Frame(i));
    std::string expected;
    for (std::uint32_t i = 3; i < 7; ++i)
        expected += FrameToText(Frame(i)) + "\r\n";
    EXPECT_EQ(h.GetAllText(), expected);
    EXPECT_EQ(h.Overwritten(), 3u);
    EXPECT_EQ(h.Start(), 3);

    h.Clear();
    EXPECT_EQ(h.Count(), 0);
    EXPECT_EQ(h.Start(), 0);
    EXPECT_EQ(h.Next(), 0);
    EXPECT_EQ(h.Overwritten(), 0u);
    EXPECT_EQ(h.GetAllText(), "");
    h.Add(Frame(9));
    EXPECT_EQ(h.GetAllText(), FrameToText(Frame(9)) + "\r\n");
}

TEST(RecordHistory, CopyAllRunsFromTheOldestBeforeAndAcrossTheWrap)
{
    TRecordHistory h(4);
    std::vector<AdapterRecord> out{Frame(99)};
    EXPECT_EQ(h.CopyAll(out), 0);
    EXPECT_TRUE(out.empty());
    for (std::uint32_t added = 1; added <= 9; ++added) {
        h.Add(Frame(added - 1));
        ASSERT_EQ(h.CopyAll(out), std::min<std::int32_t>(std::int32_t(added), 4));
        ASSERT_EQ(out.size(), std::size_t(h.Count()));
        const std::uint32_t oldest = added > 4 ? added - 4 : 0;
        for (std::size_t i = 0; i < out.size(); ++i)
            EXPECT_EQ(out[i].bytes, Frame(oldest + std::uint32_t(i)).bytes) << "after " << added << ", #" << i;
    }
}

// The reader sees whole records while the writer laps the buffer.
TEST(RecordHistory, ReadersSeeWholeRecordsWhileWriting)
{
    TRecordHistory h(1000);
    std::atomic<bool> done{false}, reading{false};
    testsupport::Background writer([&] {
        while (!reading)
            std::this_thread::yield();
        for (std::uint32_t i = 0; i < 200'000; ++i)
            h.Add(Frame(i));
        done = true;
    });
    int checked = 0;
    h.Add(Frame(0));
    reading = true;
    while (!done || checked == 0) {
        const std::int32_t n = h.Count();
        AdapterRecord r;
        if (n > 0 && h.GetRecord(n - 1, r)) {
            // Bytes 18 and 6 both carry the low byte of the same sequence number.
            ASSERT_EQ(r.bytes[18], r.bytes[6]);
            ASSERT_EQ(r.bytes[0], r.bytes[19]);
            ++checked;
        }
    }
    writer.Join();
    EXPECT_GT(checked, 0);
    EXPECT_EQ(h.Overwritten(), 199'001u);
}

TEST(Gauge, PerMilleRoundsToTheNearestTenthOfAPercent)
{
    TGaugeValue g;
    g.SetMax(1'000'000);
    EXPECT_FALSE(g.SetPosition(1));  // still 0.0%: nothing to repaint
    EXPECT_EQ(g.PerMille(), 0);
    EXPECT_EQ(g.Text(), "0.0%");
    EXPECT_TRUE(g.SetPosition(500));
    EXPECT_EQ(g.PerMille(), 1);
    EXPECT_EQ(g.Text(), "0.1%");
    EXPECT_TRUE(g.SetPosition(123'400));
    EXPECT_EQ(g.Text(), "12.3%");
    EXPECT_TRUE(g.SetPosition(1'000'000));
    EXPECT_EQ(g.PerMille(), 1000);
    EXPECT_EQ(g.Text(), "100.0%");
    EXPECT_FALSE(g.SetPosition(5'000'000));  // clamped to Max: no change
    EXPECT_EQ(g.Position(), 1'000'000);
    EXPECT_TRUE(g.SetPosition(-4));
    EXPECT_EQ(g.Position(), 0);
    EXPECT_EQ(g.PerMille(), 0);
}

TEST(Gauge, ZeroMaximumShowsEmpty)
{
    TGaugeValue g;
    g.SetMax(0);
    g.SetPosition(10);
    EXPECT_EQ(g.PerMille(), 0);
}

TEST(MonitorScroll, WheelSteps)
{
    const int L = 30;
    // Towards the user (newer lines).
    EXPECT_EQ(WheelStep(0, 0, 100, L, -120), 30);
    EXPECT_EQ(WheelStep(0, 0, 12, L, -120), 12);  // limited to the maximum
    EXPECT_EQ(WheelStep(40, 0, 100, L, -120), 41);
    EXPECT_EQ(WheelStep(100, 0, 100, L, -120), 100);
    EXPECT_EQ(WheelStep(5, 0, 100, L, 0), 30);  // zero counts as towards
    // Away from the user (older lines).
    EXPECT_EQ(WheelStep(31, 0, 100, L, 120), 30);
    EXPECT_EQ(WheelStep(30, 0, 100, L, 120), 0);
    EXPECT_EQ(WheelStep(0, 0, 100, L, 120), 0);
}

TEST(MonitorScroll, PositionShowsThePageEndingBeforeIt)
{
    EXPECT_EQ(FirstVisibleLine(0, 30), 0);
    EXPECT_EQ(FirstVisibleLine(30, 30), 0);
    EXPECT_EQ(FirstVisibleLine(100, 30), 70);
}

TEST(RecordHistory, FindAndFilterFollowOverwritesAndClear)
{
    // Capacity 10; frame n has identifier n and, until a Clear, record number n. The match
    // picks the first sixteen.
    TRecordHistory h(10);
    TFrameMatch m;
    ASSERT_TRUE(ParseFrameMatch("0-F", "", TMatchDirection::Any, m, nullptr));
    TFilteredLines f;
    f.SetMatch(m);
    struct Step {
        std::uint32_t addUpTo;   // frames 0..addUpTo-1 stored by now
        std::vector<std::uint64_t> shown;
        std::int64_t nextFrom3, previousFrom12;
    };
    const Step steps[] = {
        {0, {}, -1, -1},
        {5, {0, 1, 2, 3, 4}, 3, 4},
        {14, {4, 5, 6, 7, 8, 9, 10, 11, 12, 13}, 4, 12},  // 0-3 overwritten
        {22, {12, 13, 14, 15}, 12, 12},                     // the filter drops what is gone
        {40, {}, -1, -1},
    };
    std::uint32_t n = 0;
    for (const Step& s : steps) {
        for (; n < s.addUpTo; ++n)
            h.Add(Frame(n));
        f.Update(h);
        std::vector<std::uint64_t> shown;
        for (std::int32_t i = 0; i < f.Count(); ++i)
            shown.push_back(f.NumberAt(i));
        EXPECT_EQ(shown, s.shown) << "after " << n;
        EXPECT_EQ(f.Hidden(h), h.Count() - std::int64_t(s.shown.size()));
        EXPECT_EQ(h.Find(m, 3, true), s.nextFrom3) << "after " << n;
        EXPECT_EQ(h.Find(m, 12, false), s.previousFrom12) << "after " << n;
        for (std::size_t i = 0; i < s.shown.size(); ++i) {
            AdapterRecord r;
            ASSERT_TRUE(h.GetRecordNumbered(s.shown[i], r));
            EXPECT_EQ(r.CanId(), s.shown[i]);
            EXPECT_EQ(f.LineOf(s.shown[i]), std::int32_t(i));
        }
    }
    // A Clear starts the numbers again; the filter follows without being told.
    h.Clear();
    h.Add(Frame(7));
    f.Update(h);
    ASSERT_EQ(f.Count(), 1);
    EXPECT_EQ(f.NumberAt(0), 0u);
    EXPECT_EQ(f.LineOf(5), -1);
}
