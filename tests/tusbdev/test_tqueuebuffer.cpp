#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "tusbdev/tqueuebuffer.h"

using namespace tarvik;

namespace {
using Rec = std::array<std::uint8_t, 20>;

Rec Numbered(std::uint32_t n)
{
    Rec r{};
    std::memcpy(r.data(), &n, sizeof n);
    r[19] = 0xEE;
    return r;
}

std::uint32_t NumberOf(const Rec& r)
{
    std::uint32_t n;
    std::memcpy(&n, r.data(), sizeof n);
    return n;
}

bool AllZero(const TQueueBuffer& q)
{
    const std::uint8_t* s = q.Storage();
    const std::size_t bytes = std::size_t(q.ElementSize()) * q.Capacity();
    return std::all_of(s, s + bytes, [](std::uint8_t b) { return b == 0; });
}
}  // namespace

TEST(QueueBuffer, FreshBufferIsEmptyAndZeroed)
{
    TQueueBuffer q(20, TQueueBuffer::kDefaultCapacity);
    EXPECT_EQ(q.Count(), 0u);
    EXPECT_EQ(q.Capacity(), 40960u);
    EXPECT_EQ(q.ReadOffset(), 0u);
    EXPECT_EQ(q.WriteOffset(), 0u);
    EXPECT_TRUE(AllZero(q));
}

TEST(QueueBuffer, FullBufferRejectsPushAndKeepsEverything)
{
    TQueueBuffer q(20, 4);
    for (std::uint32_t i = 0; i < 4; ++i) ASSERT_TRUE(q.Push(Numbered(i + 1).data()));
    std::vector<std::uint8_t> before(q.Storage(), q.Storage() + 80);
    const auto rd = q.ReadOffset(), wr = q.WriteOffset();

    EXPECT_FALSE(q.Push(Numbered(99).data()));
    EXPECT_EQ(q.Count(), 4u);
    EXPECT_EQ(q.ReadOffset(), rd);
    EXPECT_EQ(q.WriteOffset(), wr);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), q.Storage()));
    Rec out;
    for (std::uint32_t i = 0; i < 4; ++i) {
        ASSERT_TRUE(q.Pop(out.data()));
        EXPECT_EQ(NumberOf(out), i + 1);
    }
}

TEST(QueueBuffer, EmptyPopLeavesCallerBufferUntouched)
{
    TQueueBuffer q(20, 4);
    Rec out;
    out.fill(0xA5);
    EXPECT_FALSE(q.Pop(out.data()));
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](std::uint8_t b) { return b == 0xA5; }));
    // Same after a record went in and out again.
    q.Push(Numbered(1).data());
    q.Pop(out.data());
    out.fill(0xA5);
    EXPECT_FALSE(q.Pop(out.data()));
    EXPECT_EQ(out[0], 0xA5);
}

TEST(QueueBuffer, FullCycleReturnsToStartWithZeroedSlots)
{
    TQueueBuffer q(20, 8);
    Rec out;
    for (std::uint32_t i = 0; i < 8; ++i) q.Push(Numbered(0xFFFFFF00u + i).data());
    EXPECT_EQ(q.WriteOffset(), 0u);  // wrapped
    for (std::uint32_t i = 0; i < 8; ++i) ASSERT_TRUE(q.Pop(out.data()));
    EXPECT_EQ(q.Count(), 0u);
    EXPECT_EQ(q.ReadOffset(), 0u);
    EXPECT_EQ(q.WriteOffset(), 0u);
    EXPECT_TRUE(AllZero(q));
}

TEST(QueueBuffer, PoppedSlotsAreZeroedAtOnce)
{
    TQueueBuffer q(20, 4);
    Rec out;
    q.Push(Numbered(7).data());
    q.Push(Numbered(8).data());
    q.Pop(out.data());
    EXPECT_TRUE(std::all_of(q.Storage(), q.Storage() + 20, [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(q.Storage()[20], 8);
}

TEST(QueueBuffer, RecordAfterWrapComesAfterOlderOnes)
{
    TQueueBuffer q(20, 3);
    Rec out;
    for (std::uint32_t i = 1; i <= 3; ++i) q.Push(Numbered(i).data());
    q.Pop(out.data());
    ASSERT_EQ(q.WriteOffset(), 0u);
    ASSERT_TRUE(q.Push(Numbered(4).data()));  // lands in slot 0, behind 2 and 3
    std::vector<std::uint32_t> order;
    while (q.Pop(out.data())) order.push_back(NumberOf(out));
    EXPECT_EQ(order, (std::vector<std::uint32_t>{2, 3, 4}));
}

TEST(QueueBuffer, ClearEmptiesAndZeroes)
{
    TQueueBuffer q(20, 5);
    for (std::uint32_t i = 1; i <= 3; ++i) q.Push(Numbered(i).data());
    Rec out;
    q.Pop(out.data());
    q.Clear();
    EXPECT_EQ(q.Count(), 0u);
    EXPECT_EQ(q.ReadOffset(), 0u);
    EXPECT_EQ(q.WriteOffset(), 0u);
    EXPECT_TRUE(AllZero(q));
    EXPECT_FALSE(q.Pop(out.data()));
    // Usable again from the start of the storage.
    ASSERT_TRUE(q.Push(Numbered(42).data()));
    ASSERT_TRUE(q.Pop(out.data()));
    EXPECT_EQ(NumberOf(out), 42u);
}

TEST(QueueBuffer, OddElementSizeKeepsSlotBoundaries)
{
    TQueueBuffer q(7, 3);
    const std::uint8_t a[7] = {1, 2, 3, 4, 5, 6, 7};
    std::uint8_t out[7];
    for (int round = 0; round < 5; ++round) {
        ASSERT_TRUE(q.Push(a));
        ASSERT_TRUE(q.Pop(out));
        EXPECT_EQ(std::memcmp(a, out, 7), 0);
        EXPECT_EQ(q.ReadOffset() % 7, 0u);
    }
}

TEST(QueueBuffer, BadShapesAreRejected)
{
    EXPECT_THROW(TQueueBuffer(0, 10), std::invalid_argument);
    EXPECT_THROW(TQueueBuffer(-20, 10), std::invalid_argument);
    EXPECT_THROW(TQueueBuffer(1 << 20, 1u << 13), std::invalid_argument);  // 8 GiB
    TQueueBuffer none(20, 0);
    Rec r{};
    EXPECT_FALSE(none.Push(r.data()));
    EXPECT_FALSE(none.Pop(r.data()));
}
