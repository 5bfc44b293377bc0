#include <gtest/gtest.h>

#include "subfuncs/subfuncs.h"

using tarvik::VersionLabelOf;

TEST(VersionLabel, ShortFormOfTheFileVersion)
{
    EXPECT_EQ(VersionLabelOf("1.2.0.0"), "1.02");
    EXPECT_EQ(VersionLabelOf("1.15.3.0"), "1.15");
    EXPECT_EQ(VersionLabelOf("10.0.0.1"), "10.00");
    EXPECT_EQ(VersionLabelOf("2.123.0.0"), "2.123");
    // Unreadable version: the label degrades, it does not fail.
    EXPECT_EQ(VersionLabelOf(""), ".0");
    EXPECT_EQ(VersionLabelOf("garbage"), ".0");
    // Two-part versions keep their minor number.
    EXPECT_EQ(VersionLabelOf("1.2"), "1.02");
}

TEST(VersionLabel, FromAGivenVersion)
{
    EXPECT_EQ(tarvik::FileVersionText({1, 2, 0, 0}), "1.2.0.0");
    EXPECT_EQ(VersionLabelOf(tarvik::FileVersionText({1, 2, 0, 0})), "1.02");
    EXPECT_EQ(VersionLabelOf(tarvik::FileVersionText({3, 14, 15, 92})), "3.14");
}

TEST(VersionLabel, CompiledVersionIsUsed)
{
    const auto v = tarvik::CompiledVersion();
    EXPECT_EQ(tarvik::GetFileVersion("/nonexistent"), tarvik::FileVersionText(v));
    EXPECT_EQ(tarvik::GetVersionLabel("/nonexistent"),
              QString::number(v.major) + (v.minor < 10 ? ".0" : ".") + QString::number(v.minor));
}
