#pragma once
// What the about box shows besides the title, and its picture.
#include <QImage>
#include <QSize>
#include <QString>

namespace tarvik {

// The short version label of the running program ("1.02" for version 1.2.x.x).
QString ProgramVersionLabel();
// The short label for a version string "major.minor[.release.build]": major, then the minor
// number with at least two digits (".0" in front of a one-digit minor).
QString ShortVersionLabel(const QString& fileVersion);

inline constexpr const char* kAboutNotice = "Copyright (C) 2026 The Tarvik Project.";
inline constexpr const char* kAboutHomePage = "https://tarvik.example.org/";

// The product picture: drawn here rather than loaded, so the program carries no image files.
QImage DrawProductPicture(QSize size = QSize(322, 195));

}  // namespace tarvik
