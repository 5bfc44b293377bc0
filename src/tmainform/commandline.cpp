#include "tmainform/commandline.h"

#include "bus/devicekinds.h"
#include "platform/language.h"

namespace tarvik {

TCommandLine ParseCommandLine(const QStringList& arguments)
{
    TCommandLine c;
    bool speedGiven = false;
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
            if (!FindDeviceKind(value)) {
                c.error = QStringLiteral("--protocol needs ") + DeviceKindChoice();
                return c;
            }
            c.protocol = value;
        } else if (a == QLatin1String("--replay")) {
            if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) {
                c.error = QStringLiteral("--replay needs a log file");
                return c;
            }
            c.replay = arguments[++i];
        } else if (a == QLatin1String("--speed")) {
            bool ok = false;
            c.speed = i + 1 < arguments.size() ? arguments[++i].toDouble(&ok) : 0;
            if (!ok || !(c.speed > 0) || c.speed > 1e6) {
                c.error = QStringLiteral("--speed needs a factor above 0");
                return c;
            }
            speedGiven = true;
        } else if (a == QLatin1String("--lang") || a.startsWith(QLatin1String("--lang="))) {
            QString value;
            if (a.size() > 6) {
                value = a.mid(7);
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            }
            TLanguage language;
            if (!ParseLanguage(value, &language)) {
                c.error = QStringLiteral("--lang needs ja or en");
                return c;
            }
            c.lang = value;
        } else if (a == QLatin1String("--fast")) {
            c.fast = true;
        } else if (a == QLatin1String("--save")) {
            if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) {
                c.error = QStringLiteral("--save needs a file name");
                return c;
            }
            c.save = arguments[++i];
        } else {
            c.error = QStringLiteral("unknown argument: %1").arg(a);
            return c;
        }
    }
    const int sources = int(c.simulate) + int(!c.port.isEmpty()) + int(!c.replay.isEmpty());
    if (sources > 1) c.error = QStringLiteral("--simulate, --port and --replay exclude each other");
    else if ((speedGiven || c.fast) && c.replay.isEmpty()) c.error = QStringLiteral("--speed and --fast belong to --replay");
    else if (speedGiven && c.fast) c.error = QStringLiteral("--speed and --fast exclude each other");
    else if (!c.save.isEmpty() && c.replay.isEmpty()) c.error = QStringLiteral("--save belongs to --replay");
    // The emulator in process speaks only the native protocol.
    else if ((c.simulate || !c.replay.isEmpty()) && c.protocol == QLatin1String("slcan"))
        c.error = QStringLiteral("--simulate and --replay run the native adapter; use tarvik-adapter-emu --protocol slcan and --port");
    return c;
}

QString CommandLineUsage(const QString& programName)
{
    return QStringLiteral(
               "Usage: %1 [--simulate | --port PATH | --replay FILE [--speed X | --fast] [--save OUT]]\n"
               "          [--protocol native|slcan|socketcan] [--lang ja|en]\n"
               "  --simulate    run on the built-in adapter emulator (device 0, vehicle traffic)\n"
               "  --port PATH   open this serial port (or CAN interface) instead of a numbered adapter\n"
               "  --protocol P  the adapter's protocol: native (default), slcan (the ASCII\n"
               "                serial-line CAN adapters) or socketcan (--port can0)\n"
               "  --replay FILE play a candump, ASC, TRC or BLF log as the bus (go on bus to start it);\n"
               "                --speed X plays X times as fast, --fast as fast as it is read\n"
               "  --save OUT    with --replay: play the log whole, save what was received as Save to\n"
               "                File does (OUT.log a candump log, OUT.asc an ASC log, OUT.trc a TRC\n"
               "                log, OUT.blf a BLF log, else monitor text) and quit; exit status 1\n"
               "                when it could not be saved\n"
               "  --lang L      the windows' language: ja (Japanese) or en (English); without it,\n"
               "                Japanese when the system's language is Japanese, else English\n"
               "  --help        show this text\n"
               "  --version     show the program version\n")
        .arg(programName);
}

}  // namespace tarvik
