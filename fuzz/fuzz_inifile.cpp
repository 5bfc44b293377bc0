// Settings files come from other machines and hand edits. Any bytes must parse without
// fault, write back in a shape that re-reads identically, and keep a written value.
#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/inifile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    tarvik::TIniFile ini(QStringLiteral("/dev/null/fuzz.INI"));
    ini.Parse(text);
    (void)ini.ReadInteger(QStringLiteral("CAN"), QStringLiteral("BusSpeed"), 0);
    (void)ini.ReadBool(QStringLiteral("GRAPH"), QStringLiteral("GraphEnabled"), true);
    (void)ini.ReadString(QStringLiteral("LOG"), QStringLiteral("LogfilePrefix"), QStringLiteral("Log"));

    const QByteArray once = ini.Serialize();
    tarvik::TIniFile again(QStringLiteral("/dev/null/fuzz.INI"));
    again.Parse(once);
    if (again.Serialize() != once)
        std::abort();

    // A write (kept in memory: no folder can be made below /dev/null) reads back exactly.
    ini.WriteInteger(QStringLiteral("CAN"), QStringLiteral("BusSpeed"), 12345);
    tarvik::TIniFile written(QStringLiteral("/dev/null/fuzz.INI"));
    written.Parse(ini.Serialize());
    if (written.ReadInteger(QStringLiteral("CAN"), QStringLiteral("BusSpeed"), 0) != 12345)
        std::abort();
    return 0;
}
