#pragma once
// python-can, the independent reader and writer of trace logs the tests hold ours against.
#include <QStringList>
#include <string>

#include "support/process.h"

namespace testsupport {

// The distribution's interpreter: the package installs python-can for it.
inline std::string RunPython(const std::string& script, const QStringList& args)
{
    const Ran r = RunProcess("/usr/bin/python3", QStringList{"-c", QString::fromStdString(script)} + args);
    return r.code == 0 ? r.out : "python failed: " + r.err;
}

// Prints one line per message of a log (argv: path, "log", "asc", "blf" or "trc", "abs" or
// "rel", and "remote" to list remote frames too, "R" in place of their data): the fields
// both sides must agree on; "rel" gives times since the first message. BLF and TRC times
// print to 0.1 ms, what the record holds (BLF's float times carry noise below it).
inline const char* const kPythonDumpLog = R"(
import sys, can
path, kind, times = sys.argv[1], sys.argv[2], sys.argv[3]
remote = sys.argv[4:] == ['remote']
readers = {'log': can.CanutilsLogReader, 'asc': can.ASCReader, 'blf': can.BLFReader, 'trc': can.TRCReader}
reader = readers[kind](path)
form = '%.4f' if kind in ('blf', 'trc') else '%.6f'
first = None
for m in reader:
    if m.is_error_frame or (m.is_remote_frame and not remote) or m.is_fd:
        print('skip')
        continue
    if first is None:
        first = m.timestamp if times == 'rel' else 0
    print((form + ' %X %d %s %d %s') % (m.timestamp - first, m.arbitration_id, m.is_extended_id,
                                        'Rx' if m.is_rx else 'Tx', m.dlc,
                                        'R' if m.is_remote_frame else m.data.hex().upper()))
)";

// Writes the same messages as a candump log (argv[1]) and an ASC log (argv[2]): four
// classic frames (standard, extended, empty, transmitted) with a CAN FD, an error and a
// remote frame among them, the last one a microsecond off the 0.1 ms grid.
inline const char* const kPythonWriteLogs = R"(
import sys, can
log = can.CanutilsLogWriter(sys.argv[1])
asc = can.ASCWriter(sys.argv[2])
msgs = [
    can.Message(timestamp=1700000000.000100, arbitration_id=0x123, data=b'\x11\x22', is_extended_id=False),
    can.Message(timestamp=1700000000.250000, arbitration_id=0x18FEF100, data=bytes(range(1, 9)), is_rx=False),
    can.Message(timestamp=1700000001.000000, arbitration_id=0x7FF, data=b'', is_extended_id=False),
    can.Message(timestamp=1700000001.100000, arbitration_id=0x100, is_fd=True, data=bytes(12), is_extended_id=False),
    can.Message(timestamp=1700000001.200000, is_error_frame=True),
    can.Message(timestamp=1700000001.300000, arbitration_id=0x101, is_remote_frame=True, dlc=2, is_extended_id=False),
    can.Message(timestamp=1700000002.000001, arbitration_id=0x5, data=b'\xAB', is_extended_id=True),
]
for m in msgs:
    log.on_message_received(m)
    asc.on_message_received(m)
log.stop()
asc.stop()
)";

// Writes a BLF (argv[1]) and a TRC log (argv[2]) of standard and extended frames of every
// length, received and transmitted, and for the BLF one CAN FD frame, one error frame, one
// remote frame and one marker as well (the TRC writer takes none of those); prints the
// classic data frames as kPythonDumpLog does with "rel".
inline const char* const kPythonWriteBinaryLogs = R"(
import sys, can
blf = can.BLFWriter(sys.argv[1])
trc = can.TRCWriter(sys.argv[2])
t0 = 1700000000.00002
msgs = []
for n in range(9):
    msgs.append(can.Message(timestamp=t0 + 0.0137 * len(msgs), arbitration_id=0x100 + n, is_extended_id=False,
                            data=bytes(range(0x10 * n, 0x10 * n + n)), is_rx=n % 2 == 0))
    msgs.append(can.Message(timestamp=t0 + 0.0137 * len(msgs), arbitration_id=0x18DA0000 + n, is_extended_id=True,
                            data=bytes(range(0xF8 - n, 0xF8)), is_rx=n % 3 != 0))
for m in msgs:
    blf.on_message_received(m)
    trc.on_message_received(m)
t = t0 + 0.0137 * len(msgs)
blf.on_message_received(can.Message(timestamp=t + 0.1, arbitration_id=0x200, is_fd=True, data=bytes(12), is_extended_id=False))
blf.on_message_received(can.Message(timestamp=t + 0.2, is_error_frame=True))
blf.on_message_received(can.Message(timestamp=t + 0.3, arbitration_id=0x201, is_remote_frame=True, dlc=3, is_extended_id=False))
blf.log_event('marker', t + 0.4)
blf.stop()
trc.stop()
for m in msgs:
    print('%.4f %X %d %s %d %s' % (m.timestamp - t0, m.arbitration_id, m.is_extended_id,
                                   'Rx' if m.is_rx else 'Tx', m.dlc, m.data.hex().upper()))
)";

}  // namespace testsupport
