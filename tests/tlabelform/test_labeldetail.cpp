// The detail dialog's computations without a window: label text in and out, identifier
// form, mask bytes and the bit display's columns.
#include <gtest/gtest.h>

#include <QStringList>

#include "tlabelform/labeldetail.h"

using namespace tarvik;

namespace {

QString Lines(std::initializer_list<const char*> fields)
{
    QString s;
    for (const char* f : fields)
        s += QString::fromUtf8(f) + QStringLiteral("\r\n");
    return s;
}

}  // namespace

TEST(LabelDetailText, ReadsAndWritesTwelveLines)
{
    struct Case {
        QString in;
        QString out;
    };
    const Case cases[] = {
        // Missing lines take the dialog's defaults (Max "0", not "100").
        {QStringLiteral("Speed"), Lines({"Speed", "", "", "0x000", "Big", "0", "0", "1", "0", "0", "0", ""})},
        // Type matched ignoring case, written as the list spells it; fields trimmed.
        {QStringLiteral(" Rpm \nUNSIGNED SHORT\n\n0x0C0\nLittle\n8\n16\n0.25\n-1\n0\n8000\n rpm"),
         Lines({"Rpm", "unsigned short", "", "0x0C0", "Little", "8", "16", "0.25", "-1", "0", "8000", "rpm"})},
        // Extended: eight digits; decimal and "$" identifiers are read as numbers.
        {QStringLiteral("A\nbit\nX\n2015\nBig\n0\n1"), Lines({"A", "bit", "X", "0x000007DF", "Big", "0", "1", "1", "0", "0", "0", ""})},
        {QStringLiteral("A\nbit\n\n$7DF"), Lines({"A", "bit", "", "0x7DF", "Big", "0", "0", "1", "0", "0", "0", ""})},
        // Unknown type: none selected. An endian other than Big/Little keeps Big.
        {QStringLiteral("A\nint\n\n7DF\nbig"), Lines({"A", "", "", "0x000", "Big", "0", "0", "1", "0", "0", "0", ""})},
        // Out-of-range start and width are held to what the boxes allow.
        {QStringLiteral("A\nbit\n\n0x1\nBig\n99\n-3"), Lines({"A", "bit", "", "0x001", "Big", "63", "0", "1", "0", "0", "0", ""})},
        {QStringLiteral("A\r\nbit\r\nx\r\n0x1\r\nBig\r\n0\r\n65"), Lines({"A", "bit", "", "0x001", "Big", "0", "64", "1", "0", "0", "0", ""})},
    };
    for (const auto& c : cases) {
        TLabelDetail d;
        ApplyLabelText(d, c.in);
        EXPECT_EQ(FormatLabelText(d).toStdString(), c.out.toStdString()) << c.in.toStdString();
    }
}

TEST(LabelDetailText, MsbFirstStartCountsFromTheOtherEnd)
{
    TLabelDetail d;
    d.name = "A";
    d.lsbFirst = false;
    for (auto [box, line] : {std::pair{63, "0"}, {0, "63"}, {20, "43"}}) {
        d.start = box;
        EXPECT_EQ(FormatLabelText(d).split("\r\n")[5], QString::fromLatin1(line)) << box;
    }
}

TEST(LabelDetailId, ReadAndFormat)
{
    for (auto [text, value] : {std::pair{"7DF", 0x7DFu}, {"7df", 0x7DFu}, {"", 0u}, {"7DG", 0u},
                               {"1FFFFFFF", 0x1FFFFFFFu}, {"123456789", 0u}}) {
        EXPECT_EQ(ParseIdText(QString::fromLatin1(text)), value) << text;
    }
    EXPECT_EQ(FormatIdText(0x7DF, true), "000007DF");
    EXPECT_EQ(FormatIdText(0x7DF, false), "7DF");
    EXPECT_EQ(FormatIdText(0x1FFF, false), "1FFF");  // needs more than the limit: kept
}

TEST(LabelDetailBits, MaskBytes)
{
    struct Case {
        int a, n;
        const char* bytes;
    };
    const Case cases[] = {
        {0, 8, "FF 00 00 00 00 00 00 00"},  {4, 8, "0F F0 00 00 00 00 00 00"},
        {60, 8, "00 00 00 00 00 00 00 0F"}, {0, 0, "00 00 00 00 00 00 00 00"},
        {0, 64, "FF FF FF FF FF FF FF FF"}, {63, 1, "00 00 00 00 00 00 00 01"},
        {-2, 4, "C0 00 00 00 00 00 00 00"}, {2147483647, 2147483647, "00 00 00 00 00 00 00 00"},
    };
    for (const auto& c : cases) {
        const auto b = MaskByteTexts(PositionRangeMask(c.a, c.n));
        QStringList got(b.begin(), b.end());
        EXPECT_EQ(got.join(' ').toStdString(), c.bytes) << c.a << "," << c.n;
    }
}

TEST(LabelDetailBits, DisplayedStartAndColumns)
{
    EXPECT_EQ(DisplayedStart("0", false), 63);
    EXPECT_EQ(DisplayedStart("", true), 0);
    EXPECT_EQ(DisplayedStart("", false), 0);  // unreadable counts as 63 from the far end
    EXPECT_EQ(BoundaryX(1, 100), 2);  // 1.5625 rounds up
    EXPECT_EQ(BoundaryX(64, 100), 100);
}
