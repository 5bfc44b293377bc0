#include <QFontInfo>
#include <QFontMetrics>
#include <gtest/gtest.h>

#include "platform/fonts.h"
#include "platform/version.h"

// The Windows font name must land on a real Japanese font, not on a box-drawing fallback.
TEST(Fonts, WindowFontResolvesToJapaneseFixedPitch)
{
    QFont f = tarvik::WindowFont(12);
    QFontMetrics fm(f);
    EXPECT_TRUE(fm.inFont(QChar(0x30B7)));  // katakana "shi"
    EXPECT_TRUE(fm.inFont(QChar(0x6D88)));  // kanji
    // Fixed pitch: narrow and wide Latin glyphs take the same advance.
    EXPECT_EQ(fm.horizontalAdvance('i'), fm.horizontalAdvance('W'));
    EXPECT_EQ(fm.horizontalAdvance('0'), fm.horizontalAdvance('M'));
}

TEST(Version, CompiledFromProjectVersion)
{
    const auto v = tarvik::CompiledVersion();
    const QString text = QStringLiteral("%1.%2.%3.%4").arg(v.major).arg(v.minor).arg(v.release).arg(v.build);
    EXPECT_EQ(text, QStringLiteral(TARVIK_TEST_PROJECT_VERSION));
}
