#pragma once
// The main window's value rules and bus command sequences, kept out of the widget code so
// they run and test without a window.
#include <QDate>
#include <QString>
#include <cstdint>
#include <functional>

#include "platform/numberfield.h"

namespace tarvik {

// LIN data length chosen from bits 4 and 5 of the identifier: 2, 2, 4 or 8.
int LinLengthForId(std::uint32_t id);

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
