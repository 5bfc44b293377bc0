// Any bytes: the import returns label lines or aborts with a line-numbered error, and the
// number form reads back as the number it was given.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "ttlabelinfo/dbcimport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        for (const std::string& line : tarvik::ImportDbc(text)) {
            // One label per line: a line break inside would split it in the label file.
            if (line.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
                std::abort();
        }
    } catch (const tarvik::DbcImportError& e) {
        if (e.Line() < 1 || std::strncmp(e.what(), "line ", 5) != 0)
            std::abort();
    }

    if (size >= sizeof(double)) {
        double v;
        std::memcpy(&v, data, sizeof v);
        const std::string s = tarvik::FormatGeneralDecimal(v);
        if (std::isfinite(v)) {
            double back = 0;
            auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), back);
            // Fifteen digits round the very largest doubles up past the largest one.
            const bool roundedPastMax = ec == std::errc::result_out_of_range && std::fabs(v) > 1.79769313486231e308;
            if (roundedPastMax)
                return 0;
            if (ec != std::errc() || p != s.data() + s.size())
                std::abort();
            if (std::fabs(back - v) > std::fabs(v) * 1e-14 && std::fabs(v) > 1e-300)
                std::abort();
        }
    }
    return 0;
}
