#pragma once
// python-can, the independent reader and writer of trace logs the tests hold ours against.
#include <QProcess>
#include <QStringList>
#include <string>

namespace testsupport {

// The distribution's interpreter: the package installs python-can for it.
inline std::string RunPython(const std::string& script, const QStringList& args)
{
    QProcess p;
    p.start("/usr/bin/python3", QStringList{"-c", QString::fromStdString(script)} + args);
    if (!p.waitForStarted(10000) || !p.waitForFinished(60000))
        return "python did not run";
    const std::string err = p.readAllStandardError().toStdString();
    if (p.exitCode() != 0)
        return "python failed: " + err;
    return p.readAllStandardOutput().toStdString();
}

// Prints one line per message of a log (argv: path, "log" or "asc", "abs" or "rel"): the
// fields both sides must agree on; "rel" gives times since the first message.
inline const char* const kPythonDumpLog = R"(
import sys, can
path, kind, times = sys.argv[1], sys.argv[2], sys.argv[3]
reader = can.CanutilsLogReader(path) if kind == 'log' else can.ASCReader(path)
first = None
for m in reader:
    if m.is_error_frame or m.is_remote_frame or m.is_fd:
        print('skip')
        continue
    if first is None:
        first = m.timestamp if times == 'rel' else 0
    print('%.6f %X %d %s %d %s' % (m.timestamp - first, m.arbitration_id, m.is_extended_id,
                                   'Rx' if m.is_rx else 'Tx', m.dlc, m.data.hex().upper()))
)";

}  // namespace testsupport
