#pragma once
// What the about box shows besides the title, and its picture.
#include <QImage>
#include <QSize>
#include <QString>

namespace tarvik {

inline constexpr const char* kAboutNotice = "Copyright (C) 2026 The Tarvik Project.";
inline constexpr const char* kAboutHomePage = "https://tarvik.example.org/";

// The product picture: drawn here rather than loaded, so the program carries no image files.
QImage DrawProductPicture(QSize size = QSize(322, 195));

}  // namespace tarvik
