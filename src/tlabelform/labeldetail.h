#pragma once
// What the label detail dialog computes, apart from its widgets: the twelve-line label
// text it exchanges with the label table, the identifier box's form, the bit display's
// columns and the mask bytes.
//
// The label text is the twelve fields of a label line, one per line, each ended by CR LF:
//   EngineSpeed / unsigned short / (empty) / 0x0C0 / Big / 0 / 16 / 0.25 / 0 / 0 / 8000 / rpm
// Start is written in the label numbering (position 0 = top bit of Data0); with "MSB First"
// the Start box counts from the other end, so box 63 is position 0.
#include <QString>
#include <array>
#include <cstdint>

namespace tarvik {

enum class TEndianChoice { Big, Little, None };

// The dialog's controls as values. The initial state is that of a fresh dialog.
struct TLabelDetail {
    QString name;
    QString type;  // one of the type names, or empty for no type selected
    bool extended = false;
    QString idText = QStringLiteral("000");
    TEndianChoice endian = TEndianChoice::Big;
    int start = 0;  // the Start box as displayed
    int width = 0;
    bool lsbFirst = true;
    QString lsb = QStringLiteral("1");
    QString offset = QStringLiteral("0");
    QString min = QStringLiteral("0");
    QString max = QStringLiteral("0");
    QString unit;
};

inline constexpr int kDetailStartMax = 63;
inline constexpr int kDetailWidthMax = 64;

// The text without the spaces and control characters around it, as a label line's fields
// are read.
QString TrimControls(const QString& s);

// The type list's own spelling of a name, matched ignoring case; empty when not a type.
QString CanonicalTypeName(const QString& name);

// Fills d from label text: lines trimmed, missing lines take their defaults, an unknown
// endian keeps the current choice, start and width are clamped into the boxes' ranges.
// The type's defaults are not applied.
void ApplyLabelText(TLabelDetail& d, const QString& text);

// The twelve lines, each ended by CR LF.
QString FormatLabelText(const TLabelDetail& d);

// The identifier box's text read as hexadecimal; anything unreadable gives 0.
std::uint32_t ParseIdText(const QString& text);
// Upper-case hexadecimal zero-padded to 8 digits (extended) or 3; more when needed.
QString FormatIdText(std::uint32_t id, bool extended);
inline int IdTextLimit(bool extended) { return extended ? 8 : 3; }

// Picking a type fills width, Min Value and Max Value from the vocabulary; false (d
// unchanged) for a name that is not a type.
bool ApplyTypeDefaults(TLabelDetail& d, const QString& type);

// The ruler above the bit display.
QString RulerText(bool lsbFirst);

// The first position the bit display marks: the Start box's text read as an integer
// (0 if unreadable), or 63 minus it with "MSB First" (an unreadable text counts as 63).
int DisplayedStart(const QString& startText, bool lsbFirst);
// A count box's text read as an integer, 0 if unreadable.
int ReadBoxInt(const QString& text);

// Ones at positions a .. a + n - 1 (position p is bit 63 - p); positions outside 0..63
// are dropped, so n <= 0 gives 0.
std::uint64_t PositionRangeMask(int a, int n);
// The eight mask bytes, Data0 (most significant) first, as two upper-case hex digits.
std::array<QString, 8> MaskByteTexts(std::uint64_t mask);

// x of column boundary i (0..64) on a display `width` pixels wide: i * width / 64 + 0.5,
// truncated.
int BoundaryX(int i, int width);

enum class TDetailProblem { None, NoName, NoType };
// Only an empty name (blanks pass) and a missing type stop OK.
TDetailProblem CheckLabelDetail(const QString& name, const QString& type);
QString DetailProblemText(TDetailProblem p);

}  // namespace tarvik
