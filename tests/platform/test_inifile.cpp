#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

#include "platform/inifile.h"
#include "support/filesizelimit.h"
#include "support/testsupport.h"

using tarvik::TIniFile;

namespace {

QString WriteText(const QTemporaryDir& dir, const char* name, const QByteArray& text)
{
    const QString path = dir.filePath(QString::fromLatin1(name));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(text);
    return path;
}

}  // namespace

TEST(IniFileRead, WindowsFileWithCrLfAndOddSpelling)
{
    QTemporaryDir dir;
    const QString path = WriteText(dir, "a.INI",
                                   "; carried over\r\n[usb]\r\n DeviceNo = 3 \r\nBaudRate=921600\r\n\r\n"
                                   "[Log]\r\nLogfilePrefix=Trace\r\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("USB", "deviceno", 0), 3);
    EXPECT_EQ(ini.ReadInteger("USB", "BaudRate", 0), 921600);
    EXPECT_EQ(ini.ReadString("LOG", "LogfilePrefix", "Log"), "Trace");  // no stray CR in the value
    EXPECT_EQ(ini.ReadString("LOG", "Missing", "Log"), "Log");
    EXPECT_EQ(ini.ReadInteger("Nowhere", "DeviceNo", 7), 7);
}

TEST(IniFileRead, LfOnlyAndMissingFinalLineEnd)
{
    TIniFile ini("/dev/null/x.INI");
    ini.Parse("[CAN]\nBusSpeed=4\nDriverMode=1");
    EXPECT_EQ(ini.ReadInteger("CAN", "BusSpeed", 0), 4);
    EXPECT_EQ(ini.ReadInteger("CAN", "DriverMode", 0), 1);
}

TEST(IniFileRead, IntegersAndGarbage)
{
    TIniFile ini("/dev/null/x.INI");
    ini.Parse("[S]\r\na=-1000\r\nb=12abc\r\nc=\r\nd=$1F\r\ne=0x10\r\nf=99999999999\r\ng=+5\r\nh=-\r\n"
              "i=$FFFFFFFF\r\nj= 7 \r\n");
    EXPECT_EQ(ini.ReadInteger("S", "a", 0), -1000);
    EXPECT_EQ(ini.ReadInteger("S", "b", 42), 42);  // not an integer as a whole
    EXPECT_EQ(ini.ReadInteger("S", "c", 42), 42);
    EXPECT_EQ(ini.ReadInteger("S", "d", 0), 31);
    EXPECT_EQ(ini.ReadInteger("S", "e", 0), 16);
    EXPECT_EQ(ini.ReadInteger("S", "f", 42), 42);  // out of 32-bit range
    EXPECT_EQ(ini.ReadInteger("S", "g", 0), 5);
    EXPECT_EQ(ini.ReadInteger("S", "h", 42), 42);
    EXPECT_EQ(ini.ReadInteger("S", "i", 0), -1);
    EXPECT_EQ(ini.ReadInteger("S", "j", 0), 7);
}

TEST(IniFileRead, BooleansAreIntegers)
{
    TIniFile ini("/dev/null/x.INI");
    ini.Parse("[S]\r\nzero=0\r\none=1\r\ntwo=2\r\nneg=-1\r\nword=true\r\n");
    EXPECT_FALSE(ini.ReadBool("S", "zero", true));
    EXPECT_TRUE(ini.ReadBool("S", "one", false));
    EXPECT_TRUE(ini.ReadBool("S", "two", false));
    EXPECT_TRUE(ini.ReadBool("S", "neg", false));
    EXPECT_FALSE(ini.ReadBool("S", "word", false));  // garbage reads as the default
    EXPECT_TRUE(ini.ReadBool("S", "word", true));
}

TEST(IniFileRead, StringsAndRepeatedNames)
{
    TIniFile ini("/dev/null/x.INI");
    ini.Parse("[S]\r\nq=\"a b\"\r\nequals=x=y\r\nk=first\r\nK=second\r\n[S]\r\nk=third\r\n");
    EXPECT_EQ(ini.ReadString("S", "q", ""), "a b");
    EXPECT_EQ(ini.ReadString("S", "equals", ""), "x=y");
    EXPECT_EQ(ini.ReadString("S", "k", ""), "first");
}

TEST(IniFileRead, ShiftJisValueFromAWindowsMachine)
{
    TIniFile ini("/dev/null/x.INI");
    // "ログ" in code page 932
    ini.Parse("[LOG]\r\nLogfilePrefix=\x83\x8D\x83\x4F\r\n");
    // Without the decoder the value would come back as four Latin-1 characters.
    EXPECT_EQ(ini.ReadString("LOG", "LogfilePrefix", ""), QString::fromUtf8("ログ"));
}

TEST(IniFileRead, ByteOrderMarkDoesNotHideTheFirstSection)
{
    QTemporaryDir dir;
    const QString path = WriteText(dir, "bom.INI", "\xEF\xBB\xBF[MainForm]\r\nLeft=10\r\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("MainForm", "Left", 0), 10);
    EXPECT_TRUE(ini.WriteInteger("MainForm", "Top", 5));
    EXPECT_EQ(testsupport::ReadFile(path.toStdString()), "\xEF\xBB\xBF[MainForm]\r\nLeft=10\r\nTop=5\r\n");
}

// Files that must not be read: start-up may neither hang (FIFO) nor fill memory (/dev/zero),
// and the file, which we never saw, is not replaced by a write.
TEST(IniFileRead, OnlyRegularFilesWithinTheLimitAreRead)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath("fifo.INI");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString zero = dir.filePath("zero.INI");
    ASSERT_TRUE(QFile::link("/dev/zero", zero));
    const QString big = dir.filePath("big.INI");
    ASSERT_TRUE(testsupport::WriteSparseFile(big.toStdString(), "[S]\r\na=1\r\n", TIniFile::kMaxFileSize + 1));
    const QString folder = dir.filePath("folder.INI");
    ASSERT_TRUE(QDir().mkdir(folder));
    struct Case {
        QString path;
        const char* reason;
    } cases[] = {{fifo, "not a regular file"},
                 {zero, "not a regular file"},
                 {folder, "not a regular file"},
                 {big, "larger than 1 MB"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        TIniFile ini(c.path);
        EXPECT_TRUE(ini.LoadError().contains(c.path)) << ini.LoadError().toStdString();
        EXPECT_TRUE(ini.LoadError().contains(c.reason)) << ini.LoadError().toStdString();
        EXPECT_EQ(ini.ReadInteger("S", "a", 7), 7);
        EXPECT_FALSE(ini.WriteInteger("S", "a", 2));
        EXPECT_EQ(ini.ReadInteger("S", "a", 7), 2);  // held in memory all the same
    }
    EXPECT_EQ(QFileInfo(big).size(), TIniFile::kMaxFileSize + 1);
    EXPECT_FALSE(QFileInfo(fifo).isFile());

    // Exactly at the limit still reads; a missing file is no error.
    const QString edge = dir.filePath("edge.INI");
    ASSERT_TRUE(testsupport::WriteSparseFile(edge.toStdString(), "[S]\r\na=1\r\n", TIniFile::kMaxFileSize));
    TIniFile atLimit(edge);
    EXPECT_TRUE(atLimit.LoadError().isEmpty()) << atLimit.LoadError().toStdString();
    EXPECT_EQ(atLimit.ReadInteger("S", "a", 7), 1);
    EXPECT_TRUE(TIniFile(dir.filePath("missing.INI")).LoadError().isEmpty());
}

TEST(IniFileWrite, KeepsUnknownLinesAndOrderAndUsesCrLf)
{
    QTemporaryDir dir;
    const QString path = WriteText(dir, "b.INI",
                                   "; note\n[Other]\nx=1\n\n[usb]\nDeviceNo=3\nExtra=keep\n\n; tail\n");
    TIniFile ini(path);
    EXPECT_TRUE(ini.WriteInteger("USB", "DEVICENO", 5));
    EXPECT_TRUE(ini.WriteInteger("USB", "BaudRate", 115200));
    EXPECT_TRUE(ini.WriteString("New", "k", "v"));
    EXPECT_EQ(testsupport::ReadFile(path.toStdString()),
              "; note\r\n[Other]\r\nx=1\r\n\r\n[usb]\r\nDeviceNo=5\r\nExtra=keep\r\nBaudRate=115200\r\n\r\n"
              "; tail\r\n[New]\r\nk=v\r\n");
    TIniFile again(path);
    EXPECT_EQ(again.ReadInteger("USB", "DeviceNo", 0), 5);
    EXPECT_EQ(again.ReadString("New", "k", ""), "v");
}

TEST(IniFileWrite, CreatesFolderAndFileAndKeepsValuesOnOneLine)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("sub/deeper/c.INI");
    TIniFile ini(path);
    EXPECT_TRUE(ini.WriteString("S", "k", "two\r\nlines"));
    EXPECT_TRUE(ini.WriteBool("S", "b", true));
    EXPECT_EQ(testsupport::ReadFile(path.toStdString()), "[S]\r\nk=two  lines\r\nb=1\r\n");
}

TEST(IniFileWrite, BatchWritesOnceAndFailureIsReported)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("d.INI");
    TIniFile ini(path);
    {
        TIniFile::Batch batch(ini);
        ini.WriteInteger("S", "a", 1);
        EXPECT_FALSE(QFile::exists(path));  // nothing written before the batch ends
        ini.WriteInteger("S", "b", 2);
        EXPECT_TRUE(batch.Commit());
    }
    EXPECT_EQ(testsupport::ReadFile(path.toStdString()), "[S]\r\na=1\r\nb=2\r\n");

    // A path whose folder cannot be created: the write says so, the value is still held.
    const QString blocker = WriteText(dir, "file", "x");
    TIniFile bad(blocker + "/e.INI");
    EXPECT_FALSE(bad.WriteInteger("S", "a", 3));
    EXPECT_EQ(bad.ReadInteger("S", "a", 0), 3);
    EXPECT_FALSE(bad.WriteError().isEmpty());
}

// A write cut short (disk full, file size limit) fails with the system's reason and leaves
// the old file whole.
TEST(IniFileWrite, WriteCutShortKeepsTheOldFile)
{
    QTemporaryDir dir;
    const QByteArray old = "[S]\r\na=1\r\n";
    const QString path = WriteText(dir, "f.INI", old);
    TIniFile ini(path);
    bool ok = false;
    {
        const testsupport::FileSizeLimit limit(16);
        ASSERT_TRUE(limit.Set());
        ok = ini.WriteString("S", "b", QString(100, QLatin1Char('x')));
    }
    EXPECT_FALSE(ok);
    EXPECT_TRUE(ini.WriteError().contains("too large", Qt::CaseInsensitive)) << ini.WriteError().toStdString();
    EXPECT_EQ(QByteArray::fromStdString(testsupport::ReadFile(path.toStdString())), old);
    EXPECT_EQ(ini.ReadString("S", "b", ""), QString(100, QLatin1Char('x')));
    EXPECT_TRUE(ini.WriteInteger("S", "c", 1));  // once space is back, the next write works
    EXPECT_TRUE(ini.WriteError().isEmpty());
}

// Two instances on one file, and an editor beside them: each write lays only this run's keys
// over the file as it is then, so nobody's keys are lost.
TEST(IniFileWrite, TwoInstancesAndAnEditorKeepEachOthersKeys)
{
    QTemporaryDir dir;
    const QString path = WriteText(dir, "tarvik.INI", "[MainForm]\r\nLeft=1\r\n[CAN]\r\nBusSpeed=0\r\n");
    TIniFile first(path), second(path);
    ASSERT_TRUE(first.WriteInteger("CAN", "BusSpeed", 4));
    ASSERT_TRUE(second.WriteInteger("MainForm", "Left", 300));
    QFile edit(path);
    ASSERT_TRUE(edit.open(QIODevice::Append));
    edit.write("[LOG]\r\nLogfilePrefix=Bench\r\n");
    edit.close();
    {
        TIniFile::Batch batch(first);
        first.WriteInteger("MainForm", "Top", 20);
        first.WriteBool("LIN", "SendEnabled", true);
        ASSERT_TRUE(batch.Commit());
    }
    EXPECT_EQ(testsupport::ReadFile(path.toStdString()),
              "[MainForm]\r\nLeft=300\r\nTop=20\r\n[CAN]\r\nBusSpeed=4\r\n[LOG]\r\nLogfilePrefix=Bench\r\n"
              "[LIN]\r\nSendEnabled=1\r\n");
    // Reads after a write see the file as it was then, the other instance's keys too.
    EXPECT_EQ(first.ReadInteger("MainForm", "Left", 0), 300);
}
