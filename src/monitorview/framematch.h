#pragma once
// Which frames a search or a display filter of the monitor picks: an identifier (exact, with
// a mask or a range), a data pattern from data byte 0 with "??" for any byte, a direction.
// Parsed from the find bar's fields; matching is a few compares per record, cheap enough
// to run over a whole history.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "tusbdev/adapterprotocol.h"

namespace tarvik {

enum class TMatchDirection { Any, Received, Transmitted };

struct TFrameMatch {
    // The identifier (CAN without its flags, LIN its byte) passes when (id & idMask) ==
    // idValue and idLow <= id <= idHigh.
    std::uint32_t idValue = 0, idMask = 0, idLow = 0, idHigh = 0xFFFFFFFFu;
    // Data bytes as one number, byte 0 most significant; the frame needs dataLength bytes.
    std::uint64_t dataValue = 0, dataMask = 0;
    int dataLength = 0;
    TMatchDirection direction = TMatchDirection::Any;

    bool Matches(const AdapterRecord& r) const
    {
        const bool can = r.IsCan();
        if (!can && !r.IsLin())
            return false;
        if (direction != TMatchDirection::Any && r.IsTransmitted() != (direction == TMatchDirection::Transmitted))
            return false;
        const std::uint32_t id = can ? r.CanId() : r.LinIdentifier();
        if ((id & idMask) != idValue || id < idLow || id > idHigh)
            return false;
        if (dataLength == 0)
            return true;
        if (r.Length() < dataLength || r.Remote())
            return false;
        std::uint64_t v;
        std::memcpy(&v, r.bytes.data() + 7, 8);
        return (__builtin_bswap64(v) & dataMask) == dataValue;
    }
};

// Reads the fields: identifier "" (any), "123", "100-1FF" or "120/7F0" (value/mask), hex;
// data "" (any) or up to eight bytes "11 ?? 3F", spaces optional. False with the reason,
// naming the field, when a field does not read.
bool ParseFrameMatch(std::string_view id, std::string_view data, TMatchDirection direction, TFrameMatch& out,
                     std::string* error);

}  // namespace tarvik
