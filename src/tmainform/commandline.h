#pragma once
// The program's small command line: --simulate, --port PATH, --protocol native|slcan,
// --help, --version.
#include <QString>
#include <QStringList>

namespace tarvik {

struct TCommandLine {
    bool simulate = false;  // the in-process adapter emulator as device 0
    QString port;           // a serial port to open instead of a numbered device
    QString protocol;       // "native" or "slcan"; empty: as the settings file says
    bool help = false;
    bool version = false;
    QString error;          // non-empty: the arguments were not understood
};

// arguments without the program name.
TCommandLine ParseCommandLine(const QStringList& arguments);

QString CommandLineUsage(const QString& programName);

}  // namespace tarvik
