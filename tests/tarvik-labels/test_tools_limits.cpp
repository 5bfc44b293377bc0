// The real tarvik-labels executable against inputs that would exhaust memory: endless
// devices stop at the size limit, and running out of memory under a limit ends with a
// message and exit status 1 instead of an abort.
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
};

ToolRun Labels(const QStringList& args, rlim_t addressSpace = 0)
{
    QProcess p;
    p.setProgram(QStringLiteral(TARVIK_LABELS_EXE));
    p.setArguments(args);
    p.setStandardOutputFile(QProcess::nullDevice());
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
