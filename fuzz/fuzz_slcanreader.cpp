// Adapter bytes into the serial-line reader: every delivered frame must be one the format
// allows, and formatting it again must read back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "tusbdev/slcan/slcanreader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace tarvik;
    TSlcanReader reader;
    std::vector<SlcanLine> lines;
    // Two feeds split at the first byte's value, so lines cut across reads are covered.
    const std::size_t cut = size ? data[0] % (size + 1) : 0;
    reader.Feed(data, cut, lines);
    reader.Feed(data + cut, size - cut, lines);
    for (const SlcanLine& l : lines) {
        if (l.kind != SlcanLine::Kind::Frame)
            continue;
        if (l.length > 8 || l.id > (l.extended ? 0x1FFFFFFFu : 0x7FFu) || (l.hasStamp && l.stampMs >= 60000))
            std::abort();
        const std::string text = FormatSlcanFrame(l);
        if (text.size() > kSlcanMaxLine + 1)
            std::abort();
        TSlcanReader again;
        std::vector<SlcanLine> back;
        again.Feed(text.data(), text.size(), back);
        // Every field the line carries: a lost extended flag would move the frame to another
        // identifier, a lost stamp would leave the reader a zero time.
        if (back.size() != 1 || again.BadLines() != 0 || back[0].kind != SlcanLine::Kind::Frame ||
            back[0].id != l.id || back[0].extended != l.extended || back[0].length != l.length ||
            back[0].remote != l.remote || back[0].hasStamp != l.hasStamp ||
            (l.hasStamp && back[0].stampMs != l.stampMs))
            std::abort();
        for (int i = 0; !l.remote && i < l.length; ++i)
            if (back[0].data[i] != l.data[i])
                std::abort();
    }
    return 0;
}
