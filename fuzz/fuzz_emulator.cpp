// Host bytes into the emulator's command parser, interleaved with time steps, and the same
// bytes as a candump log. Checks that the output stays whole records plus one-byte replies,
// and that whatever reads as a command writes back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "emulator/adapteremulator.h"
#include "emulator/loadmodel.h"
#include "emulator/replaymodel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace tarvik;
    AdapterEmulator::Options opt;
    opt.outputCapacity = 64 * 1024;
    AdapterEmulator emu(std::make_unique<TLoadModel>(5000), 0, opt);
    EmuMicros now = 0;
    std::size_t i = 0;
    while (i < size) {
        // A 0xFF byte followed by n advances the clock by n milliseconds.
        if (data[i] == 0xFF) {
            if (i + 1 < size) {
                now += EmuMicros(data[i + 1]) * 1000;
                emu.Advance(now);
            }
            i += 2;
            continue;
        }
        std::size_t j = i;
        while (j < size && data[j] != 0xFF)
            ++j;
        emu.Feed(data + i, j - i, now);
        i = j;
    }
    emu.Advance(now + 5000);
    if (emu.NextDue(now) < now && emu.OnBus() && emu.Model().Paced())
        std::abort();  // something due in the past after Advance
    emu.ClearOutput();

    const auto rewritesAsRead = [](std::string_view frame) {
        const auto fields = cmd::Decode(frame);
        return !fields || cmd::Encode(*fields) == frame;
    };
    for (const std::string& frame : emu.CommandLog())
        if (!rewritesAsRead(frame))
            std::abort();
    if (!rewritesAsRead(std::string_view(reinterpret_cast<const char*>(data), size)))
        std::abort();

    auto replay = TReplayModel::FromText(std::string_view(reinterpret_cast<const char*>(data), size), false);
    AdapterEmulator player(std::move(replay), 0, opt);
    const char n[] = "\x02N\x03";
    player.Feed(n, 3, 0);
    player.Advance(100'000'000);
    if (player.OutputSize() % kRecordSize != 0)
        std::abort();
    return 0;
}
