#include <gtest/gtest.h>

#include "emulator/loadmodel.h"
#include "emulator/slcanemulator.h"

using namespace tarvik;

namespace {

std::string Ask(TSlcanEmulator& e, const std::string& line, EmuMicros now = 0)
{
    const std::string l = line + "\r";
    e.Feed(l.data(), l.size(), now);
    return e.TakeAll();
}

TEST(SlcanEmulator, AnswersCommandsAsTheAdaptersDo)
{
    TSlcanEmulator e(std::make_unique<TLoadModel>(1000), 0);
    const std::string tooLong(40, 't');
    const struct {
        const char* line;
        const char* reply;
    } script[] = {
        {"V", "V1013\r"},        {"N", "NE001\r"},
        {"t12321122", "\a"},     // closed: nothing can be sent
        {"C", "\a"},             // closed already
        {"F", "\a"},             {"S9", "\a"},
        {"S6", "\r"},            {"Z1", "\r"},
        {"O", "\r"},             {"O", "\a"},     // open already
        {"S4", "\a"},            {"Z0", "\a"},    // only while closed
        {"t12321122", "z\r"},    {"T01ABCDEF81122334455667788", "Z\r"},
        {"r1232", "z\r"},        {"t12G21122", "\a"},
        {"t123211220010", "\a"}, // the host does not stamp
        {"F", "F00\r"},          {"X", "\a"},
        {tooLong.c_str(), "\a"},
        {"C", "\r"},             {"L", "\r"},
        {"t12321122", "\a"},     // listen only
        {"C", "\r"},
    };
    for (const auto& s : script) {
        e.ClearOutput();
        EXPECT_EQ(Ask(e, s.line), s.reply) << s.line;
    }
    EXPECT_EQ(e.SentCount(), 3u);
    ASSERT_EQ(e.SentFrames().size(), 3u);
    EXPECT_EQ(e.SentFrames()[1].frame.id, 0x1ABCDEFu);
    EXPECT_TRUE(e.SentFrames()[2].frame.remote);
    e.SetStatusFlags(0x80);
    Ask(e, "O");
    EXPECT_EQ(Ask(e, "F"), "F80\r");
    e.SetRefuse('t', true);
    EXPECT_EQ(Ask(e, "t12321122"), "\a");
}

TEST(SlcanEmulator, BusTrafficComesAsLinesThatReadBack)
{
    for (bool stamps : {false, true}) {
        SCOPED_TRACE(stamps);
        TSlcanEmulator e(std::make_unique<TLoadModel>(1000), 0);
        Ask(e, "S8");
        Ask(e, stamps ? "Z1" : "Z0");
        Ask(e, "O");
        e.Advance(100'000);  // 100 ms at 1000 frames/s
        const std::string out = e.TakeAll();
        TSlcanReader r;
        std::vector<SlcanLine> lines;
        r.Feed(out.data(), out.size(), lines);
        EXPECT_EQ(r.BadLines(), 0u);
        ASSERT_GE(lines.size(), 99u);
        EXPECT_LE(lines.size(), 101u);
        for (const auto& l : lines) {
            ASSERT_EQ(l.kind, SlcanLine::Kind::Frame);
            EXPECT_EQ(l.hasStamp, stamps);
        }
        if (stamps) {
            EXPECT_LT(lines.front().stampMs, lines.back().stampMs);
            EXPECT_LE(lines.back().stampMs, 100);
        }
        // Closed, the bus is quiet.
        Ask(e, "C");
        e.Advance(200'000);
        EXPECT_EQ(e.OutputSize(), 0u);
    }
}

}  // namespace

// A host that writes commands and never reads: both emulators hold what their buffer holds
// and drop the rest, counted, instead of growing without end.
TEST(SlcanEmulator, RepliesNobodyReadsAreBoundedAndCounted)
{
    AdapterEmulator::Options small;
    small.outputCapacity = 64;
    TSlcanEmulator slcan(std::make_unique<TLoadModel>(1000), 0, small);
    AdapterEmulator native(std::make_unique<TLoadModel>(1000), 0, small);
    const std::string version = "V\r", clear = "\x02" "C\x03";
    for (int i = 0; i < 10000; ++i) {
        slcan.Feed(version.data(), version.size(), 0);
        native.Feed(clear.data(), clear.size(), 0);
    }
    EXPECT_LE(slcan.OutputSize(), 64u);
    EXPECT_EQ(slcan.DroppedLines(), 10000u - slcan.OutputSize() / 6);
    EXPECT_EQ(native.OutputSize(), 64u);
    EXPECT_EQ(native.DroppedReplies(), 10000u - 64u);
}
