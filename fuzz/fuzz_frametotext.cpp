// Any 20 bytes: the fast formatter stays inside its buffer and agrees with the printf forms.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "../tests/support/printfreference.h"
#include "subfuncs/subfuncs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < tarvik::kRecordSize)
        return 0;
    const auto record = tarvik::AdapterRecord::From(data);
    char buf[tarvik::kMaxFrameTextLength];
    const std::size_t n = tarvik::FormatFrame(record, buf);
    if (n > sizeof buf)
        std::abort();
    // Records of other types are shown as their bytes; the printf forms cover the frame types.
    if (record.WellFormed() && !(record.IsCan() || record.IsLin()))
        return 0;
    const std::string expected = testsupport::reference::Format(record);
    if (expected.size() != n || std::memcmp(expected.data(), buf, n) != 0)
        std::abort();
    return 0;
}
