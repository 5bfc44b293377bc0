// Any label line (and any label file) loads and decodes without a crash or undefined
// behaviour; the first eight bytes of the input double as frame data.
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "ttlabelinfo/labelline.h"
#include "ttlabelinfo/labeltable.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::uint64_t frame = 0;
    std::memcpy(&frame, data, size < 8 ? size : 8);

    tarvik::TLabelData label;
    label.SetFromLine(text);
    label.Decode(frame);
    label.Decode(~frame);

    static const std::array<std::uint32_t, 16> palette{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    tarvik::LabelTable table;
    table.LoadFromLines(tarvik::SplitTextLines(text), palette);
    for (int i = 0; i < table.Count(); ++i)
        table.DecodeFrame(table.Label(i).FrameKey(), frame);
    return 0;
}
