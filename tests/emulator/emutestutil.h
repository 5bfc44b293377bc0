#pragma once
// Helpers shared by the emulator tests: literal command bytes and record draining.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "emulator/adapteremulator.h"

namespace emutest {

// STX + text + ETX, written out by hand so that the tests do not lean on the host's composers.
inline std::string Framed(const std::string& text) { return "\x02" + text + "\x03"; }

// head followed by n times fill. Appended, not prepended: a literal put in front of a
// temporary string trips GCC 12's -Wrestrict false positive at -O3.
inline std::string Repeat(std::string head, std::size_t n, char fill)
{
    head.append(n, fill);
    return head;
}

inline const std::string kGoOnBusCan[] = {Framed("M0"), Framed("B0400"),
                                          Framed(Repeat("L", 32, '0')), Framed("N")};

inline std::vector<tarvik::AdapterRecord> SplitRecords(const std::string& bytes)
{
    EXPECT_EQ(bytes.size() % tarvik::kRecordSize, 0u) << "stream is not whole records";
    std::vector<tarvik::AdapterRecord> out;
    for (std::size_t i = 0; i + tarvik::kRecordSize <= bytes.size(); i += tarvik::kRecordSize) {
        tarvik::AdapterRecord r;
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(i), tarvik::kRecordSize, r.bytes.begin());
        out.push_back(r);
    }
    return out;
}

inline std::string TakeAll(tarvik::AdapterEmulator& e)
{
    std::string s(e.OutputSize(), '\0');
    e.TakeOutput(s.data(), s.size());
    return s;
}

// The load model's running number, carried big-endian in the eight data bytes.
inline std::uint64_t Sequence(const tarvik::AdapterRecord& r)
{
    std::uint64_t seq = 0;
    for (int i = 0; i < 8; ++i)
        seq = (seq << 8) | r.Data(i);
    return seq;
}

inline std::vector<tarvik::AdapterRecord> Drain(tarvik::AdapterEmulator& e) { return SplitRecords(TakeAll(e)); }

}  // namespace emutest
