#pragma once
// The program's name for the user ("Tarvik for Windows"): the about box's product name and
// the title of message boxes. It is deliberately not Qt's application display name, which
// desktop platforms append to every window title; the titles are the windows' captions.
#include <QCoreApplication>
#include <QString>
#include <clocale>

namespace tarvik {

inline QString ApplicationTitle() { return QStringLiteral("Tarvik for Windows"); }

// Qt's application constructor takes the whole locale from the environment; numbers the
// program shows or writes (printf in the value panel, the gauges, the files) keep "." as
// the decimal point whatever the user's locale, so every program calls this once its
// application object exists. Texts keep the user's character set.
inline void KeepNumbersInCLocale() { std::setlocale(LC_NUMERIC, "C"); }

// What the program entry sets on the application before any window exists.
inline void SetApplicationIdentity()
{
    QCoreApplication::setApplicationName(QStringLiteral("tarvik"));
    KeepNumbersInCLocale();
}

}  // namespace tarvik
