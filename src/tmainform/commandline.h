#pragma once
// The program's small command line: --simulate, --port PATH, --protocol native|slcan|socketcan,
// --replay FILE [--speed X | --fast] [--save OUT], --lang ja|en, --help, --version.
#include <QString>
#include <QStringList>

namespace tarvik {

struct TCommandLine {
    bool simulate = false;  // the in-process adapter emulator as device 0
    QString port;           // a serial port to open instead of a numbered device
    QString protocol;       // "native" or "slcan"; empty: as the settings file says
    QString replay;         // a candump, ASC, TRC or BLF log played by the emulator as device 0
    double speed = 1.0;     // replay pace: 2 plays twice as fast as recorded
    bool fast = false;      // replay as fast as the program reads
    QString save;           // with a replay: play it whole, save the history here and quit
    QString lang;           // "ja" or "en"; empty: as the system locale says
    bool help = false;
    bool version = false;
    QString error;          // non-empty: the arguments were not understood
};

// arguments without the program name.
TCommandLine ParseCommandLine(const QStringList& arguments);

QString CommandLineUsage(const QString& programName);

}  // namespace tarvik
