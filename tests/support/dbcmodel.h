#pragma once
// DBC signals read and decoded without the importer or the label decoder: the database's own
// bit numbering applied straight to a frame's bytes, so tests can hold both against it.
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/testsupport.h"

namespace testsupport {

// The 64-bit data word of a frame from its bytes, byte 0 most significant.
inline std::uint64_t Data(std::initializer_list<std::uint8_t> bytes)
{
    std::uint64_t d = 0;
    int n = 0;
    for (auto b : bytes) {
        d = (d << 8) | b;
        ++n;
    }
    return n == 0 ? 0 : d << (8 * (8 - n));
}

struct DbcSignal {
    int start = 0, length = 0;
    bool little = false, isSigned = false;
    int valueType = 0;  // SIG_VALTYPE_: 0 integer, 1 IEEE single, 2 IEEE double
    double factor = 1, offset = 0;
    int count = 0;  // signals sharing the key: ambiguous when above 1
};

// A message identifier of the database (bit 31 marks a 29-bit one) as label files write it:
// "0x0C0", "0x18FEF100".
inline std::string DbcIdText(unsigned long long id)
{
    const bool ext = (id >> 31) & 1;
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*X", ext ? 8 : 3, unsigned(id & (ext ? 0x1FFFFFFF : 0x7FF)));
    return buf;
}

// Key: DbcIdText of the message, "/", and the signal name (a multiplexed one with its
// multiplexer tokens joined by "_").
inline std::map<std::string, DbcSignal> ReadDbcSignals(const std::string& path)
{
    std::map<std::string, DbcSignal> out;
    std::map<std::string, int> valueTypes;
    std::istringstream in(ReadFile(path));
    std::string line, idText;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        std::vector<std::string> tok;
        for (std::string t; ls >> t;)
            tok.push_back(t);
        if (tok.size() >= 3 && tok[0] == "BO_") {
            idText = DbcIdText(std::strtoull(tok[1].c_str(), nullptr, 10));
        } else if (tok.size() >= 5 && tok[0] == "SIG_VALTYPE_") {
            valueTypes[DbcIdText(std::strtoull(tok[1].c_str(), nullptr, 10)) + "/" + tok[2]] = std::atoi(tok[4].c_str());
        } else if (tok.size() >= 5 && tok[0] == "SG_") {
            std::size_t colon = 2;
            while (colon < tok.size() && tok[colon] != ":")
                ++colon;
            if (colon + 2 >= tok.size())
                continue;
            std::string name = tok[1];
            for (std::size_t i = 2; i < colon; ++i)
                name += "_" + tok[i];
            DbcSignal s;
            char order = 0, sign = 0;
            if (std::sscanf(tok[colon + 1].c_str(), "%d|%d@%c%c", &s.start, &s.length, &order, &sign) != 4 ||
                std::sscanf(tok[colon + 2].c_str(), "(%lf,%lf)", &s.factor, &s.offset) != 2)
                continue;
            s.little = order == '1';
            s.isSigned = sign == '-';
            DbcSignal& slot = out[idText + "/" + name];
            const int count = slot.count + 1;
            slot = s;
            slot.count = count;
        }
    }
    // The value type may come anywhere in the file, after its signal.
    for (const auto& [key, type] : valueTypes)
        if (auto it = out.find(key); it != out.end())
            it->second.valueType = type;
    return out;
}

// The signal's bits, its most significant first as bit length-1. Little-endian: bit i of the
// value is bit (start + i) of the frame, counting bit b of byte k as 8k + b. Big-endian: start
// is the most significant bit, and each next lower one is the bit below it in its byte, or
// after bit 0 bit 7 of the next byte.
inline std::uint64_t DbcRawBits(const DbcSignal& s, const std::uint8_t* data)
{
    // Bits beyond the eight bytes read as 0.
    auto Bit = [data](int n) -> std::uint64_t { return n >= 0 && n < 64 ? (data[n / 8] >> (n % 8)) & 1 : 0; };
    std::uint64_t raw = 0;
    int n = s.start;
    for (int i = 0; i < s.length; ++i) {
        if (s.little) {
            n = s.start + i;
            raw |= std::uint64_t(Bit(n)) << i;
        } else {
            raw = (raw << 1) | Bit(n);
            n = n % 8 == 0 ? n + 15 : n - 1;
        }
    }
    return raw;
}

// The raw value: the bits as an IEEE number, or as an integer sign-extended when signed.
inline double DbcRaw(const DbcSignal& s, const std::uint8_t* data)
{
    const std::uint64_t raw = DbcRawBits(s, data);
    if (s.valueType == 1)
        return double(std::bit_cast<float>(std::uint32_t(raw)));
    if (s.valueType == 2)
        return std::bit_cast<double>(raw);
    if (s.isSigned && s.length > 1 && (raw >> (s.length - 1)) & 1)
        return double(static_cast<std::int64_t>(s.length < 64 ? raw | (~0ull << s.length) : raw));
    return double(raw);
}

inline double DbcPhysical(const DbcSignal& s, const std::uint8_t* data) { return DbcRaw(s, data) * s.factor + s.offset; }

}  // namespace testsupport
