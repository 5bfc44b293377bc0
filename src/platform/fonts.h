#pragma once
#include <QFont>

namespace tarvik {

// The window font every form asks for by its Windows name.
inline constexpr const char* kWindowFontFamily = "ＭＳ ゴシック";
// Shown in its place on Linux: fixed pitch, with Japanese glyphs.
inline constexpr const char* kWindowFontSubstitute = "IPAGothic";

// Lets "ＭＳ ゴシック" (and its Latin name) resolve to the installed Japanese font.
void InstallFontSubstitutes();

// The fixed-pitch window font at the given pixel height (the forms use 12).
QFont WindowFont(int pixelHeight = 12);

}  // namespace tarvik
