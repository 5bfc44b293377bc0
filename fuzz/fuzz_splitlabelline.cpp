// Any text splits without a crash, and the fields it gives survive join-then-split.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ttlabelinfo/labelline.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto fields = tarvik::SplitLabelLine(text);
    if (tarvik::SplitLabelLine(tarvik::JoinLabelLine(fields)) != fields)
        std::abort();
    for (const auto& line : tarvik::SplitTextLines(text)) {
        if (line.find_first_of("\r\n") != std::string::npos)
            std::abort();
        tarvik::LabelRowFromLine(line);
    }
    return 0;
}
