#pragma once
// The two formats that cross the USB link: STX/ETX ASCII commands to the adapter, and the
// fixed 20-byte records the adapter streams back (multi-byte numbers big-endian).
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace tarvik {

inline constexpr std::uint8_t kStx = 0x02;
inline constexpr std::uint8_t kEtx = 0x03;
inline constexpr std::uint8_t kAck = 0x06;
inline constexpr std::uint8_t kNak = 0x15;

inline constexpr std::size_t kRecordSize = 20;

// Record types (byte 1).
enum RecordType : std::uint8_t {
    kCanReceived = 0x00,
    kCanTransmitted = 0x01,
    kCanStatus = 0x02,
    kLinReceived = 0x80,
    kLinTransmitted = 0x81,
    kLinStatus = 0x82,
};

// The six types above; a record of any other type is ignored.
constexpr bool KnownRecordType(std::uint8_t type)
{
    return type == kCanReceived || type == kCanTransmitted || type == kCanStatus || type == kLinReceived ||
           type == kLinTransmitted || type == kLinStatus;
}

// Bit 30 of a CAN record's identifier marks a remote request, as on a Linux CAN socket; bits
// 29-31 are never part of a 29-bit identifier, so the flag cannot be mistaken for one.
inline constexpr std::uint32_t kRemoteFlag = 0x40000000u;
inline constexpr std::uint32_t kStandardIdMask = 0x7FFu;
inline constexpr std::uint32_t kExtendedIdMask = 0x1FFFFFFFu;
// Bit 31 of a label frame key: the identifier is a 29-bit one.
inline constexpr std::uint32_t kExtendedKeyFlag = 0x80000000u;

// Label frame key of an identifier: 11 bits, or 29 bits with bit 31 set when extended.
constexpr std::uint32_t MakeFrameKey(std::uint32_t id, bool extended)
{
    return extended ? ((id & kExtendedIdMask) | kExtendedKeyFlag) : (id & kStandardIdMask);
}

// One record as it arrives. Readers interpret the bytes; nothing is converted on arrival.
// The builders below are the readers' inverse, for whoever produces records (the adapter
// emulator, tests); a built record has check bytes 0 until SetCheck.
struct AdapterRecord {
    std::array<std::uint8_t, kRecordSize> bytes{};

    // A CAN frame: length in bits 0-3 of byte 2, 0x20 there for a 29-bit identifier.
    static AdapterRecord Can(std::uint32_t id, bool extended, int length, const std::uint8_t* data = nullptr,
                             std::uint8_t type = kCanReceived)
    {
        AdapterRecord r;
        r.bytes[1] = type;
        r.bytes[2] = std::uint8_t((length & 0x0F) | (extended ? 0x20 : 0x00));
        r.SetIdentifier(id);
        r.SetData(data);
        return r;
    }
    // A remote request: the length it asks for and no data.
    static AdapterRecord CanRemote(std::uint32_t id, bool extended, int length, std::uint8_t type = kCanReceived)
    {
        return Can(id, extended, length, nullptr, type).SetRemote();
    }
    static AdapterRecord Lin(std::uint8_t id, int length, const std::uint8_t* data = nullptr,
                             std::uint8_t error = 0, std::uint8_t type = kLinReceived)
    {
        AdapterRecord r;
        r.bytes[1] = type;
        r.bytes[2] = std::uint8_t(length & 0x0F);
        r.bytes[3] = error;
        r.bytes[6] = id;
        r.SetData(data);
        return r;
    }
    static AdapterRecord Status(std::uint8_t type, std::uint8_t code)
    {
        AdapterRecord r;
        r.bytes[1] = type;
        r.bytes[2] = code;
        return r;
    }
    // Any type with byte 2 and identifier as given (records the adapter never sends, too).
    static AdapterRecord Raw(std::uint8_t type, std::uint8_t byte2, std::uint32_t id = 0)
    {
        AdapterRecord r;
        r.bytes[1] = type;
        r.bytes[2] = byte2;
        r.SetIdentifier(id);
        return r;
    }

    AdapterRecord& SetCheck(std::uint8_t check) { return SetCheck(check, check); }
    // Unequal values make a record that fails its check.
    AdapterRecord& SetCheck(std::uint8_t check, std::uint8_t copy)
    {
        bytes[0] = check;
        bytes[19] = copy;
        return *this;
    }
    AdapterRecord& SetIdentifier(std::uint32_t id)
    {
        PutBigEndian(3, id);
        return *this;
    }
    AdapterRecord& SetRemote(bool remote = true)
    {
        PutBigEndian(3, remote ? Identifier() | kRemoteFlag : Identifier() & ~kRemoteFlag);
        return *this;
    }
    // Eight data bytes; nullptr clears them.
    AdapterRecord& SetData(const std::uint8_t* data)
    {
        for (int i = 0; i < 8; ++i)
            bytes[std::size_t(7 + i)] = data ? data[i] : 0;
        return *this;
    }
    AdapterRecord& SetData(int i, std::uint8_t value)
    {
        bytes[std::size_t(7 + i)] = value;
        return *this;
    }
    AdapterRecord& SetTimeStamp(std::uint32_t units100us)
    {
        PutBigEndian(15, units100us);
        return *this;
    }
    // The 20 bytes as they cross the link.
    std::string Wire() const { return std::string(bytes.begin(), bytes.end()); }

    // A record from 20 raw bytes of the stream.
    static AdapterRecord From(const void* raw)
    {
        AdapterRecord r;
        std::memcpy(r.bytes.data(), raw, kRecordSize);
        return r;
    }

    std::uint8_t CheckByte() const { return bytes[0]; }
    std::uint8_t CheckCopy() const { return bytes[19]; }
    bool WellFormed() const { return bytes[0] == bytes[19]; }
    std::uint8_t Type() const { return bytes[1]; }
    bool IsCan() const { return Type() == kCanReceived || Type() == kCanTransmitted; }
    bool IsLin() const { return Type() == kLinReceived || Type() == kLinTransmitted; }
    bool IsStatus() const { return Type() == kCanStatus || Type() == kLinStatus; }
    bool IsTransmitted() const { return Type() == kCanTransmitted || Type() == kLinTransmitted; }
    // Low four bits of byte 2; 8..15 all mean eight valid data bytes.
    std::uint8_t Length() const { return bytes[2] & 0x0F; }
    // Any of bits 4-7 of byte 2 marks a 29-bit identifier (CAN frames).
    bool Extended() const { return (bytes[2] & 0xF0) != 0; }
    // CAN identifier, bytes 3..6 big-endian.
    std::uint32_t Identifier() const
    {
        return (std::uint32_t(bytes[3]) << 24) | (std::uint32_t(bytes[4]) << 16) | (std::uint32_t(bytes[5]) << 8) |
               std::uint32_t(bytes[6]);
    }
    // A CAN remote request (bit 30 of the identifier).
    bool Remote() const { return IsCan() && (Identifier() & kRemoteFlag) != 0; }
    // The identifier without the flag bits: 11 or 29 bits.
    std::uint32_t CanId() const { return Identifier() & (Extended() ? kExtendedIdMask : kStandardIdMask); }
    // The label frame key of a CAN record.
    std::uint32_t FrameKey() const { return MakeFrameKey(Identifier(), Extended()); }
    // The eight data bytes as one number, byte 0 most significant; bytes past the length
    // count as 0, whatever the record holds there.
    std::uint64_t Data64() const
    {
        const int n = Length();
        std::uint64_t v = 0;
        for (int i = 0; i < 8; ++i)
            v = v << 8 | (i < n ? Data(i) : 0u);
        return v;
    }
    std::uint8_t LinErrorCode() const { return bytes[3]; }
    std::uint8_t LinIdentifier() const { return bytes[6]; }
    std::uint8_t StatusCode() const { return bytes[2]; }
    const std::uint8_t* Data() const { return bytes.data() + 7; }
    std::uint8_t Data(int i) const { return bytes[7 + i]; }
    // Time stamp in 100 microsecond units, bytes 15..18 big-endian.
    std::uint32_t TimeStamp() const
    {
        return (std::uint32_t(bytes[15]) << 24) | (std::uint32_t(bytes[16]) << 16) |
               (std::uint32_t(bytes[17]) << 8) | std::uint32_t(bytes[18]);
    }

private:
    void PutBigEndian(std::size_t at, std::uint32_t v)
    {
        bytes[at] = std::uint8_t(v >> 24);
        bytes[at + 1] = std::uint8_t(v >> 16);
        bytes[at + 2] = std::uint8_t(v >> 8);
        bytes[at + 3] = std::uint8_t(v);
    }
};
static_assert(sizeof(AdapterRecord) == kRecordSize);

// One 20-byte adapter record as a frame key (bit 31 for an extended identifier) and data
// word (data byte 0 most significant, bytes past the length zero). False for status and
// LIN records, remote requests (they carry no signal values) and a record whose check
// bytes differ.
inline bool ParseRecord(const std::uint8_t* record, std::uint32_t& key, std::uint64_t& data)
{
    const AdapterRecord r = AdapterRecord::From(record);
    if (!r.WellFormed() || !r.IsCan() || r.Remote())
        return false;
    key = r.FrameKey();
    data = r.Data64();
    return true;
}

// LIN identifiers carry 6 bits; larger entries are cut before sending.
inline constexpr std::uint32_t kLinIdMask = 0x3F;

// Fixed byte counts of the commands (STX and ETX included).
inline constexpr std::size_t kMonitorBytes = 4, kBusBytes = 7, kMasksBytes = 35, kSimpleBytes = 3,
                             kTransmitBytes = 29, kPeriodicBytes = 37;
// A reader that has gone this far without ETX is not inside a command.
inline constexpr std::size_t kLongestCommand = kPeriodicBytes;

// A composed command: the exact bytes to write, STX first and ETX last.
using Command = std::string;

namespace cmd {
Command Monitor(int function);                                        // M: 0 CAN, 1 LIN (4 bytes)
Command CanBus(int speed, int samplingPoint, int driverMode, int terminator);  // B, CAN form (7 bytes)
Command LinBus(int speed, int operationNode);                         // B, LIN form (7 bytes)
Command Masks(std::uint32_t stdMask, std::uint32_t stdCode, std::uint32_t extMask,
              std::uint32_t extCode);                                 // L (35 bytes)
Command OnBus();                                                      // N (3 bytes)
Command OffBus();                                                     // F (3 bytes)
Command Clear();                                                      // C (3 bytes)
Command Transmit(int extended, int length, std::uint32_t id, const std::uint8_t data[8]);  // T (29 bytes)
Command TransmitPeriodic(int extended, int length, std::uint32_t id, const std::uint8_t data[8],
                         std::uint32_t interval100us);                // I (37 bytes)
Command StopPeriodic();                                               // S (3 bytes)
// A LIN frame as T: standard flag, identifier cut to its 6 bits (29 bytes).
Command LinTransmit(int length, std::uint32_t id, const std::uint8_t data[8]);

// B carries four digits in both modes and only the adapter knows which one it is in: CAN
// reads speed (one hex digit), sampling point, driver mode, terminator; LIN reads speed
// (decimal), 0, 0, operation node.
struct BusFields {
    int speed = 0, samplingPoint = 0, driverMode = 0, terminator = 0;
    int LinNode() const { return terminator; }
    bool operator==(const BusFields&) const = default;
};
struct MaskFields {
    std::uint32_t stdMask = 0, stdCode = 0, extMask = 0, extCode = 0;
    bool operator==(const MaskFields&) const = default;
};
// The frame of T and I.
struct FrameFields {
    int extended = 0, length = 0;
    std::uint32_t id = 0;
    std::array<std::uint8_t, 8> data{};
    bool operator==(const FrameFields&) const = default;
};
// One command as values. Only the members of its letter count; the others stay zero, so
// two readings of the same bytes compare equal.
struct Fields {
    char letter = 0;
    int function = 0;                  // M
    BusFields bus{};                   // B
    MaskFields masks{};                // L
    FrameFields frame{};               // T, I
    std::uint32_t interval100us = 0;   // I
    bool operator==(const Fields&) const = default;
};

// The bytes of `fields`, clamped into their widths as the composers above do; empty for a
// letter that is not a command.
Command Encode(const Fields& fields);
// A whole command, STX to ETX, read back; nothing for an unknown letter, a byte count other
// than the letter's, or a character its field does not take (hex digits are upper case
// only, a flag is 0 or 1). Values are not range-checked: that is the adapter's business.
std::optional<Fields> Decode(std::string_view frame);
}  // namespace cmd

}  // namespace tarvik
