#include "tgraphform/graphconf.h"

#include <cstdint>

#include "platform/hexdigit.h"

namespace tarvik {

int StrToIntDef(std::string_view text, int def)
{
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    bool hex = false;
    if (i < n && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= n)
        return def;
    std::uint64_t value = 0;
    if (!ParseDigits(text.substr(i), hex ? 16 : 10, hex ? 0xFFFFFFFFull : 2147483648ull, value))
        return def;
    if (hex) {
        const std::uint32_t u = static_cast<std::uint32_t>(value);
        return static_cast<std::int32_t>(negative ? 0u - u : u);
    }
    if (!negative && value > 2147483647ull)
        return def;
    return static_cast<int>(negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value));
}

}  // namespace tarvik
