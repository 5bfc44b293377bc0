// Any expression text evaluates without a crash, an overflow of the value stack or
// undefined behaviour, and gives the same result twice.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ttlabelinfo/tstrcalc.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const double a = tarvik::TStrCalc::Calc(text);
    const double b = tarvik::TStrCalc::Calc(text);
    if (!(a == b || (std::isnan(a) && std::isnan(b))))
        std::abort();
    return 0;
}
