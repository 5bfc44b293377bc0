#include <QString>
#include <Qt>
#include <gtest/gtest.h>

#include "platform/numberfield.h"

using namespace tarvik;

TEST(NumberField, KeyFilterTakesDigitsOfItsKindSpaceAndControlKeys)
{
    const struct {
        int key;
        const char* text;  // UTF-8
        FieldKind kind;
        KeyVerdict verdict;
    } rows[] = {
        {Qt::Key_G, "g", FieldKind::Hex, KeyVerdict::Discard},
        {Qt::Key_G, "G", FieldKind::Hex, KeyVerdict::Discard},
        {Qt::Key_Minus, "-", FieldKind::Hex, KeyVerdict::Discard},
        {Qt::Key_A, "a", FieldKind::Hex, KeyVerdict::Pass},
        {Qt::Key_A, "A", FieldKind::Hex, KeyVerdict::Pass},
        {Qt::Key_F, "f", FieldKind::Hex, KeyVerdict::Pass},
        {Qt::Key_F, "F", FieldKind::Hex, KeyVerdict::Pass},
        {Qt::Key_9, "9", FieldKind::Hex, KeyVerdict::Pass},
        {Qt::Key_A, "a", FieldKind::Decimal, KeyVerdict::Discard},
        {Qt::Key_Period, ".", FieldKind::Decimal, KeyVerdict::Discard},
        {Qt::Key_7, "7", FieldKind::Decimal, KeyVerdict::Pass},
        {Qt::Key_Space, " ", FieldKind::Hex, KeyVerdict::Pass},
        {Qt::Key_Backspace, "\b", FieldKind::Hex, KeyVerdict::Pass},
        {Qt::Key_Left, "", FieldKind::Hex, KeyVerdict::Pass},
        {Qt::Key_Left, "", FieldKind::Decimal, KeyVerdict::Pass},
        {Qt::Key_V, "\x16", FieldKind::Hex, KeyVerdict::Pass},  // Ctrl+V
        {Qt::Key_Return, "\r", FieldKind::Hex, KeyVerdict::NextField},
        {Qt::Key_Enter, "\r", FieldKind::Hex, KeyVerdict::NextField},
        {Qt::Key_Enter, "\r", FieldKind::Decimal, KeyVerdict::NextField},
        {0, "\xE3\x81\x82", FieldKind::Hex, KeyVerdict::Discard},  // a kana is visible, not hex
        {0, "\xC5\x81", FieldKind::Hex, KeyVerdict::Discard},      // U+0141: its low byte is 'A'
    };
    for (const auto& r : rows)
        EXPECT_EQ(FilterKey(r.key, QString::fromUtf8(r.text), r.kind), r.verdict) << r.text;
}

TEST(NumberField, TextThatDoesNotConvertReadsAsZero)
{
    const struct {
        const char* text;  // UTF-8
        std::uint32_t value;
    } hex[] = {
        {"1f", 0x1F},
        {"7FF", 0x7FF},
        {"FFFFFFFF", 0xFFFFFFFF},
        {"000000001", 1},  // leading zeros beyond eight digits still fit
        {"", 0},
        {" ", 0},
        {"1g", 0},
        {" 1", 0},
        {"1 2", 0},
        {"0x10", 0},       // the prefix is ours to add, not the user's
        {"100000000", 0},  // beyond 32 bits does not convert
        // Wide characters whose low byte is a digit or letter are not digits.
        {"\xC4\xB1", 0},
        {"1\xC5\x81", 0},
    };
    for (const auto& c : hex)
        EXPECT_EQ(ParseHexField(QString::fromUtf8(c.text)), c.value) << c.text;
    EXPECT_EQ(ParseDecField("2"), 2u);
    EXPECT_EQ(ParseDecField("99999999"), 99999999u);
    EXPECT_EQ(ParseDecField("A"), 0u);
    EXPECT_EQ(ParseDecField(""), 0u);
}

TEST(NumberField, WritingBackPadsAndNeverCuts)
{
    EXPECT_EQ(FormatHexField(0x1F, 8), "0000001F");
    EXPECT_EQ(FormatHexField(0x3C, 2), "3C");
    EXPECT_EQ(FormatHexField(0x1, 2), "01");
    EXPECT_EQ(FormatHexField(0xABC, 2), "ABC");
    EXPECT_EQ(FormatHexField(0, 1), "0");

    EXPECT_EQ(NormaliseHexField("1F", 3), "01F");
    EXPECT_EQ(NormaliseHexField("1f", 8), "0000001F");
    EXPECT_EQ(NormaliseHexField("1FFFFFFF", 3), "1FFFFFFF");
    EXPECT_EQ(NormaliseHexField(" ", 3), "000");
    EXPECT_EQ(NormaliseHexField("a", 2), "0A");

    EXPECT_EQ(NormaliseDecField("0012"), "12");
    EXPECT_EQ(NormaliseDecField(""), "0");
    EXPECT_EQ(NormaliseDecField("-5"), "0");
}
