#pragma once
// The main window's value rules and bus command sequences, kept out of the widget code so
// they run and test without a window.
#include <QDate>
#include <QString>
#include <cstdint>
#include <functional>

namespace tarvik {

// Hexadecimal edit text as the adapter fields read it: text that does not convert gives 0.
std::uint32_t HexFieldValue(const QString& text);
// Decimal edit text; text that does not convert gives 0.
int DecimalFieldValue(const QString& text);
// Upper-case hexadecimal, zero-padded to width; a larger value keeps its extra digits.
QString FormatHexField(std::uint32_t value, int width);
// LIN data length chosen from bits 4 and 5 of the identifier: 2, 2, 4 or 8.
int LinLengthForId(std::uint32_t id);

// What an edit of the main window does with one typed key.
enum class EditKey { Pass, Discard, NextControl };
// key is a Qt::Key value, text the character it produces (empty for control keys).
EditKey ClassifyEditKey(int key, const QString& text);

// "<prefix><yyyymmdd>_NNN.txt" with the lowest NNN (1..999) whose file does not exist;
// with all 999 present, 999.
QString ProposeLogFileName(const QString& prefix, const QDate& date,
                           const std::function<bool(const QString&)>& exists);

// Writes text line by line, each line ended by CR LF. False (and the reason in error) when
// the file cannot be written completely.
bool WriteLinesCrLf(const QString& path, const QString& text, QString* error = nullptr);

// The confirmation after a history was saved as a trace log.
QString TraceSavedText(const QString& path, std::uint64_t written, std::uint64_t linLeftOut);

}  // namespace tarvik
