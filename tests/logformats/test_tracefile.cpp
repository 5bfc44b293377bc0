#include <gtest/gtest.h>

#include <QFile>
#include <string>
#include <vector>

#include "logformats/tracefile.h"
#include "support/filesizelimit.h"
#include "support/logrecords.h"
#include "support/testsupport.h"

using tarvik::AdapterRecord;
using tarvik::TTraceCounts;
using tarvik::TTraceFormat;
using testsupport::TraceRecord;

namespace {

std::string Format(TTraceFormat format, const std::vector<AdapterRecord>& recs, std::int64_t opened,
                   TTraceCounts* counts = nullptr)
{
    return tarvik::FormatTrace(format, recs, opened, counts);
}

// Text from the first frame line on (the ASC header carries the local date).
std::string Body(const std::string& asc)
{
    const std::size_t at = asc.find("Start of measurement\n");
    return at == std::string::npos ? asc : asc.substr(at + 21);
}

}  // namespace

TEST(TraceFile, TimesUnwrapTheAdapterTickAndCountWhatIsLeftOut)
{
    const std::vector<AdapterRecord> recs = {
        TraceRecord(tarvik::kCanReceived, 0x123, false, {0x11, 0x22}, 0xFFFFFFF0u),
        TraceRecord(tarvik::kCanStatus, 0, false, {}, 0xFFFFFFF8u),
        TraceRecord(tarvik::kLinReceived, 0x12, false, {0xA1}, 0xFFFFFFFFu),
        TraceRecord(tarvik::kCanTransmitted, 0x18FEF100, true, {}, 0x00000010u),  // 32 ticks later, past the wrap
        TraceRecord(tarvik::kCanReceived, 0x001, false, {1}, 0x00000010u + 10000),
    };
    TTraceCounts counts;
    const std::int64_t opened = 1436509052249713;
    EXPECT_EQ(Format(TTraceFormat::Candump, recs, opened, &counts),
              "(1436938548.977713) can0 123#1122 R\n"
              "(1436938548.980913) can0 18FEF100# T\n"
              "(1436938549.980913) can0 001#01 R\n");
    EXPECT_EQ(counts.written, 3u);
    EXPECT_EQ(counts.linLeftOut, 1u);
    EXPECT_EQ(counts.skipped, 1u);

    const std::string asc = Format(TTraceFormat::Asc, recs, opened, &counts);
    EXPECT_EQ(Body(asc),
              "   0.000000 1  123             Rx   d 2 11 22\n"
              "   0.001500 L1 12  Rx   1 A1\n"
              "   0.003200 1  18FEF100x       Tx   d 0\n"
              "   1.003200 1  001             Rx   d 1 01\n"
              "End TriggerBlock\n");
    EXPECT_EQ(counts.written, 4u);
    EXPECT_EQ(counts.linLeftOut, 0u);
    EXPECT_EQ(asc.rfind("date ", 0), 0u);
}

TEST(TraceFile, EmptyHistoryGivesAnEmptyLogOrAHeaderOnly)
{
    EXPECT_EQ(Format(TTraceFormat::Candump, {}, 0), "");
    const std::string asc = Format(TTraceFormat::Asc, {}, 0);
    EXPECT_NE(asc.find("Begin Triggerblock"), std::string::npos);
    EXPECT_EQ(Body(asc), "End TriggerBlock\n");
}

TEST(TraceFile, SavedFileEqualsTheFormattedText)
{
    // Enough records for several pieces of the chunked writer.
    std::vector<AdapterRecord> recs;
    for (std::uint32_t i = 0; i < 150000; ++i)
        recs.push_back(TraceRecord(i % 3 ? tarvik::kCanReceived : tarvik::kLinReceived, i % 0x7FF, false,
                                   {std::uint8_t(i), std::uint8_t(i >> 8)}, i * 7));
    for (TTraceFormat format : {TTraceFormat::Candump, TTraceFormat::Asc}) {
        const QString path = QString::fromStdString(testsupport::BinaryDir() + "/trace-pieces.trace");
        TTraceCounts saved, formatted;
        QString error;
        ASSERT_TRUE(tarvik::SaveTrace(path, format, recs, 1000000, &saved, &error)) << error.toStdString();
        EXPECT_EQ(testsupport::ReadFile(path.toStdString()), Format(format, recs, 1000000, &formatted));
        EXPECT_EQ(saved.written, formatted.written);
        EXPECT_EQ(saved.linLeftOut, format == TTraceFormat::Candump ? 50000u : 0u);
    }
}

TEST(TraceFile, FormatOfTheFileName)
{
    TTraceFormat f{};
    EXPECT_TRUE(tarvik::TraceFormatOfName("a/b.ASC", &f));
    EXPECT_EQ(f, TTraceFormat::Asc);
    EXPECT_TRUE(tarvik::TraceFormatOfName("x.log", &f));
    EXPECT_EQ(f, TTraceFormat::Candump);
    EXPECT_FALSE(tarvik::TraceFormatOfName("x.txt", &f));
    EXPECT_FALSE(tarvik::TraceFormatOfName("log", &f));
}

// A write that fails part-way (file size limit) leaves the old file whole and says why.
TEST(TraceFile, FailedSaveKeepsTheOldFileAndGivesTheSystemsReason)
{
    const QString path = QString::fromStdString(testsupport::BinaryDir() + "/trace-save-limit.log");
    const QByteArray old = "(1.000000) can0 123#11 R\n";
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(old);
    }
    // Past the limit by less than Qt's write buffer: a buffered save would commit the
    // truncated file as a success.
    const std::string big(64 * 1024 + 5000, 'x');
    QString error;
    bool ok = true;
    {
        const testsupport::FileSizeLimit limit(64 * 1024);
        ASSERT_TRUE(limit.Set());
        ok = tarvik::SaveFileAtomically(path, big.data(), static_cast<std::int64_t>(big.size()), &error);
    }
    EXPECT_FALSE(ok) << "the failed save was reported as success";
    EXPECT_EQ(error.toStdString(), "File too large");
    EXPECT_EQ(testsupport::ReadFile(path.toStdString()), old.toStdString());

    QString why;
    EXPECT_TRUE(tarvik::SaveFileAtomically(path, "new\n", 4, &why)) << why.toStdString();
    EXPECT_EQ(testsupport::ReadFile(path.toStdString()), "new\n");
    EXPECT_FALSE(tarvik::SaveFileAtomically(path + "/no/such/dir/x.log", "a", 1, &why));
    EXPECT_FALSE(why.isEmpty());
}
