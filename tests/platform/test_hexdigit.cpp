#include <gtest/gtest.h>

#include <QString>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/hexdigit.h"

using tarvik::ParseDigits;
using tarvik::WriteHex;

TEST(HexDigits, WriteHexPadsButNeverCuts)
{
    const struct {
        std::uint32_t v;
        int minDigits;
        const char* text;
    } rows[] = {
        {0, 1, "0"}, {0, 3, "000"}, {0x7FF, 3, "7FF"}, {0xABC, 2, "ABC"}, {0x1FFFFFFF, 8, "1FFFFFFF"},
        {0xFFFFFFFFu, 4, "FFFFFFFF"}, {0x5, 8, "00000005"},
    };
    for (const auto& r : rows) {
        char buf[16];
        EXPECT_EQ(std::string(buf, WriteHex(buf, r.v, r.minDigits)), r.text) << r.v;
    }
}

TEST(HexDigits, ParseDigitsStopsAtTheLimitAndAtOtherCharacters)
{
    const struct {
        std::string_view text;
        unsigned base;
        std::uint64_t max;
        bool ok;
        std::uint64_t value;
    } rows[] = {
        {"", 16, 0xFF, true, 0},
        {"7fF", 16, 0x7FF, true, 0x7FF},
        {"800", 16, 0x7FF, false, 0},
        {"00000000FFFFFFFF", 16, 0xFFFFFFFF, true, 0xFFFFFFFF},  // leading zeros do not count
        {"100000000", 16, 0xFFFFFFFF, false, 0},
        {"2147483648", 10, 2147483648ull, true, 2147483648ull},
        {"2147483649", 10, 2147483648ull, false, 0},
        {"12A", 10, 999, false, 0},  // a hex digit in a decimal run
        {"1 2", 16, 0xFFF, false, 0},
        {"\xB9", 16, 0xFF, false, 0},  // a byte above 0x7F is no digit
    };
    for (const auto& r : rows) {
        std::uint64_t v = 77;
        EXPECT_EQ(ParseDigits(r.text, r.base, r.max, v), r.ok) << r.text;
        EXPECT_EQ(v, r.ok ? r.value : 77u) << r.text;
    }
    std::uint64_t v = 0;
    EXPECT_TRUE(ParseDigits(QString("1fe"), 16, 0xFFF, v));
    EXPECT_EQ(v, 0x1FEu);
    EXPECT_FALSE(ParseDigits(QString::fromUtf8("\xEF\xBC\x91"), 16, 0xFFF, v)) << "a full-width digit";
}
