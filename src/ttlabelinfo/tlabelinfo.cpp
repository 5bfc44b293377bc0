#include "ttlabelinfo/tlabelinfo.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "platform/hexdigit.h"
#include "ttlabelinfo/labelline.h"
#include "ttlabelinfo/tstrcalc.h"

namespace tarvik {

namespace {

// Ones at positions [lo, hi) in the numbering where position p is the value 2^(63 - p).
std::uint64_t PositionMask(std::int64_t lo, std::int64_t hi)
{
    auto top = [](std::int64_t n) -> std::uint64_t {
        return n <= 0 ? 0 : n >= 64 ? ~0ull : ~0ull << (64 - n);
    };
    return hi > lo ? top(hi) & ~top(lo) : 0;
}

}  // namespace

std::int32_t ParseLabelInt(std::string_view text)
{
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && text[i] != '\0' && static_cast<unsigned char>(text[i]) <= 32)
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < n && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= n)
        return 0;

    std::uint64_t value = 0;
    if (hex) {
        // Leading zeros do not count: more than eight significant digits is out of range.
        if (!ParseDigits(text.substr(i), 16, 0xFFFFFFFFull, value))
            return 0;
        std::uint32_t u = static_cast<std::uint32_t>(value);
        if (negative)
            u = 0u - u;
        return static_cast<std::int32_t>(u);
    }
    if (!ParseDigits(text.substr(i), 10, 2147483648ull, value))
        return 0;
    if (negative)
        return static_cast<std::int32_t>(-static_cast<std::int64_t>(value));
    return value > 2147483647ull ? 0 : static_cast<std::int32_t>(value);
}

// ---- TLabelInfo ----

void TLabelInfo::SetType(std::string v)
{
    type_ = std::move(v);
    FieldChanged(Field::Type);
}

void TLabelInfo::SetEndian(std::string v)
{
    endian_ = std::move(v);
    FieldChanged(Field::Endian);
}

void TLabelInfo::SetBitStart(std::int32_t v)
{
    bitStart_ = v;
    FieldChanged(Field::BitStart);
}

void TLabelInfo::SetBitWidth(std::int32_t v)
{
    bitWidth_ = v;
    FieldChanged(Field::BitWidth);
}

void TLabelInfo::SetLsbText(std::string v)
{
    lsbText_ = std::move(v);
    FieldChanged(Field::Lsb);
}

void TLabelInfo::SetOffsetText(std::string v)
{
    offsetText_ = std::move(v);
    FieldChanged(Field::Offset);
}

void TLabelInfo::SetMinText(std::string v)
{
    minText_ = std::move(v);
    FieldChanged(Field::Min);
}

void TLabelInfo::SetMaxText(std::string v)
{
    maxText_ = std::move(v);
    FieldChanged(Field::Max);
}

bool TLabelInfo::IsSigned() const
{
    return type_ == "signed char" || type_ == "signed short" || type_ == "signed long" ||
           type_ == "signed __int64";
}

// ---- TLabelData ----

TLabelData::TLabelData()
{
    SetBitStart(0);
    SetBitWidth(0);
    SetLsb("1");
    SetOffset("0");
    SetMin("0");
    SetMax("100");
    PrepareDecode();
}

TLabelData::TLabelData(const TLabelData& other)
    : TLabelInfo(other),
      value_(other.Value()),
      lsb_(other.lsb_),
      offset_(other.offset_),
      min_(other.min_),
      max_(other.max_)
{
    PrepareDecode();
}

TLabelData& TLabelData::operator=(const TLabelData& other)
{
    if (this != &other) {
        TLabelInfo::operator=(other);
        lsb_ = other.lsb_;
        offset_ = other.offset_;
        min_ = other.min_;
        max_ = other.max_;
        SetValue(other.Value());
        PrepareDecode();
    }
    return *this;
}

void TLabelData::SetLsb(std::string_view text) { SetLsbText(std::string(text.empty() ? "1" : text)); }
void TLabelData::SetOffset(std::string_view text) { SetOffsetText(std::string(text.empty() ? "0" : text)); }
void TLabelData::SetMin(std::string_view text) { SetMinText(std::string(text.empty() ? "0" : text)); }
void TLabelData::SetMax(std::string_view text) { SetMaxText(std::string(text.empty() ? "100" : text)); }

void TLabelData::FieldChanged(Field f)
{
    switch (f) {
    case Field::Lsb:
        lsb_ = TStrCalc::Calc(lsbText_);
        PrepareDecode();
        break;
    case Field::Offset:
        offset_ = TStrCalc::Calc(offsetText_);
        PrepareDecode();
        break;
    case Field::Min: min_ = TStrCalc::Calc(minText_); break;
    case Field::Max: max_ = TStrCalc::Calc(maxText_); break;
    default: PrepareDecode(); break;
    }
}

void TLabelData::PrepareDecode()
{
    const std::int64_t start = bitStart_;
    const std::int64_t width = std::clamp<std::int64_t>(bitWidth_, 0, 64);

    const std::int64_t shift = 64 - start - static_cast<std::int64_t>(bitWidth_);
    shift_ = static_cast<std::int32_t>(std::clamp<std::int64_t>(
        shift, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
    mask_ = PositionMask(std::max<std::int64_t>(start, 0), std::min<std::int64_t>(start + width, 64));

    const bool bigEndian = IsBigEndian();
    bigEndianSelect_ = bigEndian ? ~0ull : 0;
    const bool bit = type_ == "bit";
    integerMask_ = bit ? 1 : ~0ull;
    scale_ = bit ? 1 : lsb_;
    bias_ = bit ? 0 : offset_;
    if (bit)
        kind_ = Kind::Integer;
    else if (type_ == "float")
        kind_ = Kind::Float;
    else if (type_ == "double")
        kind_ = Kind::Double;
    else if (IsSigned() || width < 64)
        kind_ = Kind::Integer;
    else
        kind_ = Kind::Unsigned64;  // the only integer that does not fit a signed 64-bit
    signShift_ = static_cast<std::uint8_t>(IsSigned() && width > 0 ? 64 - width : 0);

    left_ = right_ = partShift_ = 0;
    lowMask_ = ~0ull;
    if (mask_ == 0)
        return;  // nothing of the field is in the frame: raw is 0
    // With a non-empty mask, start < 64 and start + width > 0, so every count below is 0..63.
    const std::int64_t beShift = 64 - start - width;
    if (bigEndian) {
        if (beShift >= 0)
            right_ = static_cast<std::uint8_t>(beShift);
        else
            left_ = static_cast<std::uint8_t>(-beShift);  // bits past 63 read as zeros
        return;
    }
    // Little-endian: put the field's first bit on bit 63, reverse the bytes, then move the
    // bits of a final partial byte down to the bottom of that byte.
    if (start >= 0)
        left_ = static_cast<std::uint8_t>(start);
    else
        right_ = static_cast<std::uint8_t>(-start);
    const std::int64_t wholeBytes = width / 8;
    const std::int64_t rest = width % 8;
    lowMask_ = wholeBytes >= 8 ? ~0ull : (1ull << (8 * wholeBytes)) - 1;
    partShift_ = static_cast<std::uint8_t>(rest ? 8 - rest : 0);
}

std::uint64_t TLabelData::WithRaw(std::uint64_t data, std::uint64_t raw) const
{
    // Decode's extraction backwards: a little-endian field first goes back to the byte order
    // of the frame, then both orders go back to their positions.
    std::uint64_t field = raw;
    if (bigEndianSelect_ == 0)
        field = __builtin_bswap64((raw & lowMask_) | ((raw & ~lowMask_) << partShift_));
    return (data & ~mask_) | (((field << right_) >> left_) & mask_);
}

TEncodeResult TLabelData::Encode(double value, std::uint64_t& data) const
{
    TEncodeResult r;
    if (IsNoValue(value)) {
        r.value = DecodeValue(data);
        return r;
    }
    const std::int64_t width = std::clamp<std::int64_t>(bitWidth_, 0, 64);
    const std::uint64_t widthMask = width >= 64 ? ~0ull : (1ull << width) - 1;
    double target = value;
    if (min_ < max_) {
        if (target < min_) {
            target = min_;
            r.clamped = true;
        } else if (target > max_) {
            target = max_;
            r.clamped = true;
        }
    }

    // raw: the field's new bits; rawMask: the bits of the field that Decode reads (a "bit"
    // label reads one, a "float" the low 32); the others keep their value.
    std::uint64_t raw = 0;
    std::uint64_t rawMask = widthMask;
    bool settable = true;
    if (kind_ == Kind::Float) {
        constexpr double kFloatMax = std::numeric_limits<float>::max();
        if (std::isfinite(target) && std::fabs(target) > kFloatMax) {
            target = std::copysign(kFloatMax, target);
            r.clamped = true;
        }
        raw = std::bit_cast<std::uint32_t>(static_cast<float>(target));
        rawMask &= 0xFFFFFFFFull;
        r.clamped |= (raw & ~rawMask) != 0;  // a width below 32 drops bits of the number
    } else if (kind_ == Kind::Double) {
        raw = std::bit_cast<std::uint64_t>(target);
        r.clamped |= (raw & ~rawMask) != 0;
    } else {
        const bool bit = integerMask_ == 1;
        if (bit)
            rawMask &= 1;
        // No raw value gives anything but Offset (width 0, LSB 0), or none gives a NaN.
        settable = rawMask != 0 && scale_ != 0 && !std::isnan(target);
        if (settable) {
            const double q = std::round((target - bias_) / scale_);
            const bool isSigned = !bit && IsSigned();
            std::uint64_t bits;
            double got;
            if (isSigned) {
                const std::int64_t hi = width == 64 ? std::numeric_limits<std::int64_t>::max()
                                                    : (std::int64_t(1) << (width - 1)) - 1;
                const std::int64_t lo = -hi - 1;
                // Saturating conversion first: a double beyond 2^63 has no integer.
                std::int64_t s = q >= 0x1p63 ? std::numeric_limits<std::int64_t>::max()
                                 : q < -0x1p63 ? std::numeric_limits<std::int64_t>::min()
                                               : static_cast<std::int64_t>(q);
                s = std::clamp(s, lo, hi);
                bits = static_cast<std::uint64_t>(s);
                got = static_cast<double>(s);
            } else {
                const std::uint64_t hi = bit ? 1 : widthMask;
                std::uint64_t u = q >= 0x1p64 ? std::numeric_limits<std::uint64_t>::max()
                                  : q <= 0    ? 0
                                              : static_cast<std::uint64_t>(q);
                u = std::min(u, hi);
                bits = u;
                got = static_cast<double>(u);
            }
            r.clamped |= got != q;
            raw = bits & rawMask;
        }
    }

    if (settable) {
        const std::uint64_t old = RawOf(data);
        data = WithRaw(data, (old & ~rawMask) | (raw & rawMask));
        // Positions past the frame's end hold nothing.
        r.clamped |= (RawOf(data) & rawMask) != (raw & rawMask);
        r.value = DecodeValue(data);
    } else {
        r.value = DecodeValue(data);
        r.clamped |= !(r.value == target);
    }
    return r;
}

void TLabelData::SetFromLine(std::string_view line)
{
    const std::vector<std::string> fields = SplitLabelLine(line);
    auto field = [&](std::size_t i) -> std::optional<std::string> {
        if (i < fields.size())
            return TrimLabelText(fields[i]);
        return std::nullopt;
    };
    auto integer = [&](std::size_t i) -> std::int32_t {
        return i < fields.size() ? ParseLabelInt(fields[i]) : 0;
    };
    SetName(field(0).value_or(""));
    SetType(field(1).value_or(""));
    SetExtended(field(2).value_or("") == "X");
    SetCanId(static_cast<std::uint32_t>(integer(3)));
    SetEndian(field(4).value_or("Big"));
    SetBitStart(integer(5));
    SetBitWidth(integer(6));
    SetLsb(field(7).value_or("1"));
    SetOffset(field(8).value_or("0"));
    SetMin(field(9).value_or("0"));
    SetMax(field(10).value_or("0"));  // a missing field is "0", a present empty one "100"
    SetUnit(field(11).value_or(""));
}

}  // namespace tarvik
