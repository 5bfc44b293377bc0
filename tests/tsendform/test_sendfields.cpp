#include <QString>
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
