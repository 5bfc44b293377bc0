#include <QString>
#include <Qt>
#include <gtest/gtest.h>

#include "tsendform/sendfields.h"

using namespace tarvik;

namespace {
std::string Stx(const std::string& body) { return "\x02" + body + "\x03"; }

TFrameFields Frame(bool ext, const char* id, const char* len, std::initializer_list<const char*> data)
{
    TFrameFields f;
    f.extended = ext;
    f.id = id;
    f.length = len;
    std::size_t i = 0;
    for (const char* d : data)
        f.data[i++] = d;
    return f;
}
}  // namespace

TEST(SendKeys, HexAndDecimalFilters)
{
    struct Row {
        int key;
        const char* text;
        FieldKind kind;
        KeyVerdict verdict;
    };
    const Row rows[] = {
        {Qt::Key_G, "G", FieldKind::Hex, KeyVerdict::Discard},
        {Qt::Key_Minus, "-", FieldKind::Hex, KeyVerdict::Discard},
        {Qt::Key_F, "f", FieldKind::Hex, KeyVerdict::Pass},
        {Qt::Key_A, "A", FieldKind::Hex, KeyVerdict::Pass},
        {Qt::Key_9, "9", FieldKind::Hex, KeyVerdict::Pass},
        {Qt::Key_A, "a", FieldKind::Decimal, KeyVerdict::Discard},
        {Qt::Key_Period, ".", FieldKind::Decimal, KeyVerdict::Discard},
        {Qt::Key_7, "7", FieldKind::Decimal, KeyVerdict::Pass},
        {Qt::Key_Space, " ", FieldKind::Hex, KeyVerdict::Pass},
        {Qt::Key_Backspace, "\b", FieldKind::Hex, KeyVerdict::Pass},
        {Qt::Key_Left, "", FieldKind::Decimal, KeyVerdict::Pass},
        {Qt::Key_V, "\x16", FieldKind::Hex, KeyVerdict::Pass},  // Ctrl+V
        {Qt::Key_Return, "\r", FieldKind::Hex, KeyVerdict::NextField},
        {Qt::Key_Enter, "\r", FieldKind::Decimal, KeyVerdict::NextField},
        {0, "\xE3\x81\x82", FieldKind::Hex, KeyVerdict::Discard},  // a kana is visible, not hex
    };
    for (const Row& r : rows)
        EXPECT_EQ(r.verdict, FilterKey(r.key, QString::fromUtf8(r.text), r.kind)) << r.text;
}

TEST(SendFields, ReadingAndNormalising)
{
    EXPECT_EQ(0x1Fu, ParseHexField("1f"));
    EXPECT_EQ(0xFFFFFFFFu, ParseHexField("FFFFFFFF"));
    EXPECT_EQ(0u, ParseHexField(""));
    EXPECT_EQ(0u, ParseHexField(" "));
    EXPECT_EQ(0u, ParseHexField("1 2"));
    EXPECT_EQ(0u, ParseHexField("100000000"));  // beyond 32 bits does not convert
    EXPECT_EQ(0u, ParseHexField("0x12"));       // the prefix is ours to add

    EXPECT_EQ("01F", NormaliseHexField("1F", 3));
    EXPECT_EQ("0000001F", NormaliseHexField("1f", 8));
    EXPECT_EQ("1FFFFFFF", NormaliseHexField("1FFFFFFF", 3));  // never cut
    EXPECT_EQ("000", NormaliseHexField(" ", 3));
    EXPECT_EQ("0A", NormaliseHexField("a", 2));

    EXPECT_EQ("12", NormaliseDecField("0012"));
    EXPECT_EQ("0", NormaliseDecField(""));
    EXPECT_EQ("0", NormaliseDecField("-5"));
    EXPECT_EQ(99999999u, ParseDecField("99999999"));
}

TEST(SendCommands, SingleShotBytes)
{
    EXPECT_EQ(Stx("T0200000123" "1122000000000000"), SingleShotCommand(Frame(false, "123", "2", {"11", "22"})));
    // Extended flag, all eight bytes always sent, lower-case hex read.
    EXPECT_EQ(Stx("T181FFFFFFF" "0102030405AABBFF"),
              SingleShotCommand(Frame(true, "1fffffff", "8", {"1", "2", "3", "4", "5", "aa", "bb", "ff"})));
    // A standard identifier above 0x7FF goes out as typed; length 9 as 9.
    EXPECT_EQ(Stx("T0900000FFF" "0000000000000000"), SingleShotCommand(Frame(false, "FFF", "9", {})));
    // Fields that do not convert are sent as 0.
    EXPECT_EQ(Stx("T0000000000" "0000000000000000"), SingleShotCommand(Frame(false, " ", "", {"zz"})));
    EXPECT_EQ(29u, SingleShotCommand(Frame(false, "1", "12", {})).size());  // a stray long length cannot stretch it
}

TEST(SendCommands, IntervalBytes)
{
    const auto f = Frame(false, "123", "2", {"11", "22"});
    EXPECT_EQ(Stx("I0200000123" "1122000000000000" "00002710"), IntervalCommand(f, "1000"));
    EXPECT_EQ(Stx("I0200000123" "1122000000000000" "3B9AC9F6"), IntervalCommand(f, "99999999"));
    EXPECT_EQ(37u, IntervalCommand(f, "").size());
    EXPECT_EQ(Stx("I0200000123" "1122000000000000" "00000000"), IntervalCommand(f, "-5"));
    EXPECT_EQ(Stx("I0200000123" "1122000000000000" "FFFFFFFF"), IntervalCommand(f, "999999999"));
}
