#pragma once
// Number fields of the windows (masks, identifiers, data bytes, lengths, intervals): which
// keys they take, how their text is read, and how it is rewritten on leaving the field.
// Text that does not convert reads as 0, never as an error.
#include <QString>
#include <cstdint>

namespace tarvik {

enum class FieldKind { Hex, Decimal };

enum class KeyVerdict {
    Pass,       // let the field handle it (digits of its kind, space, backspace, control keys)
    Discard,    // a visible character that is not a digit of the field's kind
    NextField,  // Enter: swallowed, focus moves on
};

// qtKey is the Qt::Key code, text what the key would type (may be empty).
KeyVerdict FilterKey(int qtKey, const QString& text, FieldKind kind);

// The text read as hexadecimal, as if "0x" stood in front; 0 when it does not convert
// (empty, any non-hex character including spaces, or more than 32 bits).
std::uint32_t ParseHexField(const QString& text);
// The text read as an unsigned decimal; 0 when it does not convert (empty, anything but
// digits, a sign included, or beyond 2^31 - 1).
std::uint32_t ParseDecField(const QString& text);

// Upper-case hexadecimal, zero-padded to width; a larger value keeps its extra digits.
QString FormatHexField(std::uint32_t value, int width);
// The text read and written back: FormatHexField(ParseHexField(text), width).
QString NormaliseHexField(const QString& text, int width);
// Decimal without leading zeros.
QString NormaliseDecField(const QString& text);

}  // namespace tarvik
