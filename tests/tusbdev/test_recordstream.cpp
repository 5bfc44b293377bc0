#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tusbdev/recordstream.h"

using namespace tarvik;

namespace {

// Records as a receive thread sees them: the identifiers of the good ones, and the bad count.
struct Collect : TRecordStream::Sink {
    std::vector<std::uint32_t> ids;
    int bad = 0;
    void Record(const std::uint8_t* rec) override
    {
        if (KnownRecordType(rec[1]))  // others are ignored, as the receive thread does
            ids.push_back(AdapterRecord::From(rec).Identifier());
    }
    void BadRecord() override { ++bad; }
};

// Frames numbered through the identifier, check bytes counting up like the adapter's. Data
// and time stamps mostly zeros are the hard case: zeros pass the check at misaligned
// positions too, so only a run of records tells the true position.
std::string Frames(std::uint32_t from, std::uint32_t count, bool zeros = true)
{
    std::string s;
    for (std::uint32_t i = from; i < from + count; ++i) {
        auto r = AdapterRecord::Can(i, false, 8).SetData(7, std::uint8_t(i)).SetCheck(std::uint8_t(i));
        if (!zeros) {
            for (int k = 0; k < 7; ++k) r.SetData(k, std::uint8_t(0x31 + 7 * i + 13 * std::uint32_t(k)));
            r.SetTimeStamp(0x9E3779B9u * (i + 1));
        }
        s += r.Wire();
    }
    return s;
}

// Stray bytes that never pass a check among themselves.
std::string Stray(std::size_t n)
{
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += char(0xE0 + i % 16);
    return s;
}

std::vector<std::uint32_t> Range(std::uint32_t from, std::uint32_t count)
{
    std::vector<std::uint32_t> v;
    for (std::uint32_t i = from; i < from + count; ++i) v.push_back(i);
    return v;
}

// Feeds in chunks of `chunk` bytes, then settles as a receive thread does at a quiet spell.
Collect Stream(const std::string& bytes, std::size_t chunk, TRecordStream* keep = nullptr)
{
    TRecordStream local(4096);
    TRecordStream& s = keep ? *keep : local;
    Collect c;
    for (std::size_t at = 0; at < bytes.size(); at += chunk)
        s.Feed(bytes.data() + at, std::min(chunk, bytes.size() - at), c);
    s.Settle(c);
    return c;
}

}  // namespace

TEST(RecordStream, InStepStreamsGiveEveryRecordWhateverTheChunks)
{
    for (std::size_t chunk : {1u, 7u, 20u, 33u, 4096u}) {
        TRecordStream s(4096);
        const Collect c = Stream(Frames(0, 50), chunk, &s);
        EXPECT_EQ(c.ids, Range(0, 50)) << chunk;
        EXPECT_EQ(c.bad, 0);
        EXPECT_EQ(s.SkippedBytes(), 0u);
        EXPECT_EQ(s.Held(), 0u);
    }
}

// Stray bytes in front lose nothing after them; the bytes skipped are exactly the strays.
TEST(RecordStream, StrayBytesAreSkippedAndCounted)
{
    for (std::size_t stray : {1u, 7u, 13u, 19u, 21u, 47u})
        for (std::size_t chunk : {1u, 20u, 4096u}) {
            TRecordStream s(4096);
            const Collect c = Stream(Stray(stray) + Frames(0, 200), chunk, &s);
            EXPECT_EQ(c.ids, Range(0, 200)) << stray << " stray, chunk " << chunk;
            EXPECT_EQ(s.SkippedBytes(), stray) << stray << " stray, chunk " << chunk;
            EXPECT_EQ(c.bad, 1);
        }
}

// Lost bytes in the middle (a half record gone) cost the damaged record only.
TEST(RecordStream, GapInTheMiddleCostsOneRecord)
{
    std::string bytes = Frames(0, 100, false);
    bytes.erase(50 * kRecordSize + 4, 9);
    TRecordStream s(4096);
    const Collect c = Stream(bytes, 64, &s);
    std::vector<std::uint32_t> want = Range(0, 50);
    const auto rest = Range(51, 49);
    want.insert(want.end(), rest.begin(), rest.end());
    EXPECT_EQ(c.ids, want);
    EXPECT_EQ(s.SkippedBytes(), 11u);  // what was left of record 50
}

// A record damaged in place (check bytes differ) keeps the step: one bad record, nothing skipped.
TEST(RecordStream, DamagedRecordInStepIsBadOnly)
{
    std::string bytes = Frames(0, 10);
    bytes[4 * kRecordSize + 19] ^= 0x01;
    for (std::size_t chunk : {20u, 4096u}) {
        TRecordStream s(4096);
        const Collect c = Stream(bytes, chunk, &s);
        EXPECT_EQ(c.bad, 1);
        EXPECT_EQ(c.ids, (std::vector<std::uint32_t>{0, 1, 2, 3, 5, 6, 7, 8, 9})) << chunk;
        EXPECT_EQ(s.SkippedBytes(), 0u);
    }
    // A bad record followed by one status record and then silence: the status still arrives.
    TRecordStream s(4096);
    Collect c;
    const std::string bad = AdapterRecord::Can(0x123, false, 8).SetCheck(0x55, 0x54).Wire();
    s.Feed(bad.data(), bad.size(), c);
    const std::string status = AdapterRecord::Status(kCanStatus, 0).SetCheck(0x55).Wire();
    s.Feed(status.data(), status.size(), c);
    EXPECT_TRUE(s.Sliding());
    s.Settle(c);
    EXPECT_EQ(c.bad, 1);
    EXPECT_EQ(c.ids.size(), 1u);
    EXPECT_EQ(s.SkippedBytes(), 0u);
}

TEST(RecordStream, ReadSizesEndOnRecordBoundariesAndPartialsDrop)
{
    TRecordStream s(163840);
    Collect c;
    EXPECT_EQ(s.ReadSizeFor(1), 20u);
    EXPECT_EQ(s.ReadSizeFor(40), 40u);
    EXPECT_EQ(s.ReadSizeFor(1u << 30) % kRecordSize, 0u);
    EXPECT_EQ(s.ReadSizeFor(1u << 30), 163840u);
    const std::string two = Frames(0, 2);
    s.Feed(two.data(), 30, c);
    EXPECT_EQ(c.ids.size(), 1u);
    EXPECT_EQ(s.ReadSizeFor(1), 10u);  // the rest of the partial record
    EXPECT_EQ(s.DropHeld(), 10u);
    EXPECT_EQ(s.Held(), 0u);
}

// Whatever the bytes, records never overlap: no more records than whole records in the input.
TEST(RecordStream, NeverMoreRecordsThanWholeRecords)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        std::string bytes(rng() % 600, '\0');
        // Mostly zeros and known type bytes: the inputs most likely to pass a check.
        for (char& b : bytes) b = "\x00\x00\x00\x01\x02\x80\x55"[rng() % 7];
        TRecordStream s(64);
        const Collect c = Stream(bytes, 1 + rng() % 50, &s);
        ASSERT_LE(c.ids.size() * kRecordSize, bytes.size()) << round;
    }
}
