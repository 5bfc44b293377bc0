#pragma once
// The fixed lists the system settings dialog offers and the rules that turn control
// contents into values, kept free of widgets.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace tarvik {

class TIniFile;
struct TSettings;

// Writes the keys confirmed by OK in their fixed order, the explicit port path among them,
// as one file update. False when the file could not be written.
bool SaveSystemConfig(const TSettings& s, TIniFile& ini);

namespace sysconf {

const QStringList& CanSpeedItems();
const QStringList& SamplingPointItems();
const QStringList& DriverModeItems();
const QStringList& TerminatorItems();
const QStringList& LinSpeedItems();
const QStringList& OperationNodeItems();
const QStringList& BufferSizeItems();   // MB
const QStringList& TimeWidthItems();    // s
const QStringList& SampleRateItems();   // ms
const QStringList& PlotRateItems();     // ms
const QStringList& BaudRateItems();     // 500000 .. 10000000 in steps of 500000

// Device numbers offered: "0".."count-1" when the count is known ("0" alone when it is
// zero), otherwise "0".."7".
QStringList DeviceItems(std::optional<std::uint32_t> count);

// Signed decimal; fallback when the text does not convert (empty, stray characters, out of int range).
int ParseInt(const QString& text, int fallback);

// The list text for a buffer size in bytes: whole megabytes.
QString BufferSizeText(int bytes);
// Bytes for a megabyte list text; fallback when it does not convert.
int BufferSizeBytes(const QString& megabytes, int fallback);

// Index of the item equal to text, -1 when absent.
int IndexOfItem(const QStringList& items, const QString& text);

}  // namespace sysconf
}  // namespace tarvik
