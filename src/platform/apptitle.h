#pragma once
// The program's name for the user ("Tarvik for Windows"): the about box's product name and
// the title of message boxes. It is deliberately not Qt's application display name, which
// desktop platforms append to every window title; the titles are the windows' captions.
#include <QCoreApplication>
#include <QString>

namespace tarvik {

inline QString ApplicationTitle() { return QStringLiteral("Tarvik for Windows"); }

// What the program entry sets on the application before any window exists.
inline void SetApplicationIdentity() { QCoreApplication::setApplicationName(QStringLiteral("tarvik")); }

}  // namespace tarvik
