// The real tarvik executable: its command line, and a clean, quick exit on a termination
// request that still writes the window keys of the settings file beside the executable.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <csignal>

#include "support/testsupport.h"

namespace {

QString Executable() { return QString::fromStdString(testsupport::BinaryDir()) + "/tarvik"; }

QProcessEnvironment Offscreen()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    return env;
}

}  // namespace

TEST(TarvikProgram, CommandLine)
{
    QProcess p;
    p.start(Executable(), {"--help"});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 0);
    const QString usage = QString::fromLocal8Bit(p.readAllStandardOutput());
    for (const char* option : {"--simulate", "--port PATH", "--replay FILE", "--speed X", "--fast", "--help", "--version"})
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

    // A log that cannot be played names the file and the reason before any window opens.
    QTemporaryDir dir;
    p.start(Executable(), {"--replay", dir.path()});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(QString::fromLocal8Bit(p.readAllStandardError()).contains("tarvik: " + dir.path() + ": Is a directory\n"));
    p.start(Executable(), {"--replay", "/dev/zero"});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(QString::fromLocal8Bit(p.readAllStandardError()).contains("longer than the limit of 65536 bytes"));
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
    EXPECT_FALSE(p.waitForFinished(1500));  // it runs until asked to stop
    ::kill(pid_t(p.processId()), SIGTERM);
    EXPECT_TRUE(p.waitForFinished(2000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
    const std::string text = testsupport::ReadFile(dir.filePath("tarvik.INI").toStdString());
    EXPECT_NE(text.find("[MainForm]\r\nLeft=10\r\nTop=20\r\nViewState=1\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[Other]\r\nKeep=yes\r\n"), std::string::npos) << text;
}
