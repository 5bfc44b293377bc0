// The real tarvik executable: its command line, and a clean, quick exit on a termination
// request that still writes the window keys of the settings file beside the executable.
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>

#include "platform/inifile.h"
#include "support/testsupport.h"

namespace {

QString Executable() { return QString::fromStdString(testsupport::BinaryDir()) + "/tarvik"; }

QProcessEnvironment Offscreen()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    return env;
}

// Waits until the program catches sig (its handler is installed: it is up far enough to
// close cleanly on it), however long a loaded machine takes to get there. False when it
// ended first or never got there.
bool WaitUntilCatching(QProcess& p, int sig, int timeoutMs = 30000)
{
    QElapsedTimer t;
    t.start();
    const std::uint64_t bit = std::uint64_t(1) << (sig - 1);
    do {
        if (p.state() == QProcess::NotRunning)
            return false;
        QFile status(QStringLiteral("/proc/%1/status").arg(p.processId()));
        if (status.open(QIODevice::ReadOnly))
            for (const QByteArray& line : status.readAll().split('\n'))
                if (line.startsWith("SigCgt:") && (line.mid(7).trimmed().toULongLong(nullptr, 16) & bit))
                    return true;
        p.waitForFinished(10);
    } while (t.elapsed() < timeoutMs);
    return false;
}

}  // namespace

TEST(TarvikProgram, CommandLine)
{
    QProcess p;
    p.start(Executable(), {"--help"});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 0);
    const QString usage = QString::fromLocal8Bit(p.readAllStandardOutput());
    for (const char* option : {"--simulate", "--port PATH", "--replay FILE", "--speed X", "--fast", "--save OUT",
                               "--protocol native|slcan", "--lang ja|en", "--help", "--version"})
        EXPECT_TRUE(usage.contains(option)) << option;

    p.start(Executable(), {"--version"});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_TRUE(QString::fromLocal8Bit(p.readAllStandardOutput()).startsWith("tarvik 1."));

    p.setProcessEnvironment(Offscreen());
    p.start(Executable(), {"--verbose"});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 2);
    EXPECT_TRUE(QString::fromLocal8Bit(p.readAllStandardError()).contains("--verbose"));
    p.start(Executable(), {"--lang", "fr"});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 2);
    EXPECT_TRUE(QString::fromLocal8Bit(p.readAllStandardError()).contains("--lang needs ja or en"));

    // A log that cannot be played names the file and the reason before any window opens.
    QTemporaryDir dir;
    p.start(Executable(), {"--replay", dir.path()});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(QString::fromLocal8Bit(p.readAllStandardError()).contains("tarvik: " + dir.path() + ": Is a directory\n"));
    // An endless device is refused at once instead of read forever.
    p.start(Executable(), {"--replay", "/dev/urandom"});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(QString::fromLocal8Bit(p.readAllStandardError())
                    .contains("tarvik: /dev/urandom: not a regular file; a replay plays a log file\n"));
}

TEST(TarvikProgram, TerminationClosesQuicklyAndWritesTheWindowKeys)
{
    // A copy of the executable in a folder of its own, so its settings file lands there.
    QTemporaryDir dir;
    const QString exe = dir.filePath("tarvik");
    ASSERT_TRUE(QFile::copy(Executable(), exe));
    {
        QFile ini(dir.filePath("tarvik.INI"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[MainForm]\r\nLeft=10\r\nTop=20\r\nViewState=1\r\n[Other]\r\nKeep=yes\r\n");
    }
    QProcess p;
    p.setProcessEnvironment(Offscreen());
    p.start(exe, {"--simulate"});
    ASSERT_TRUE(p.waitForStarted(10000));
    ASSERT_TRUE(WaitUntilCatching(p, SIGTERM));
    EXPECT_FALSE(p.waitForFinished(300));  // it runs until asked to stop
    ::kill(pid_t(p.processId()), SIGTERM);
    EXPECT_TRUE(p.waitForFinished(2000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
    const std::string text = testsupport::ReadFile(dir.filePath("tarvik.INI").toStdString());
    EXPECT_NE(text.find("[MainForm]\r\nLeft=10\r\nTop=20\r\nViewState=1\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[Other]\r\nKeep=yes\r\n"), std::string::npos) << text;
}

namespace {

// A copy of the executable in dir, so that its settings file is dir/tarvik.INI.
QString CopyExecutable(const QTemporaryDir& dir)
{
    const QString exe = dir.filePath("tarvik");
    EXPECT_TRUE(QFile::copy(Executable(), exe));
    return exe;
}

void WriteIni(const QTemporaryDir& dir, const QByteArray& text)
{
    QFile ini(dir.filePath("tarvik.INI"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(text);
}

struct Ended {
    bool normal = false;
    int code = -1;
    QString err;
};

// Starts exe, lets it run, sends sig, and says how it ended.
Ended RunAndSignal(const QString& exe, int sig, const std::function<void()>& childSetup = {})
{
    QProcess p;
    p.setProcessEnvironment(Offscreen());
    if (childSetup) p.setChildProcessModifier(childSetup);
    p.start(exe, {"--simulate"});
    Ended e;
    if (!p.waitForStarted(10000)) return e;
    if (!WaitUntilCatching(p, sig) && p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished();
        e.err = "the program never caught the signal";
        return e;
    }
    if (p.state() != QProcess::NotRunning) {
        ::kill(pid_t(p.processId()), sig);
        if (!p.waitForFinished(3000)) {
            p.kill();
            p.waitForFinished();
        }
    }
    e.normal = p.exitStatus() == QProcess::NormalExit;
    e.code = p.exitCode();
    e.err = QString::fromLocal8Bit(p.readAllStandardError());
    return e;
}

}  // namespace

// A settings file that is no regular file: start with the defaults and say so; the file
// stays what it was.
TEST(TarvikProgram, SettingsFileThatIsNoRegularFile)
{
    for (const char* kind : {"fifo", "device"}) {
        SCOPED_TRACE(kind);
        QTemporaryDir dir;
        const QString exe = CopyExecutable(dir);
        const QString ini = dir.filePath("tarvik.INI");
        if (std::string(kind) == "fifo")
            ASSERT_EQ(::mkfifo(QFile::encodeName(ini).constData(), 0600), 0);
        else
            ASSERT_TRUE(QFile::link("/dev/zero", ini));
        const Ended e = RunAndSignal(exe, SIGTERM);
        EXPECT_TRUE(e.normal);
        EXPECT_EQ(e.code, 0);
        EXPECT_TRUE(e.err.contains("not a regular file")) << e.err.toStdString();
        EXPECT_TRUE(e.err.contains(ini)) << e.err.toStdString();
        EXPECT_FALSE(QFileInfo(ini).isFile());
    }
}

TEST(TarvikProgram, WindowOffEveryScreenOpensOnOne)
{
    QTemporaryDir dir;
    const QString exe = CopyExecutable(dir);
    WriteIni(dir, "[MainForm]\r\nLeft=2147483647\r\nTop=2147483647\r\nViewState=0\r\n");
    const Ended e = RunAndSignal(exe, SIGTERM);
    EXPECT_EQ(e.code, 0);
    const tarvik::TIniFile ini(dir.filePath("tarvik.INI"));
    const int left = ini.ReadInteger("MainForm", "Left", -1), top = ini.ReadInteger("MainForm", "Top", -1);
    // The offscreen platform's one screen is 800 x 600.
    EXPECT_GE(left, 0);
    EXPECT_LT(left, 800 - 24);
    EXPECT_GE(top, 0);
    EXPECT_LT(top, 600 - 24);
}

// A byte-order mark in front of the first section, and SIGHUP as the way to end.
TEST(TarvikProgram, ByteOrderMarkAndHangUp)
{
    QTemporaryDir dir;
    const QString exe = CopyExecutable(dir);
    const QByteArray text = "\xEF\xBB\xBF[MainForm]\r\nLeft=10\r\nTop=20\r\nViewState=1\r\n";
    WriteIni(dir, text);
    const Ended e = RunAndSignal(exe, SIGHUP);
    EXPECT_TRUE(e.normal);
    EXPECT_EQ(e.code, 0);
    EXPECT_EQ(testsupport::ReadFile(dir.filePath("tarvik.INI").toStdString()), text.toStdString());
}

// The settings file cannot be written at close (file size limit): the program still ends
// normally, and the old file stays whole.
TEST(TarvikProgram, UnwritableSettingsAtClose)
{
    QTemporaryDir dir;
    const QString exe = CopyExecutable(dir);
    const QByteArray text = "[MainForm]\r\nLeft=10\r\nTop=20\r\nViewState=1\r\n[Other]\r\nKeep=yes\r\n";
    WriteIni(dir, text);
    const Ended e = RunAndSignal(exe, SIGTERM, [] {
        const rlimit lim{16, 16};
        ::setrlimit(RLIMIT_FSIZE, &lim);
    });
    EXPECT_TRUE(e.normal) << "killed at close";
    EXPECT_EQ(e.code, 0);
    EXPECT_EQ(testsupport::ReadFile(dir.filePath("tarvik.INI").toStdString()), text.toStdString());
}
