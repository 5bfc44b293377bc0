// Any expression text evaluates without a crash, an overflow of the value stack or
// undefined behaviour, and gives the same result twice; a text past the length bound is
// refused (0) whatever it holds, and costs no more than reading it.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ttlabelinfo/tstrcalc.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using tarvik::TStrCalc;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const double a = TStrCalc::Calc(text);
    const double b = TStrCalc::Calc(text);
    if (!(a == b || (std::isnan(a) && std::isnan(b))))
        std::abort();
    if (text.size() > TStrCalc::kMaxLength && a != 0)
        std::abort();
    // The input repeated past the bound: inputs are shorter than that by default.
    if (!text.empty()) {
        std::string longer(text);
        while (longer.size() <= TStrCalc::kMaxLength)
            longer += text;
        if (TStrCalc::Calc(longer) != 0)
            std::abort();
    }
    return 0;
}
