#include <csignal>
#include <sys/resource.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <bit>
#include <cstring>
#include <limits>
#include <random>
#include <stdexcept>

#include "support/filesizelimit.h"
#include "support/currentdir.h"
#include "support/testsupport.h"
#include "platform/csv.h"
#include "platform/novalue.h"
#include "tgraphform/tdaqlogdata.h"

using namespace tarvik;

namespace {

std::string Printf(const char* format, double v)
{
    char buf[512];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

}  // namespace

TEST(DaqLogData, TwoLabelsThreeSamples)
{
    TDaqLogData log(1024, 50);
    log.Columns = {"A", "B"};
    for (double a : {1.0, 2.0, 3.0}) {
        log.Push(a);
        log.Push(0.5);
    }
    EXPECT_EQ(log.BuildCsv(), "time(s),A,B\r\n0.000,1,0.5\r\n0.050,2,0.5\r\n0.100,3,0.5\r\n");
}

TEST(DaqLogData, NoValueIsAnEmptyFieldAndNanStaysNan)
{
    TDaqLogData log(1024, 50);
    log.Columns = {"A", "B", "C"};
    for (double v : {NoValue(), 2.0, std::numeric_limits<double>::quiet_NaN(), NoValue(), NoValue(), 0.0})
        log.Push(v);
    EXPECT_EQ(log.BuildCsv(), "time(s),A,B,C\r\n0.000,,2,nan\r\n0.050,,,0\r\n");
}

TEST(DaqLogData, WrappedBlockKeepsTheLatestCompleteRows)
{
    TDaqLogData log(80, 50);  // ten values
    log.Columns = {"x", "y", "z"};
    for (int sample = 1; sample <= 4; ++sample)
        for (int col = 0; col < 3; ++col)
            log.Push(sample * 10 + col);
    EXPECT_EQ(log.Count(), 10u);
    EXPECT_EQ(log.BuildCsv(),
              "time(s),x,y,z\r\n0.000,20,21,22\r\n0.050,30,31,32\r\n0.100,40,41,42\r\n");
}

TEST(DaqLogData, HeaderOnlyCases)
{
    TDaqLogData none(1024, 50);
    none.Push(1);
    EXPECT_EQ(none.BuildCsv(), "time(s)\r\n");
    TDaqLogData partial(1024, 50);  // fewer values than one row
    partial.Columns = {"a", "b", "c"};
    partial.Push(1);
    partial.Push(2);
    EXPECT_EQ(partial.BuildCsv(), "time(s),a,b,c\r\n");
}

TEST(DaqLogData, FillPercentFromEmptyToWrapped)
{
    TDaqLogData log(80, 10);
    EXPECT_DOUBLE_EQ(log.FillPercent(), 0.0);
    for (int i = 0; i < 5; ++i)
        log.Push(i);
    EXPECT_DOUBLE_EQ(log.FillPercent(), 50.0);
    for (int i = 0; i < 13; ++i)
        log.Push(i);
    EXPECT_DOUBLE_EQ(log.FillPercent(), 100.0);
    EXPECT_EQ(log.Count(), 10u);
}

TEST(DaqLogData, HeaderQuotesOnlyNamesThatWouldSplitIt)
{
    const struct {
        std::string name, field;
    } cases[] = {
        {"EngineSpeed", "EngineSpeed"},
        {"Speed km/h (x)", "Speed km/h (x)"},
        {"\xE8\xBB\x8A\xE9\x80\x9F", "\xE8\xBB\x8A\xE9\x80\x9F"},  // bytes pass through unchanged
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\nlines", "\"two\nlines\""},
        {"cr\rhere", "\"cr\rhere\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CsvField(c.name), c.field) << c.name;
    TDaqLogData log(64, 50);
    log.Columns = {"a,b", "c"};
    log.Push(1);
    log.Push(2);
    EXPECT_EQ(log.BuildCsv(), "time(s),\"a,b\",c\r\n0.000,1,2\r\n");
}

TEST(DaqLogData, SizesThatHoldNoValueAreRefused)
{
    for (std::uint32_t size : {0u, 1u, 7u})
        EXPECT_THROW(TDaqLogData(size, 50), std::runtime_error) << size;
    EXPECT_NO_THROW(TDaqLogData(8, 50));
    const struct {
        std::int64_t in;
        std::uint32_t out;
    } clamps[] = {{0, kMinLogBufferSize},
                  {-5, kMinLogBufferSize},
                  {8 * 1024 * 1024 - 1, kMinLogBufferSize},
                  {64 * 1024 * 1024, 64u * 1024 * 1024},
                  {512 * 1024 * 1024, 512u * 1024 * 1024},
                  {std::int64_t(4) << 30, kMaxLogBufferSize}};
    for (const auto& c : clamps)
        EXPECT_EQ(ClampLogBufferSize(c.in), c.out) << c.in;
}

TEST(DaqLogData, FailedAllocationSaysWhy)
{
    auto fail = [](std::size_t) -> void* {
        errno = ENOMEM;
        return nullptr;
    };
    try {
        TDaqLogData log(1024, 50, fail);
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), std::strerror(ENOMEM));
    }
}

TEST(DaqLogData, DefaultFileNames)
{
    const QDate date(2015, 6, 1);
    QSet<QString> present;
    auto exists = [&](const QString& n) { return present.contains(n); };
    EXPECT_EQ(DefaultDaqFileName("Daq", date, exists), "Daq20150601_001.csv");
    present.insert("Daq20150601_001.csv");
    EXPECT_EQ(DefaultDaqFileName("Daq", date, exists), "Daq20150601_002.csv");
    EXPECT_EQ(DefaultDaqFileName("", date, exists), "20150601_001.csv");
    for (int i = 1; i <= 999; ++i)
        present.insert(QString("Daq20150601_%1.csv").arg(i, 3, 10, QChar('0')));
    EXPECT_EQ(DefaultDaqFileName("Daq", date, exists), "Daq20150601_999.csv");
    present.remove("Daq20150601_500.csv");
    EXPECT_EQ(DefaultDaqFileName("Daq", date, exists), "Daq20150601_500.csv");

    // The real test on the file system: a name relative to the current directory.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString old = QDir::currentPath();
    {
        const testsupport::CurrentDirGuard cwd(dir.path());
        ASSERT_TRUE(cwd.Entered());
        QFile f("P20150601_001.csv");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.close();
        EXPECT_EQ(DefaultDaqFileName("P", date), "P20150601_002.csv");
    }
    EXPECT_EQ(QDir::currentPath(), old);
}

TEST(DaqLogData, SaveWritesTheFileAndNamesAFailure)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TDaqLogData log(1024, 50);
    log.Columns = {"A"};
    log.Push(1.5);
    const QString path = dir.filePath("out.csv");
    QString error;
    ASSERT_TRUE(log.SaveToCsv(path, &error)) << error.toStdString();
    EXPECT_EQ(testsupport::ReadFile(path.toStdString()), "time(s),A\r\n0.000,1.5\r\n");

    const QString bad = dir.filePath("missing/dir/out.csv");
    EXPECT_FALSE(log.SaveToCsv(bad, &error));
    EXPECT_TRUE(error.startsWith("Cannot write " + bad + " : ")) << error.toStdString();
    EXPECT_GT(error.size(), QString("Cannot write " + bad + " : ").size());

    // A write cut short by a file size limit fails with the reason and keeps the old file.
    for (int i = 0; i < 100; ++i) log.Push(1234.5678 + i);
    bool ok = false;
    {
        const testsupport::FileSizeLimit limit(200);
        ASSERT_TRUE(limit.Set());
        ok = log.SaveToCsv(path, &error);
    }
    EXPECT_FALSE(ok) << "a cut-short CSV was reported as written";
    EXPECT_TRUE(error.startsWith("Cannot write " + path + " : ")) << error.toStdString();
    EXPECT_EQ(testsupport::ReadFile(path.toStdString()), "time(s),A\r\n0.000,1.5\r\n");
}

// The fast writer against printf, on values chosen to hit every branch of "%g": NaN and
// infinities, denormals, the fixed/exponent switch, rounding ties and the extremes.
TEST(DaqLogData, ValuesMatchPrintfOnAMillionDoubles)
{
    std::vector<double> values = {0.0,
                                  -0.0,
                                  std::numeric_limits<double>::quiet_NaN(),
                                  -std::numeric_limits<double>::quiet_NaN(),
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::denorm_min(),
                                  -std::numeric_limits<double>::denorm_min(),
                                  std::numeric_limits<double>::min(),
                                  std::numeric_limits<double>::max(),
                                  std::numeric_limits<double>::lowest(),
                                  1e300,
                                  -1e-300,
                                  1e-5,
                                  1e-4,
                                  0.0001,
                                  999999.5,
                                  9999995,
                                  1234565,
                                  0.5,
                                  1234.5,
                                  0.000123,
                                  100000,
                                  1000000,
                                  999999.5,
                                  999999.4999999999,
                                  0.00099999949999999,
                                  0.0009999995,
                                  1.0000005,
                                  123.4565,
                                  0.1,
                                  0.3,
                                  2.675};
    std::mt19937_64 rng(20150601);
    std::uniform_real_distribution<double> exp10(-310, 310);
    std::uniform_int_distribution<std::uint64_t> bits;
    while (values.size() < 1000000) {
        switch (values.size() % 6) {
        case 0:  // any bit pattern: NaNs with payloads, denormals, everything
            values.push_back(std::bit_cast<double>(bits(rng)));
            break;
        case 1:
            values.push_back(std::pow(10.0, exp10(rng)) * (bits(rng) & 1 ? -1 : 1));
            break;
        case 2:  // integers and halves near the six-digit boundary
            values.push_back(double(std::int64_t(bits(rng) % 20000000)) / (bits(rng) & 1 ? 2 : 1));
            break;
        case 3:  // the fixed-notation range, where six-digit rounding ties are likely
            values.push_back(double(std::int64_t(bits(rng) % 100000000)) / std::pow(10.0, double(bits(rng) % 12)));
            break;
        case 4:
            values.push_back(std::pow(10.0, exp10(rng) / 50.0));  // 1e-6 .. 1e6
            break;
        default:
            values.push_back(double(std::int64_t(bits(rng))) / 4096.0);
        }
    }
    std::size_t mismatches = 0;
    for (double v : values) {
        std::string fast;
        AppendGeneral(fast, v);
        const std::string slow = Printf("%lg", v);
        if (fast != slow && ++mismatches <= 5)
            ADD_FAILURE() << slow << " written as " << fast;
    }
    EXPECT_EQ(mismatches, 0u);
}

TEST(DaqLogData, TimesMatchPrintfOverALongRun)
{
    for (int rate : {5, 10, 20, 25, 50, 100, 200, 500, 1000, 7}) {
        double t = 0;
        const double step = rate * 0.001;
        std::size_t mismatches = 0;
        for (int row = 0; row < 200000; ++row, t += step) {
            std::string fast;
            AppendTime(fast, t);
            if (fast != Printf("%5.3f", t) && ++mismatches <= 3)
                ADD_FAILURE() << rate << " ms row " << row << ": " << Printf("%5.3f", t) << " as " << fast;
        }
        EXPECT_EQ(mismatches, 0u) << rate;
    }
}
