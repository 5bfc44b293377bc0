// The real tarvik-labels executable against hostile input: endless devices stop at the
// size limit, running out of memory under a limit ends with a message and exit status 1
// instead of an abort, and label names with commas or quotes keep the CSV columns.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <sys/resource.h>

#include "support/childprocess.h"

namespace {

struct ToolRun {
    int exitCode = -1;
    bool crashed = false;
    QString err;
    QByteArray out;
};

ToolRun Labels(const QStringList& args, rlim_t addressSpace = 0, bool keepOutput = false)
{
    QProcess p;
    p.setProgram(QStringLiteral(TARVIK_LABELS_EXE));
    p.setArguments(args);
    if (!keepOutput) p.setStandardOutputFile(QProcess::nullDevice());
    if (addressSpace != 0)
        p.setChildProcessModifier([addressSpace] {
            const rlimit lim{addressSpace, addressSpace};
            ::setrlimit(RLIMIT_AS, &lim);
        });
    p.start();
    ToolRun r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("did not finish");
        return r;
    }
    r.crashed = p.exitStatus() != QProcess::NormalExit;
    r.exitCode = p.exitCode();
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    if (keepOutput) r.out = p.readAllStandardOutput();
    return r;
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
        const ToolRun r = Labels(c.args);
        EXPECT_FALSE(r.crashed);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.err.contains("/dev/zero")) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.limit)) << r.err.toStdString();
    }
}

TEST(TarvikLabelsLimits, OutOfMemoryIsReportedNotAborted)
{
    if (!testsupport::kAddressSpaceLimitWorks)
        GTEST_SKIP() << "address-space limits do not work under the sanitizers";
    // Within the size limit, but more than the address space allowed.
    QTemporaryDir dir;
    const QString big = dir.filePath("big.dbc");
    QFile f(big);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_TRUE(f.resize(200 << 20));  // sparse
    f.close();
    const ToolRun r = Labels({"import-dbc", big}, rlim_t(160) << 20);
    EXPECT_FALSE(r.crashed) << r.err.toStdString();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("out of memory")) << r.err.toStdString();
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
    const ToolRun r = Labels({"decode", labels, log}, 0, true);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QList<QByteArray> lines = r.out.split('\n');
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[0], "time(s),\"Engine,Speed\",\"say \"\"hi\"\"\",Plain");
    EXPECT_EQ(lines[1].count(','), 3) << lines[1].toStdString();  // one value per header column
}
