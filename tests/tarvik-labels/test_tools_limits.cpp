// The real tarvik-labels executable against hostile input: endless devices stop at the
// size limit, running out of memory under a limit ends with a message and exit status 1
// instead of an abort, and label names with commas or quotes keep the CSV columns.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <sys/resource.h>

#include "support/childprocess.h"
#include "support/process.h"
#include "support/testsupport.h"

namespace {

using testsupport::Ran;
using ::testing::HasSubstr;

Ran Labels(const QStringList& args, rlim_t addressSpace = 0, bool keepOutput = false)
{
    testsupport::ProcessOptions o;
    if (!keepOutput) o.stdoutFile = QProcess::nullDevice();
    if (addressSpace != 0)
        o.childSetup = [addressSpace] {
            const rlimit lim{addressSpace, addressSpace};
            ::setrlimit(RLIMIT_AS, &lim);
        };
    return testsupport::RunProcess(QStringLiteral(TARVIK_LABELS_EXE), args, o);
}

}  // namespace

TEST(TarvikLabelsLimits, EndlessDevicesStopAtTheLimit)
{
    QTemporaryDir dir;
    const QString labels = dir.filePath("labels.txt");
    QFile f(labels);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("Speed,\"unsigned short\",,0x0C0,Big,0,16\r\n");
    f.close();
    const struct {
        QStringList args;
        const char* limit;
    } cases[] = {{{"import-dbc", "/dev/zero"}, "256 MB"}, {{"decode", "/dev/zero", labels}, "64 MB"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const Ran r = Labels(c.args);
        EXPECT_EQ(r.code, 1);
        EXPECT_THAT(r.err, HasSubstr("/dev/zero"));
        EXPECT_THAT(r.err, HasSubstr(c.limit));
    }
}

TEST(TarvikLabelsLimits, OutOfMemoryIsReportedNotAborted)
{
    if (!testsupport::kAddressSpaceLimitWorks)
        GTEST_SKIP() << "address-space limits do not work under the sanitizers";
    // Within the size limit, but more than the address space allowed.
    QTemporaryDir dir;
    const QString big = dir.filePath("big.dbc");
    ASSERT_TRUE(testsupport::WriteSparseFile(big.toStdString(), "", 200 << 20));
    const Ran r = Labels({"import-dbc", big}, rlim_t(160) << 20);
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_THAT(r.err, HasSubstr("out of memory"));
}

TEST(TarvikLabelsCsv, NamesThatNeedQuotingKeepTheColumns)
{
    QTemporaryDir dir;
    const QString labels = dir.filePath("labels.txt");
    const QString log = dir.filePath("frames.log");
    QFile f(labels);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    // Names with a comma and with quotes, each quoted in the label file itself.
    f.write("\"Engine,Speed\",\"unsigned char\",,0x0C0,Big,0,8\r\n"
            "\"say \"\"hi\"\"\",\"unsigned char\",,0x0C0,Big,8,8\r\n"
            "Plain,\"unsigned char\",,0x0C0,Big,16,8\r\n");
    f.close();
    QFile l(log);
    ASSERT_TRUE(l.open(QIODevice::WriteOnly));
    l.write("(1.000000) can0 0C0#010203\n");
    l.close();
    const Ran r = Labels({"decode", labels, log}, 0, true);
    EXPECT_EQ(r.code, 0) << r.err;
    const QList<QByteArray> lines = QByteArray::fromStdString(r.out).split('\n');
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[0], "time(s),\"Engine,Speed\",\"say \"\"hi\"\"\",Plain");
    EXPECT_EQ(lines[1].count(','), 3) << lines[1].toStdString();  // one value per header column
}
