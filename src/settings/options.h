#pragma once
// The fixed choices that settings select by index, and the numbers the settings dialog
// offers. Every list shown to the user and every clamp on reading comes from these.
#include <iterator>

namespace tarvik {

inline constexpr const char* kCanSpeedNames[] = {
    "1MBPS",    "500KBPS",  "250KBPS",  "166KBPS",  "125KBPS",  "100KBPS",  "83.3KBPS", "71.4KBPS",
    "62.5KBPS", "55.5KBPS", "50.0KBPS", "45.4KBPS", "41.6KBPS", "38.4KBPS", "35.7KBPS", "33.3KBPS"};
inline constexpr const char* kLinSpeedNames[] = {"19200BPS", "14400BPS", "10400BPS", "9600BPS", "4800BPS", "2400BPS"};
inline constexpr const char* kSamplingPointNames[] = {"60%", "65%", "70%", "75%", "80%", "85%"};
inline constexpr const char* kDriverModeNames[] = {"Normal", "Silent"};
inline constexpr const char* kTerminatorNames[] = {"Disable", "Enable"};
inline constexpr const char* kOperationNodeNames[] = {"Slave Node", "Master Node"};

inline constexpr int kCanSpeedCount = int(std::size(kCanSpeedNames));
inline constexpr int kLinSpeedCount = int(std::size(kLinSpeedNames));
inline constexpr int kSamplingPointCount = int(std::size(kSamplingPointNames));
inline constexpr int kDriverModeCount = int(std::size(kDriverModeNames));
inline constexpr int kTerminatorCount = int(std::size(kTerminatorNames));

inline constexpr int kMegabyte = 1048576;

// Offered values, ascending; a stored value is clamped to the first and last.
inline constexpr int kBufferSizesMb[] = {8, 16, 32, 64};
// The dialog offers up to 64 MB; a larger size written into the file by hand is honoured
// up to this, so a long run can be kept.
inline constexpr int kMaxLogBufferMb = 1024;
inline constexpr int kTimeWidths[] = {5, 10, 20, 30, 60};                           // s
inline constexpr int kSampleRates[] = {5, 10, 20, 25, 50, 100, 200, 500, 1000};    // ms
inline constexpr int kPlotRates[] = {10, 20, 25, 50, 100, 200, 500, 1000};         // ms

}  // namespace tarvik
