#pragma once
// Labels: named signals inside a frame's eight data bytes.
//
// Bit numbering: the data bytes form one 64-bit number with byte 0 most significant;
// position 0 is the top bit of byte 0, position 63 the bottom bit of byte 7. A label
// covers positions BitStart .. BitStart + BitWidth - 1.
//   big-endian, start 0, width 16:    byte0 * 256 + byte1
//   little-endian, start 0, width 16: byte0 + byte1 * 256
//   big-endian, start 4, width 8, bytes 12 34: 0x23
//
// Decisions where the field does not sit in whole bytes or in the frame:
// - Little-endian fields whose width is not a multiple of 8 are right-aligned: the
//   bytes are read least significant first and the last, partial byte holds the
//   remaining bits as its low bits (a 4-bit field yields 0..15, a one-bit field 0 or 1).
// - A width above 64 counts as 64 and a negative width as 0. Positions past 63 (or
//   before 0) read as zero bits, so a field that runs off the end keeps its width and
//   its first bit stays the most significant one.
//
// Encoding is the same rule read backwards (Encode): value -> raw by (value - Offset) / Lsb,
// rounded to the nearest raw value; "bit" takes 0 or 1, "float" and "double" their IEEE-754
// bits unscaled. A value outside Min..Max (when Min < Max: a range such as 0..0, which a DBC
// gives for "none", limits nothing) or beyond what the width holds is clamped, and said so.
// Only the bits that Decode reads change.
#include <atomic>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "platform/novalue.h"
#include "tusbdev/adapterprotocol.h"

namespace tarvik {

// The type vocabulary in the order the label editor lists it, with the width, range
// texts the editor fills in when a type is chosen.
struct TLabelTypeInfo {
    const char* name;
    int width;
    const char* min;
    const char* max;
};
inline constexpr TLabelTypeInfo kLabelTypes[] = {
    {"bit", 1, "0", "1"},
    {"signed char", 8, "-128", "127"},
    {"unsigned char", 8, "0", "255"},
    {"signed short", 16, "-32768", "32767"},
    {"unsigned short", 16, "0", "65535"},
    {"signed long", 32, "-2147483648", "2147483647"},
    {"unsigned long", 32, "0", "4294967295"},
    {"float", 32, "-9999.999", "9999.999"},
    {"double", 64, "-999999999999.999", "999999999999.999"},
    {"signed __int64", 64, "-9.22337203685478E18", "9.22337203685478E18"},
    {"unsigned __int64", 64, "0", "1.84467440737096E19"},
};

// An integer field of a label line: decimal, or hexadecimal after "0x", "0X", "x", "X"
// or "$"; leading blanks and a sign allowed. Anything else gives 0 (an empty text,
// trailing characters, a decimal beyond the signed 32-bit range, more than 8 hex
// digits). Hexadecimal up to FFFFFFFF wraps into the signed range.
//   "0x7DF", "$7DF", "2015" -> 2015     "7DF" -> 0
std::int32_t ParseLabelInt(std::string_view text);

// What Encode put into a frame for one label.
struct TEncodeResult {
    double value = NoValue();  // what the frame now holds for the label (Decode gives it back)
    // The value asked for did not fit: outside Min..Max, beyond the width or the frame, or
    // not a number for an integer label (whose bits then stay as they were).
    bool clamped = false;
};

// A label definition as the label file holds it.
class TLabelInfo {
public:
    TLabelInfo() = default;
    virtual ~TLabelInfo() = default;
    TLabelInfo(const TLabelInfo&) = default;
    TLabelInfo& operator=(const TLabelInfo&) = default;

    const std::string& Name() const { return name_; }
    const std::string& Type() const { return type_; }
    bool Extended() const { return extended_; }
    std::uint32_t CanId() const { return canId_; }
    const std::string& Endian() const { return endian_; }
    std::int32_t BitStart() const { return bitStart_; }
    std::int32_t BitWidth() const { return bitWidth_; }
    const std::string& LsbText() const { return lsbText_; }
    const std::string& OffsetText() const { return offsetText_; }
    const std::string& MinText() const { return minText_; }
    const std::string& MaxText() const { return maxText_; }
    const std::string& Unit() const { return unit_; }

    // Plain stores; a decoding label recomputes what depends on the field.
    void SetName(std::string v) { name_ = std::move(v); }
    void SetType(std::string v);
    void SetExtended(bool v) { extended_ = v; }
    void SetCanId(std::uint32_t v) { canId_ = v; }
    void SetEndian(std::string v);
    void SetBitStart(std::int32_t v);
    void SetBitWidth(std::int32_t v);
    void SetLsbText(std::string v);
    void SetOffsetText(std::string v);
    void SetMinText(std::string v);
    void SetMaxText(std::string v);
    void SetUnit(std::string v) { unit_ = std::move(v); }

    bool IsBigEndian() const { return endian_ == "Big"; }
    bool IsSigned() const;
    std::uint32_t FrameKey() const { return MakeFrameKey(canId_, extended_); }

protected:
    enum class Field { Type, Endian, BitStart, BitWidth, Lsb, Offset, Min, Max };
    // Lets a decoding label recompute what depends on the field that changed.
    virtual void FieldChanged(Field) {}

    std::string name_;
    std::string type_;
    bool extended_ = false;
    std::uint32_t canId_ = 0;
    std::string endian_ = "Big";
    std::int32_t bitStart_ = 0;
    std::int32_t bitWidth_ = 0;
    std::string lsbText_ = "1";
    std::string offsetText_ = "0";
    std::string minText_ = "0";
    std::string maxText_ = "100";
    std::string unit_;
};

// A label that decodes values from frames.
class TLabelData : public TLabelInfo {
public:
    TLabelData();
    TLabelData(const TLabelData& other);
    TLabelData& operator=(const TLabelData& other);

    // Fills the label from one label line; missing fields take their defaults.
    void SetFromLine(std::string_view line);

    // An empty text takes the field's default ("1", "0", "0", "100").
    void SetLsb(std::string_view text);
    void SetOffset(std::string_view text);
    void SetMin(std::string_view text);
    void SetMax(std::string_view text);

    double Lsb() const { return lsb_; }
    double Offset() const { return offset_; }
    double Min() const { return min_; }
    double Max() const { return max_; }
    std::uint64_t Mask() const { return mask_; }
    std::int32_t Shift() const { return shift_; }

    // data: the frame's eight bytes, byte 0 most significant. Sets Value. Runs on the
    // acquisition thread for every matching frame: no allocation, no lock, no wait.
    void Decode(std::uint64_t data) { value_.store(DecodeValue(data), std::memory_order_relaxed); }
    // The field as Decode reads it, right-aligned, before sign and scaling.
    std::uint64_t Raw(std::uint64_t data) const { return RawOf(data); }
    // The value data holds for this label, without storing it.
    inline double DecodeValue(std::uint64_t data) const;
    // Puts a physical value into data (see the top of this file); bits outside what Decode
    // reads keep their value. Does not touch Value.
    TEncodeResult Encode(double value, std::uint64_t& data) const;

    // Written by the acquisition thread, read by others without a lock. NoValue() until
    // the label's first frame: a label never seen must not read as 0.
    double Value() const { return value_.load(std::memory_order_relaxed); }
    void SetValue(double v) { value_.store(v, std::memory_order_relaxed); }
    void ClearValue() { SetValue(NoValue()); }

protected:
    void FieldChanged(Field f) override;

private:
    void PrepareDecode();
    // The field as Decode reads it (before sign and scale), and its inverse: data with the
    // field's bits replaced by raw's.
    inline std::uint64_t RawOf(std::uint64_t data) const;
    std::uint64_t WithRaw(std::uint64_t data, std::uint64_t raw) const;

    enum class Kind : std::uint8_t { Integer, Unsigned64, Float, Double };

    // Everything Decode touches shares one cache line, away from the texts, so a frame
    // group of many labels stays in the first-level cache.
    // Precomputed extraction: field = ((data & mask) << left) >> right puts the field
    // right-aligned (big-endian) or top-aligned (little-endian, then byte-reversed).
    alignas(64) std::uint64_t mask_ = 0;
    std::uint64_t lowMask_ = 0;  // little-endian: the whole bytes of the field
    std::uint64_t bigEndianSelect_ = ~0ull;  // all ones for big-endian, else 0
    std::uint64_t integerMask_ = ~0ull;      // 1 for "bit", else all ones
    double scale_ = 1;                        // Lsb, or 1 for "bit"
    double bias_ = 0;                         // Offset, or 0 for "bit"
    std::atomic<double> value_{NoValue()};
    static_assert(std::atomic<double>::is_always_lock_free,
                  "label values must pass between threads without a lock");
    Kind kind_ = Kind::Integer;
    std::uint8_t left_ = 0;
    std::uint8_t right_ = 0;
    std::uint8_t partShift_ = 0;  // little-endian: aligns a final partial byte
    std::uint8_t signShift_ = 0;  // signed: 64 - width, for sign extension

    double lsb_ = 1;
    double offset_ = 0;
    double min_ = 0;
    double max_ = 100;
    std::int32_t shift_ = 64;
};

// A label as the graph keeps it.
class TGraphInfo : public TLabelData {
public:
    std::uint32_t Color() const { return color_; }
    void SetColor(std::uint32_t c) { color_ = c; }
    // The label's place among the label file's labels, those switched off ("// ") counted
    // too: colour and line pattern follow it, so switching one off re-colours no other.
    std::uint32_t Slot() const { return slot_; }
    void SetSlot(std::uint32_t slot) { slot_ = slot; }
    double PrevValue() const { return prevValue_; }
    void SetPrevValue(double v) { prevValue_ = v; }
    // False for a label of a "// " line, which only a table loaded with them holds.
    bool Acquired() const { return acquired_; }
    void SetAcquired(bool on) { acquired_ = on; }
    void ClearValue()
    {
        TLabelData::ClearValue();
        prevValue_ = NoValue();
    }

private:
    std::uint32_t color_ = 0xFFFFFF;
    std::uint32_t slot_ = 0;
    double prevValue_ = NoValue();
    bool acquired_ = true;
};

inline std::uint64_t TLabelData::RawOf(std::uint64_t data) const
{
    // Both byte orders are computed and one is selected: cheaper than a branch that a
    // stream of mixed labels would mispredict.
    const std::uint64_t field = ((data & mask_) << left_) >> right_;
    const std::uint64_t swapped = __builtin_bswap64(field);
    const std::uint64_t little = (swapped & lowMask_) | ((swapped & ~lowMask_) >> partShift_);
    return (field & bigEndianSelect_) | (little & ~bigEndianSelect_);
}

inline double TLabelData::DecodeValue(std::uint64_t data) const
{
    const std::uint64_t raw = RawOf(data);
    double v;
    if (kind_ == Kind::Integer) [[likely]] {
        // Signed: sign-extend from the field's top bit. Unsigned below 64 bits: shift 0.
        // "bit": the lowest bit, scale 1, offset 0.
        const std::uint64_t bits = raw & integerMask_;
        v = static_cast<double>(static_cast<std::int64_t>(bits << signShift_) >> signShift_) * scale_ + bias_;
    } else if (kind_ == Kind::Unsigned64) {
        v = static_cast<double>(raw) * scale_ + bias_;
    } else if (kind_ == Kind::Float) {
        const std::uint32_t bits = static_cast<std::uint32_t>(raw);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        v = f;
    } else {
        std::memcpy(&v, &raw, sizeof v);
        if (raw == kNoValueBits) [[unlikely]]
            v = std::numeric_limits<double>::quiet_NaN();  // a NaN a frame carried is a value
    }
    return v;
}

}  // namespace tarvik
