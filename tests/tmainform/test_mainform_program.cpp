// The real tarvik executable: its command line, and a clean, quick exit on a termination
// request that still writes the window keys of the settings file beside the executable.
#include <QFile>
#include <QTemporaryDir>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>

#include "platform/inifile.h"
#include "support/process.h"
#include "support/testsupport.h"

namespace {

QString Executable() { return QString::fromStdString(testsupport::BinaryDir()) + "/tarvik"; }

}  // namespace

TEST(TarvikProgram, CommandLine)
{
    const testsupport::Ran help = testsupport::RunProcess(Executable(), {"--help"});
    EXPECT_EQ(help.code, 0);
    for (const char* option : {"--simulate", "--port PATH", "--replay FILE", "--speed X", "--fast", "--save OUT",
                               "--protocol native|slcan", "--lang ja|en", "--help", "--version"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    const testsupport::Ran version = testsupport::RunProcess(Executable(), {"--version"});
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out.rfind("tarvik 1.", 0), 0u) << version.out;

    // Refused before any window opens: a log that cannot be played names the file and the
    // reason, and an endless device is refused at once instead of read forever.
    QTemporaryDir dir;
    const struct {
        QStringList args;
        int code;
        std::string err;
    } cases[] = {
        {{"--verbose"}, 2, "--verbose"},
        {{"--lang", "fr"}, 2, "--lang needs ja or en"},
        {{"--replay", dir.path()}, 1, "tarvik: " + dir.path().toStdString() + ": Is a directory\n"},
        {{"--replay", "/dev/urandom"}, 1, "tarvik: /dev/urandom: not a regular file; a replay plays a log file\n"},
    };
    for (const auto& c : cases) {
        const testsupport::Ran r = testsupport::RunProcess(Executable(), c.args, {.offscreen = true});
        EXPECT_EQ(r.code, c.code) << c.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
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
    testsupport::Process p(exe, {"--simulate"}, {.offscreen = true});
    ASSERT_TRUE(p.WaitUntilCatching(SIGTERM));
    EXPECT_TRUE(p.Running(300));  // it runs until asked to stop
    p.Signal(SIGTERM);
    const testsupport::Ran r = p.Finish(2000);
    EXPECT_EQ(r.code, 0) << r.err;
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

// Starts exe, lets it run, sends sig, and says how it ended.
testsupport::Ran RunAndSignal(const QString& exe, int sig, const std::function<void()>& childSetup = {})
{
    testsupport::Process p(exe, {"--simulate"}, {.offscreen = true, .childSetup = childSetup});
    if (!p.WaitUntilCatching(sig) && p.Running())
        return {.err = "the program never caught the signal"};
    p.Signal(sig);
    return p.Finish(3000);
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
        const testsupport::Ran e = RunAndSignal(exe, SIGTERM);
        EXPECT_EQ(e.code, 0) << e.err;
        EXPECT_NE(e.err.find("not a regular file"), std::string::npos) << e.err;
        EXPECT_NE(e.err.find(ini.toStdString()), std::string::npos) << e.err;
        EXPECT_FALSE(QFileInfo(ini).isFile());
    }
}

TEST(TarvikProgram, WindowOffEveryScreenOpensOnOne)
{
    QTemporaryDir dir;
    const QString exe = CopyExecutable(dir);
    WriteIni(dir, "[MainForm]\r\nLeft=2147483647\r\nTop=2147483647\r\nViewState=0\r\n");
    const testsupport::Ran e = RunAndSignal(exe, SIGTERM);
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
    const testsupport::Ran e = RunAndSignal(exe, SIGHUP);
    EXPECT_EQ(e.code, 0) << e.err;
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
    const testsupport::Ran e = RunAndSignal(exe, SIGTERM, [] {
        const rlimit lim{16, 16};
        ::setrlimit(RLIMIT_FSIZE, &lim);
    });
    EXPECT_EQ(e.code, 0) << "killed at close? " << e.err;
    EXPECT_EQ(testsupport::ReadFile(dir.filePath("tarvik.INI").toStdString()), text.toStdString());
}
