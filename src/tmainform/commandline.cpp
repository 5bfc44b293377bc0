#include "tmainform/commandline.h"

namespace tarvik {

TCommandLine ParseCommandLine(const QStringList& arguments)
{
    TCommandLine c;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == QLatin1String("--simulate")) {
            c.simulate = true;
        } else if (a == QLatin1String("--help")) {
            c.help = true;
        } else if (a == QLatin1String("--version")) {
            c.version = true;
        } else if (a == QLatin1String("--port") || a.startsWith(QLatin1String("--port="))) {
            QString value;
            if (a.size() > 6) {
                value = a.mid(7);
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            }
            if (value.isEmpty()) {
                c.error = QStringLiteral("--port needs a serial port path");
                return c;
            }
            c.port = value;
        } else if (a == QLatin1String("--protocol") || a.startsWith(QLatin1String("--protocol="))) {
            QString value;
            if (a.size() > 10) {
                value = a.mid(11);
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            }
            if (value != QLatin1String("native") && value != QLatin1String("slcan")) {
                c.error = QStringLiteral("--protocol needs native or slcan");
                return c;
            }
            c.protocol = value;
        } else {
            c.error = QStringLiteral("unknown argument: %1").arg(a);
            return c;
        }
    }
    if (c.simulate && !c.port.isEmpty()) c.error = QStringLiteral("--simulate and --port exclude each other");
    // The emulator in process speaks only the native protocol.
    if (c.simulate && c.protocol == QLatin1String("slcan"))
        c.error = QStringLiteral("--simulate runs the native adapter; use tarvik-adapter-emu --protocol slcan and --port");
    return c;
}

QString CommandLineUsage(const QString& programName)
{
    return QStringLiteral(
               "Usage: %1 [--simulate | --port PATH] [--protocol native|slcan]\n"
               "  --simulate    run on the built-in adapter emulator (device 0, vehicle traffic)\n"
               "  --port PATH   open this serial port instead of a numbered adapter\n"
               "  --protocol P  the adapter's protocol: native (default) or slcan, the ASCII\n"
               "                serial-line CAN adapters\n"
               "  --help        show this text\n"
               "  --version     show the program version\n")
        .arg(programName);
}

}  // namespace tarvik
