#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/testsupport.h"
#include "tmainform/commandline.h"
#include "tmainform/mainformlogic.h"

using namespace tarvik;

TEST(MainFormFields, LinLengthFromIdentifierBits)
{
    EXPECT_EQ(LinLengthForId(0x01), 2);
    EXPECT_EQ(LinLengthForId(0x1F), 2);
    EXPECT_EQ(LinLengthForId(0x25), 4);
    EXPECT_EQ(LinLengthForId(0x3C), 8);
    EXPECT_EQ(LinLengthForId(0x7F), 8);  // not limited to 6 bits here
}

TEST(MainFormSaveName, NextFreeSequenceNumberOfTheDay)
{
    const QDate day(2026, 12, 7);
    QSet<QString> present{"Log20261207_001.txt", "Log20261207_002.txt", "Log20261206_003.txt"};
    auto exists = [&](const QString& n) { return present.contains(n); };
    EXPECT_EQ(ProposeLogFileName("Log", day, exists), "Log20261207_003.txt");
    EXPECT_EQ(ProposeLogFileName("Run", day, exists), "Run20261207_001.txt");
    present.clear();
    for (int n = 1; n <= 999; ++n) present.insert(QStringLiteral("Log20261207_%1.txt").arg(n, 3, 10, QLatin1Char('0')));
    EXPECT_EQ(ProposeLogFileName("Log", day, exists), "Log20261207_999.txt");
}

TEST(MainFormSaveName, TestedAgainstRealFiles)
{
    QTemporaryDir dir;
    for (const char* n : {"Log20261207_001.txt", "Log20261207_002.txt"}) {
        QFile f(dir.filePath(n));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    auto exists = [&](const QString& n) { return QFile::exists(dir.filePath(n)); };
    EXPECT_EQ(ProposeLogFileName("Log", QDate(2026, 12, 7), exists), "Log20261207_003.txt");
}

TEST(MainFormSaveFile, EveryLineEndsWithCrLf)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("out.txt");
    ASSERT_TRUE(WriteLinesCrLf(path, "a 1\nb 2\r\nc 3\r\n"));
    EXPECT_EQ(testsupport::ReadFile(path.toStdString()), "a 1\r\nb 2\r\nc 3\r\n");
    ASSERT_TRUE(WriteLinesCrLf(path, "last without break"));
    EXPECT_EQ(testsupport::ReadFile(path.toStdString()), "last without break\r\n");
    ASSERT_TRUE(WriteLinesCrLf(path, ""));
    EXPECT_EQ(testsupport::ReadFile(path.toStdString()), "");
}

TEST(MainFormSaveFile, UnwritableTargetIsReportedNotSwallowed)
{
    QString error;
    EXPECT_FALSE(WriteLinesCrLf("/nonexistent-dir/x/out.txt", "a\n", &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(CommandLine, OnlyTheFourOptions)
{
    EXPECT_TRUE(ParseCommandLine({}).error.isEmpty());
    EXPECT_TRUE(ParseCommandLine({"--simulate"}).simulate);
    EXPECT_EQ(ParseCommandLine({"--port", "/dev/ttyUSB3"}).port, "/dev/ttyUSB3");
    EXPECT_EQ(ParseCommandLine({"--port=/dev/pts/4"}).port, "/dev/pts/4");
    EXPECT_TRUE(ParseCommandLine({"--help"}).help);
    EXPECT_TRUE(ParseCommandLine({"--version"}).version);
    EXPECT_FALSE(ParseCommandLine({"--port"}).error.isEmpty());
    EXPECT_FALSE(ParseCommandLine({"-h"}).error.isEmpty());
    EXPECT_FALSE(ParseCommandLine({"--verbose"}).error.isEmpty());
    EXPECT_FALSE(ParseCommandLine({"extra"}).error.isEmpty());
    EXPECT_FALSE(ParseCommandLine({"--simulate", "--port", "/dev/ttyUSB0"}).error.isEmpty());
}

TEST(CommandLine, ProtocolNamesTheAdaptersLanguage)
{
    const struct {
        QStringList args;
        const char* protocol;  // nullptr: refused
    } cases[] = {
        {{"--protocol", "slcan", "--port", "/dev/ttyACM0"}, "slcan"},
        {{"--protocol=native"}, "native"},
        {{}, ""},
        {{"--protocol"}, nullptr},
        {{"--protocol", "SLCAN"}, nullptr},
        {{"--protocol=lawful"}, nullptr},
        {{"--simulate", "--protocol", "slcan"}, nullptr},  // the built-in emulator is native only
        {{"--replay", "t.log", "--protocol", "slcan"}, nullptr},
    };
    for (const auto& c : cases) {
        const TCommandLine cl = ParseCommandLine(c.args);
        SCOPED_TRACE(c.args.join(' ').toStdString());
        if (!c.protocol) {
            EXPECT_FALSE(cl.error.isEmpty());
            continue;
        }
        EXPECT_TRUE(cl.error.isEmpty()) << cl.error.toStdString();
        EXPECT_EQ(cl.protocol, QString::fromLatin1(c.protocol));
    }
}

TEST(CommandLine, LangTakesJaOrEn)
{
    const struct {
        QStringList args;
        const char* lang;  // nullptr: refused
    } cases[] = {
        {{"--lang", "ja"}, "ja"}, {{"--lang=en"}, "en"}, {{"--simulate"}, ""},
        {{"--lang"}, nullptr},    {{"--lang", "fr"}, nullptr}, {{"--lang="}, nullptr},
    };
    for (const auto& c : cases) {
        const TCommandLine cl = ParseCommandLine(c.args);
        SCOPED_TRACE(c.args.join(' ').toStdString());
        if (!c.lang) {
            EXPECT_TRUE(cl.error.contains("--lang")) << cl.error.toStdString();
            continue;
        }
        EXPECT_TRUE(cl.error.isEmpty()) << cl.error.toStdString();
        EXPECT_EQ(cl.lang, QString::fromLatin1(c.lang));
    }
}

TEST(CommandLine, ReplayWithItsPace)
{
    const TCommandLine fast = ParseCommandLine({"--replay", "t.asc", "--fast"});
    EXPECT_TRUE(fast.error.isEmpty());
    EXPECT_EQ(fast.replay, "t.asc");
    EXPECT_TRUE(fast.fast);
    const TCommandLine paced = ParseCommandLine({"--speed", "2.5", "--replay", "t.log"});
    EXPECT_TRUE(paced.error.isEmpty());
    EXPECT_DOUBLE_EQ(paced.speed, 2.5);
    EXPECT_FALSE(paced.fast);
    EXPECT_EQ(ParseCommandLine({"--replay", "t.asc", "--fast", "--save", "t.log"}).save, "t.log");
    for (const QStringList& bad : {QStringList{"--replay"}, {"--replay", "a", "--simulate"}, {"--replay", "a", "--port", "p"},
                                   {"--save", "t.log"}, {"--replay", "a", "--save"},
                                   {"--fast"}, {"--speed", "2"}, {"--replay", "a", "--speed", "0"},
                                   {"--replay", "a", "--speed", "x"}, {"--replay", "a", "--speed", "2", "--fast"}})
        EXPECT_FALSE(ParseCommandLine(bad).error.isEmpty()) << bad.join(' ').toStdString();
}
