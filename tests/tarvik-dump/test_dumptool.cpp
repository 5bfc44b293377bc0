// The dump tool on the in-process emulator: arguments, the command sequence, stopping and
// an adapter that goes away.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "dumptool.h"
#include "emulator/emulatorbackend.h"
#include "emulator/loadmodel.h"

using tarvik::TDumpOptions;

#include "support/toolrun.h"

namespace {

using DumpRun = testsupport::ToolRun;
using testsupport::ReadAllAndClose;

DumpRun Dump(const TDumpOptions& o, std::shared_ptr<tarvik::TEmulatorBackend> emu, const std::atomic<bool>& stop)
{
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    DumpRun r;
    r.status = tarvik::RunDump(o, emu, out, err, stop);
    r.out = ReadAllAndClose(out);
    r.err = ReadAllAndClose(err);
    return r;
}

std::size_t Lines(const std::string& s)
{
    std::size_t n = 0;
    for (char c : s)
        n += c == '\n';
    return n;
}

}  // namespace

TEST(DumpArgs, ReadsWhatTheUsageSays)
{
    const struct {
        std::vector<const char*> args;
        bool ok;
    } rows[] = {
        {{"--simulate"}, true},
        {{"--port", "/dev/ttyUSB0", "--can-speed", "500k", "--format", "asc", "-n", "10"}, true},
        {{"--device", "2", "--lin", "19200", "--master", "--duration", "2.5"}, true},
        {{"--simulate", "--mask", "std:7F0:120", "--mask", "ext:1FFFFFFF:18FEF100"}, true},
        {{}, false},                                      // no adapter named
        {{"--simulate", "--port", "x"}, false},           // two sources
        {{"--simulate", "--can-speed", "600k"}, false},   // no such speed
        {{"--simulate", "--can-speed", "500001"}, false},
        {{"--simulate", "--can-speed", "-500000"}, false},
        {{"--simulate", "--master"}, false},              // master without LIN
        {{"--simulate", "--mask", "std:800:0"}, false},   // beyond 11 bits
        {{"--simulate", "--mask", "all:0:0"}, false},
        {{"--simulate", "--format", "csv"}, false},
        {{"--simulate", "-n", "0"}, false},
        {{"--simulate", "--duration", "-1"}, false},
        {{"--simulate", "--port"}, false},                // value missing
        {{"--simulate", "--bogus"}, false},
        {{"--protocol", "slcan", "--port", "/dev/ttyACM0"}, true},
        {{"--protocol", "slcan", "--simulate"}, false},   // the built-in emulator is native
        {{"--protocol", "slcan", "--device", "0", "--lin", "19200"}, false},
        {{"--protocol", "lawicel", "--device", "0"}, false},
        {{"--simulate", "--format", "blf"}, false},       // a pipe cannot take the header at the end
        {{"--simulate", "--format", "blf", "--output", "x.blf"}, true},
        {{"--simulate", "--format", "trc", "--output", "x.blf"}, true},
        {{"--simulate", "--rotate-size", "1000"}, false},  // rotation needs files
        {{"--simulate", "--rotate-time", "60"}, false},
        {{"--simulate", "--output", "c_%H.log", "--rotate-size", "0"}, false},
        {{"--simulate", "--output", "c_%H.log", "--rotate-time", "0"}, false},
        {{"--simulate", "--output", "c_%H.log", "--rotate-size", "1000", "--rotate-time", "1.5"}, true},
        {{"--simulate", "--output"}, false},
    };
    for (const auto& r : rows) {
        TDumpOptions o;
        std::string error;
        EXPECT_EQ(tarvik::ParseDumpArgs(static_cast<int>(r.args.size()), r.args.data(), o, error), r.ok)
            << (r.args.empty() ? "(none)" : r.args.back()) << ": " << error;
        EXPECT_EQ(error.empty(), r.ok) << error;
    }
    TDumpOptions o;
    std::string error;
    const char* args[] = {"--port", "/dev/pts/9", "--can-speed", "83.3K", "--mask", "ext:1FFFFFFF:18FEF100"};
    ASSERT_TRUE(tarvik::ParseDumpArgs(6, args, o, error));
    EXPECT_EQ(o.bus.canSpeed, 6);
    EXPECT_EQ(o.bus.extMask, 0x1FFFFFFFu);
    EXPECT_EQ(o.bus.extCode, 0x18FEF100u);
    EXPECT_EQ(o.port, "/dev/pts/9");

    // The output's ending picks the format unless --format is given.
    const struct {
        std::vector<const char*> args;
        TDumpOptions::Format format;
    } picks[] = {
        {{"--simulate", "--output", "a.blf"}, TDumpOptions::Format::Blf},
        {{"--simulate", "--output", "a.TRC"}, TDumpOptions::Format::Trc},
        {{"--simulate", "--output", "a.asc"}, TDumpOptions::Format::Asc},
        {{"--simulate", "--output", "a.txt"}, TDumpOptions::Format::Candump},
        {{"--simulate", "--format", "text", "--output", "a.blf"}, TDumpOptions::Format::Text},
    };
    for (const auto& p : picks) {
        TDumpOptions po;
        ASSERT_TRUE(tarvik::ParseDumpArgs(static_cast<int>(p.args.size()), p.args.data(), po, error)) << error;
        EXPECT_EQ(po.format, p.format) << p.args.back();
    }
}

TEST(DumpArgs, CanSpeedInBitsPerSecondAndEveryChoiceListed)
{
    const struct {
        const char* speed;
        int index;
    } rows[] = {
        {"1000000", 0}, {"500000", 1}, {"250000", 2}, {"166666", 3}, {"166667", 3}, {"125000", 4},
        {"100000", 5},  {"83333", 6},  {"71428", 7},  {"62500", 8},  {"55555", 9},  {"55556", 9},
        {"50000", 10},  {"45454", 11}, {"45455", 11}, {"41666", 12}, {"38461", 13}, {"35714", 14},
        {"33333", 15},  {"500k", 1},   {"33.3k", 15}, {"1M", 0},
    };
    for (const auto& r : rows) {
        TDumpOptions o;
        std::string error;
        const char* args[] = {"--simulate", "--can-speed", r.speed};
        EXPECT_TRUE(tarvik::ParseDumpArgs(3, args, o, error)) << r.speed << ": " << error;
        EXPECT_EQ(o.bus.canSpeed, r.index) << r.speed;
    }
    TDumpOptions o;
    std::string error;
    const char* args[] = {"--simulate", "--can-speed", "600k"};
    ASSERT_FALSE(tarvik::ParseDumpArgs(3, args, o, error));
    EXPECT_EQ(error, "unknown CAN speed: 600k (1M, 500k, 250k, 166k, 125k, 100k, 83.3k, 71.4k, 62.5k, 55.5k, "
                     "50.0k, 45.4k, 41.6k, 38.4k, 35.7k, 33.3k; or in bit/s: 1000000, 500000, 250000, 166666, "
                     "125000, 100000, 83333, 71428, 62500, 55555, 50000, 45454, 41666, 38461, 35714, 33333)");
}

TEST(Dump, RefusedGoOnBusSuggestsTheOtherProtocol)
{
    const struct {
        TDumpOptions::Source source;
        const char* kind;
        const char* hint;  // empty: none
    } rows[] = {
        {TDumpOptions::Source::Port, "native", "try --protocol slcan"},
        {TDumpOptions::Source::Device, "native", "try --protocol slcan"},
        {TDumpOptions::Source::Simulate, "native", ""},  // the built-in emulator has one language
        {TDumpOptions::Source::Port, "socketcan", ""},   // its refusal names the command itself
    };
    for (const auto& r : rows) {
        auto emu = std::make_shared<tarvik::TEmulatorBackend>();
        emu->SetReplyMode('M', tarvik::AdapterEmulator::ReplyMode::Refuse);
        TDumpOptions o;
        o.source = r.source;
        o.kind = r.kind;
        o.count = 1;
        std::atomic<bool> stop{false};
        const DumpRun run = Dump(o, emu, stop);
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_NE(run.err.find("did not accept the go-on-bus sequence"), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("try --protocol") != std::string::npos, *r.hint != '\0') << run.err;
        if (*r.hint) {
            EXPECT_NE(run.err.find(r.hint), std::string::npos) << run.err;
        }
    }
}

TEST(Dump, GoesOnBusLikeTheWindowAndOffBusBeforeClosing)
{
    auto emu = std::make_shared<tarvik::TEmulatorBackend>();
    TDumpOptions o;
    o.source = TDumpOptions::Source::Simulate;
    o.count = 40;
    o.bus.canSpeed = 1;
    o.bus.stdMask = 0x7F0;
    o.bus.stdCode = 0x120;
    std::atomic<bool> stop{false};
    const DumpRun r = Dump(o, emu, stop);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.out), 40u);
    EXPECT_NE(r.err.find("tarvik-dump: 40 frames written, 0 lost"), std::string::npos) << r.err;
    const auto log = emu->CommandLog();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[0], "\x02M0\x03");
    EXPECT_EQ(log[1], "\x02" "B1000\x03");
    EXPECT_EQ(log[2], "\x02L000007F0000001200000000000000000\x03");
    EXPECT_EQ(log[3], "\x02N\x03");
    EXPECT_EQ(log[4], "\x02" "F\x03") << "off bus while the port was still open";
    EXPECT_FALSE(emu->IsOpen());
}

TEST(Dump, StopsPromptlyWhenAskedAndWritesTheAscFooter)
{
    auto emu = std::make_shared<tarvik::TEmulatorBackend>(std::make_unique<tarvik::TLoadModel>(5000));
    TDumpOptions o;
    o.source = TDumpOptions::Source::Simulate;
    o.format = TDumpOptions::Format::Asc;
    std::atomic<bool> stop{false};
    std::chrono::steady_clock::time_point asked;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    // Asks for the stop once frames are flowing (the file has grown well past its header),
    // however slowly a loaded machine gets there.
    std::thread stopper([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        struct stat st {};
        while (std::chrono::steady_clock::now() < deadline &&
               !(fstat(fileno(out), &st) == 0 && st.st_size >= 64 * 1024))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        asked = std::chrono::steady_clock::now();
        stop.store(true);
    });
    DumpRun r;
    r.status = tarvik::RunDump(o, emu, out, err, stop);
    const auto took = std::chrono::steady_clock::now() - asked;
    stopper.join();
    r.out = ReadAllAndClose(out);
    r.err = ReadAllAndClose(err);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_LT(took, std::chrono::seconds(5)) << "the stop ends the run at once, not at the next frame count";
    EXPECT_EQ(r.out.rfind("date ", 0), 0u);
    ASSERT_GE(r.out.size(), 17u);
    EXPECT_EQ(r.out.substr(r.out.size() - 17), "End TriggerBlock\n");
    EXPECT_GT(Lines(r.out), 1000u) << "frames were flowing before the stop";
    EXPECT_EQ(emu->CommandLog().back(), "\x02" "F\x03");
}

TEST(Dump, AnAdapterThatGoesAwayEndsWithItsErrorAndStatusOne)
{
    auto emu = std::make_shared<tarvik::TEmulatorBackend>();
    TDumpOptions o;
    o.source = TDumpOptions::Source::Simulate;
    std::atomic<bool> stop{false};
    std::thread unplug([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        emu->Disconnect();
    });
    const DumpRun r = Dump(o, emu, stop);
    unplug.join();
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("USB Device Error : "), std::string::npos) << r.err;
    EXPECT_GT(Lines(r.out), 0u) << "what came before the failure is kept";

    // Never there at all: the open failure's text.
    auto absent = std::make_shared<tarvik::TEmulatorBackend>();
    absent->Disconnect();
    const DumpRun none = Dump(o, absent, stop);
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("USB Device Error : "), std::string::npos) << none.err;
    EXPECT_EQ(none.out, "");
}

// Frames count as written once they reached the output; a refusal names the command.
TEST(Dump, CountsWhatReachedTheOutputAndNamesARefusedCommand)
{
    TDumpOptions o;
    o.source = TDumpOptions::Source::Simulate;
    o.count = 17;
    std::atomic<bool> stop{false};
    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    std::FILE* err = std::tmpfile();
    const int status = tarvik::RunDump(o, std::make_shared<tarvik::TEmulatorBackend>(), full, err, stop);
    std::fclose(full);
    const std::string said = ReadAllAndClose(err);
    EXPECT_EQ(status, 1);
    EXPECT_NE(said.find("tarvik-dump: 0 frames written"), std::string::npos) << said;
    EXPECT_NE(said.find("error writing the output: No space left on device"), std::string::npos) << said;

    // The in-process emulator refuses a LIN speed digit it does not know.
    TDumpOptions lin = o;
    lin.bus.monitorFunction = 1;
    lin.bus.linSpeed = 9;
    const DumpRun r = Dump(lin, std::make_shared<tarvik::TEmulatorBackend>(), stop);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("did not accept the go-on-bus sequence: The adapter answered B with 0x15 instead of ACK"),
              std::string::npos)
        << r.err;
}
