// The BLF writer and reader: round trips of every record shape, the file header, and files
// that are cut short, damaged or too large to take.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>
#include <zlib.h>

#include "logformats/blflog.h"
#include "logformats/tracefile.h"
#include "support/logread.h"
#include "support/logrecords.h"

using tarvik::AdapterRecord;
using tarvik::TLogLine;
using tarvik::TTraceFormat;
using testsupport::ReadLogBytes;

namespace {

constexpr std::int64_t kOpened = 1765000000123456;  // the bus opened at 0.123456 s past a second

std::uint32_t Le32(const std::string& s, std::size_t at)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | static_cast<unsigned char>(s[at + static_cast<std::size_t>(i)]);
    return v;
}

std::vector<AdapterRecord> Many(std::size_t n)
{
    std::vector<AdapterRecord> recs;
    for (std::size_t i = 0; i < n; ++i) {
        AdapterRecord r = AdapterRecord::Can(static_cast<std::uint32_t>(i & 0x7FF), false, 8, nullptr);
        r.SetData(0, static_cast<std::uint8_t>(i)).SetData(1, static_cast<std::uint8_t>(i >> 8));
        recs.push_back(r.SetTimeStamp(static_cast<std::uint32_t>(i)));
    }
    return recs;
}

// A stored (uncompressed) container of the given objects.
std::string StoredContainer(const std::string& objects)
{
    std::string c(32, '\0');
    std::memcpy(c.data(), "LOBJ", 4);
    c[4] = 16;
    c[6] = 1;
    const std::uint32_t size = static_cast<std::uint32_t>(32 + objects.size());
    for (int i = 0; i < 4; ++i) {
        c[8 + i] = static_cast<char>(size >> (8 * i));
        c[24 + i] = static_cast<char>(objects.size() >> (8 * i));
    }
    c[12] = 10;
    return c + objects + std::string(size % 4, '\0');
}

std::string Uncompress(const std::string& file)
{
    // The single container our writer makes for a short log.
    const std::uint32_t plain = Le32(file, 144 + 24);
    std::string out(plain, '\0');
    uLongf n = plain;
    uncompress(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(file.data() + 176),
               Le32(file, 144 + 8) - 32);
    return out;
}

}  // namespace

TEST(BlfLog, RecordsRoundTripWithTheirTimes)
{
    constexpr std::uint32_t kTop = 0xFFFFFE00u;
    const struct {
        AdapterRecord record;
        TLogLine kind;
    } rows[] = {
        {testsupport::TraceRecord(tarvik::kCanReceived, 0x123, false, {0x11, 0x22}, kTop), TLogLine::Frame},
        {testsupport::TraceRecord(tarvik::kCanTransmitted, 0x18FEF100, true, {1, 2, 3, 4, 5, 6, 7, 8}, kTop + 345),
         TLogLine::Frame},
        {testsupport::TraceRecord(tarvik::kCanReceived, 0x7FF, false, {}, kTop + 346), TLogLine::Frame},
        {testsupport::TraceRecord(tarvik::kCanReceived, 0x1, true, {9, 9, 9, 9, 9, 9, 9, 9}, kTop + 400, 12),
         TLogLine::Frame},  // a length code above 8 keeps its code
        {AdapterRecord::CanRemote(0x321, false, 2, tarvik::kCanTransmitted).SetTimeStamp(kTop + 500),
         TLogLine::RemoteFrame},
        {AdapterRecord::CanRemote(0x1FFFFFFF, true, 0).SetTimeStamp(0x10), TLogLine::RemoteFrame},  // the counter wrapped
    };
    std::vector<AdapterRecord> recs;
    for (const auto& row : rows)
        recs.push_back(row.record);
    recs.push_back(testsupport::TraceRecord(tarvik::kLinReceived, 0x12, false, {1}, 0x20));
    tarvik::TTraceCounts counts;
    const std::string file = tarvik::FormatTrace(TTraceFormat::Blf, recs, kOpened, &counts);
    EXPECT_EQ(counts.written, std::size(rows));
    EXPECT_EQ(counts.linLeftOut, 1u);

    const testsupport::LogPass p = ReadLogBytes(file);
    EXPECT_EQ(p.error, "");
    ASSERT_EQ(p.frames.size(), std::size(rows));
    const std::int64_t wrapTicks = 0x100000010ll;
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const AdapterRecord& want = rows[i].record;
        const AdapterRecord& got = p.frames[i].record;
        EXPECT_EQ(p.kinds[i], rows[i].kind) << i;
        EXPECT_EQ(got.Type(), want.Type()) << i;
        EXPECT_EQ(got.Identifier(), want.Identifier()) << i;
        EXPECT_EQ(got.Extended(), want.Extended()) << i;
        EXPECT_EQ(got.Length(), want.Length()) << i;
        EXPECT_EQ(got.Data64(), want.Remote() ? 0 : want.Data64()) << i;
        const std::int64_t ticks = i + 1 == std::size(rows) ? wrapTicks : want.TimeStamp();
        EXPECT_EQ(p.frames[i].Micros(), kOpened + ticks * 100) << i;
    }
}

TEST(BlfLog, HeaderCountsTheObjectsAndTheFile)
{
    const std::vector<AdapterRecord> recs = Many(6000);  // two containers and more
    const std::string file = tarvik::FormatTrace(TTraceFormat::Blf, recs, kOpened);
    ASSERT_GE(file.size(), 144u);
    EXPECT_EQ(file.substr(0, 4), "LOGG");
    EXPECT_EQ(Le32(file, 4), 144u);
    EXPECT_EQ(Le32(file, 16), file.size());                    // file size
    EXPECT_EQ(Le32(file, 32), 6000u);                          // objects
    EXPECT_EQ(static_cast<unsigned char>(file[54]) | static_cast<unsigned char>(file[55]) << 8,
              123);                                            // start, milliseconds
    const testsupport::LogPass p = ReadLogBytes(file);
    ASSERT_EQ(p.frames.size(), 6000u);
    EXPECT_EQ(p.frames[5999].record.Data(0), static_cast<std::uint8_t>(5999));
    EXPECT_EQ(p.frames[5999].Micros(), kOpened + 599900);
}

TEST(BlfLog, DamageStopsReadingWithItsOffsetKeepingWhatCameBefore)
{
    const std::string file = tarvik::FormatTrace(TTraceFormat::Blf, Many(6000), kOpened);
    const std::size_t second = 144 + Le32(file, 152) + Le32(file, 152) % 4;  // the second container
    std::string badSignature = file;
    badSignature[second] = 'X';
    std::string badStream = file;
    badStream[second + 40] ^= 0x55;
    std::string huge = file;
    huge[second + 11] = 0x7F;
    const struct {
        std::string bytes;
        std::size_t framesAtLeast, framesAtMost;
        std::string error;
    } rows[] = {
        {file.substr(0, second + 100), 2730, 2730, "log: object cut short"},
        {file.substr(0, second + 8), 2730, 2730, "log: object header cut short at offset " + std::to_string(second)},
        {badSignature, 2730, 2730, "log: no object signature at offset " + std::to_string(second)},
        {badStream, 2730, 2730, "log: log container does not inflate at offset " + std::to_string(second)},
        {huge, 2730, 2730, "log: object of"},
        {file.substr(0, 100), 0, 0, "log: file header cut short at offset 100"},
    };
    for (const auto& row : rows) {
        const testsupport::LogPass p = ReadLogBytes(row.bytes);
        EXPECT_GE(p.frames.size(), row.framesAtLeast) << row.error;
        EXPECT_LE(p.frames.size(), row.framesAtMost) << row.error;
        EXPECT_EQ(p.error.substr(0, row.error.size()), row.error);
        for (std::size_t i = 0; i < p.frames.size(); ++i)
            ASSERT_EQ(p.frames[i].record.Data(0), static_cast<std::uint8_t>(i));
    }
}

TEST(BlfLog, ReadsStoredContainersAndObjectsRunningOnIntoTheNext)
{
    const std::vector<AdapterRecord> recs = Many(5);
    const std::string file = tarvik::FormatTrace(TTraceFormat::Blf, recs, kOpened);
    const std::string objects = Uncompress(file);
    ASSERT_EQ(objects.size(), 5u * 48);
    // Cut in the middle of the third object, and a v2 object header's kin: padding between.
    const std::string split = file.substr(0, 144) + StoredContainer(objects.substr(0, 100)) +
                              StoredContainer(objects.substr(100));
    const testsupport::LogPass p = ReadLogBytes(split);
    EXPECT_EQ(p.error, "");
    ASSERT_EQ(p.frames.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(p.frames[i].Micros(), kOpened + static_cast<std::int64_t>(i) * 100);

    // An object this program does not carry (a type 65 event) is counted and passed over.
    std::string other = objects.substr(0, 48);
    other[12] = 65;
    const testsupport::LogPass q = ReadLogBytes(file.substr(0, 144) + StoredContainer(other + objects));
    EXPECT_EQ(q.frames.size(), 5u);
    EXPECT_EQ(q.counts.otherKinds, 1u);

    // A time stamp decades past the start is damage: the frames before it are kept.
    std::string late = objects;
    for (int i = 24; i < 32; ++i)
        late[2 * 48 + i] = '\x7F';
    const testsupport::LogPass r = ReadLogBytes(file.substr(0, 144) + StoredContainer(late));
    EXPECT_EQ(r.frames.size(), 2u);
    EXPECT_EQ(r.error, "log: object time out of range 96 bytes into the container at offset 144");
}

TEST(BlfLog, AnEmptyCaptureIsAValidFile)
{
    const std::string file = tarvik::FormatTrace(TTraceFormat::Blf, {}, kOpened);
    EXPECT_EQ(file.size(), 144u);
    EXPECT_EQ(Le32(file, 16), 144u);
    const testsupport::LogPass p = ReadLogBytes(file);
    EXPECT_EQ(p.error, "");
    EXPECT_TRUE(p.frames.empty());
    EXPECT_EQ(p.format, tarvik::TLogFormat::Blf);
}
