#pragma once
// Value logic of the transmit window, kept free of widgets: which keys a number field
// takes, how a field's text is read and rewritten, and the commands built from the fields.
#include <QString>
#include <array>
#include <cstdint>

#include "tusbdev/adapterprotocol.h"

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
// The text read as an unsigned decimal; 0 when it does not convert. These fields only
// ever hold digits, so a sign (pasted in) counts as not converting.
std::uint32_t ParseDecField(const QString& text);

// Upper-case hexadecimal, zero-padded to width (more digits when the value needs them).
QString NormaliseHexField(const QString& text, int width);
// Decimal without leading zeros.
QString NormaliseDecField(const QString& text);

// The texts of one page's frame fields.
struct TFrameFields {
    bool extended = false;
    QString id = "000";
    QString length = "8";
    std::array<QString, 8> data{"00", "00", "00", "00", "00", "00", "00", "00"};
};

// T: send once (29 bytes).
Command SingleShotCommand(const TFrameFields& f);
// I: the adapter repeats the frame every intervalMs milliseconds (37 bytes); the adapter
// counts in 100 microsecond units.
Command IntervalCommand(const TFrameFields& f, const QString& intervalMs);

}  // namespace tarvik
