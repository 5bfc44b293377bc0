// BLF and TRC logs of a million frames: write and read times here and in python-can on the
// same machine, the ratio, the BLF file sizes, and a check that each side reads the other's
// file to the same frames (a round trip both ways).
//
//   binary_logs_vs_peer [frames] [dir]      default 1000000 frames into /tmp
#include <QString>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "logformats/logsource.h"
#include "logformats/tracefile.h"

using namespace tarvik;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// Classic frames of every length, standard and extended, some transmitted, 0.1 ms apart
// now and then and 1 ms apart otherwise.
AdapterRecord Make(std::uint32_t i)
{
    const bool ext = i % 5 == 0;
    AdapterRecord r = AdapterRecord::Can(ext ? 0x18FEF100u + (i % 64) : 0x100u + (i % 0x500), ext,
                                         static_cast<int>(i % 9), nullptr, i % 17 == 0 ? kCanTransmitted : kCanReceived);
    for (int k = 0; k < static_cast<int>(i % 9); ++k)
        r.SetData(k, static_cast<std::uint8_t>(i * 31 + static_cast<std::uint32_t>(k)));
    return r.SetTimeStamp(i * 10 - (i % 3 == 0 ? 9 : 0));
}

// Identifier, length, data and time since the first frame (0.1 ms) folded into one number,
// computed alike by the python script below.
struct Fold {
    std::uint64_t frames = 0, sum = 0;
    void Add(std::uint64_t id, std::uint64_t ext, std::uint64_t tx, std::uint64_t len, const std::uint8_t* d,
             std::uint64_t tenths)
    {
        std::uint64_t v = id * 3 + ext * 5 + tx * 7 + len * 11 + tenths * 13;
        for (std::uint64_t k = 0; k < len && k < 8; ++k)
            v = (v * 257 + d[k]) % 1000000000039ull;
        sum = (sum * 1000003 + v) % 1000000000039ull;
        ++frames;
    }
};

const char* const kPeer = R"(
import sys, time, can
mode, kind, path, n = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
def fold(msgs):
    frames, s, first = 0, 0, None
    for m in msgs:
        if first is None: first = m.timestamp
        tenths = int(round((m.timestamp - first) * 1e4))
        v = m.arbitration_id * 3 + int(m.is_extended_id) * 5 + int(not m.is_rx) * 7 + m.dlc * 11 + tenths * 13
        for b in m.data[:8]: v = (v * 257 + b) % 1000000000039
        s = (s * 1000003 + v) % 1000000000039
        frames += 1
    return frames, s
if mode == 'write':
    msgs = []
    for i in range(n):
        ext = i % 5 == 0
        ln = i % 9
        t = 1436509052.249713 + (i * 10 - (9 if i % 3 == 0 else 0)) * 1e-4
        msgs.append(can.Message(timestamp=t, arbitration_id=(0x18FEF100 + i % 64) if ext else (0x100 + i % 0x500),
                                is_extended_id=ext, is_rx=i % 17 != 0,
                                data=bytes(((i * 31 + k) & 0xFF) for k in range(ln))))
    w = can.BLFWriter(path) if kind == 'blf' else can.TRCWriter(path)
    t0 = time.perf_counter()
    for m in msgs: w.on_message_received(m)
    w.stop()
    print('%.3f' % (time.perf_counter() - t0))
else:
    t0 = time.perf_counter()
    msgs = list(can.BLFReader(path) if kind == 'blf' else can.TRCReader(path))
    took = time.perf_counter() - t0
    frames, s = fold(msgs)
    print('%.3f %d %d' % (took, frames, s))
)";

std::string Peer(const std::string& script, const std::string& args)
{
    std::string out;
    if (std::FILE* p = popen(("/usr/bin/python3 " + script + " " + args).c_str(), "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, p))
            out += buf;
        pclose(p);
    }
    return out;
}

long long FileSize(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

bool ReadOurs(const std::string& path, double& seconds, Fold& fold)
{
    const auto t0 = Clock::now();
    std::FILE* f = OpenLogFile(path, nullptr);
    if (!f)
        return false;
    TLogSource src(f, path);
    TLogFrame frame;
    TLogLine kind;
    std::int64_t first = -1;
    while (src.Next(frame, kind)) {
        if (kind != TLogLine::Frame)
            continue;
        const std::int64_t ns = frame.seconds * 1'000'000'000 + frame.nanoseconds;
        if (first < 0)
            first = ns;
        const AdapterRecord& r = frame.record;
        fold.Add(r.CanId(), r.Extended(), r.IsTransmitted(), r.Length(), r.Data(),
                 static_cast<std::uint64_t>((ns - first + 50'000) / 100'000));
    }
    std::fclose(f);
    seconds = Seconds(t0);
    if (!src.Error().empty())
        std::fprintf(stderr, "%s\n", src.Error().c_str());
    return src.Error().empty();
}

}  // namespace

int main(int argc, char** argv)
{
    const std::uint32_t n = argc > 1 ? static_cast<std::uint32_t>(std::atoi(argv[1])) : 1'000'000u;
    const std::string dir = argc > 2 ? argv[2] : "/tmp";
    const std::string script = dir + "/binary_logs_peer.py";
    if (std::FILE* f = std::fopen(script.c_str(), "w")) {
        std::fputs(kPeer, f);
        std::fclose(f);
    }
    std::vector<AdapterRecord> records;
    records.reserve(n);
    Fold made;
    for (std::uint32_t i = 0; i < n; ++i) {
        records.push_back(Make(i));
        const AdapterRecord& r = records.back();
        made.Add(r.CanId(), r.Extended(), r.IsTransmitted(), r.Length(), r.Data(), r.TimeStamp() - records[0].TimeStamp());
    }
    int status = 0;
    for (const char* kind : {"blf", "trc"}) {
        const std::string ours = dir + "/bench_ours." + kind, theirs = dir + "/bench_peer." + kind;
        const auto t0 = Clock::now();
        QString error;
        if (!SaveTrace(QString::fromStdString(ours), std::string(kind) == "blf" ? TTraceFormat::Blf : TTraceFormat::Trc,
                       records, 1436509052249713, nullptr, &error)) {
            std::fprintf(stderr, "%s: %s\n", ours.c_str(), qPrintable(error));
            return 1;
        }
        const double writeOurs = Seconds(t0);
        // The same without the file: formatting and compressing alone, no sync to the disk.
        const auto tf = Clock::now();
        const std::size_t bytes =
            FormatTrace(std::string(kind) == "blf" ? TTraceFormat::Blf : TTraceFormat::Trc, records, 1436509052249713).size();
        const double formatOurs = Seconds(tf);
        double readOurs = 0, readTheirsHere = 0;
        Fold ownBack, theirsHere;
        ReadOurs(ours, readOurs, ownBack);

        const double writePeer = std::atof(Peer(script, std::string("write ") + kind + " " + theirs + " " + std::to_string(n)).c_str());
        unsigned long long peerFrames = 0, peerSum = 0, peerOwnFrames = 0, peerOwnSum = 0;
        double readPeer = 0, readPeerOwn = 0;
        std::sscanf(Peer(script, std::string("read ") + kind + " " + ours + " 0").c_str(), "%lf %llu %llu", &readPeer,
                    &peerFrames, &peerSum);
        std::sscanf(Peer(script, std::string("read ") + kind + " " + theirs + " 0").c_str(), "%lf %llu %llu",
                    &readPeerOwn, &peerOwnFrames, &peerOwnSum);
        ReadOurs(theirs, readTheirsHere, theirsHere);

        const bool oursRound = ownBack.frames == n && ownBack.sum == made.sum;
        const bool toPeer = peerFrames == n && peerSum == made.sum;
        const bool fromPeer = theirsHere.frames == n && theirsHere.sum == peerOwnSum && peerOwnFrames == n;
        std::printf("%s, %u frames\n", kind, n);
        std::printf("  write: %.3f s here (synced file; %.3f s to memory, %zu bytes), %.3f s python-can: %.1fx\n",
                    writeOurs, formatOurs, bytes, writePeer, writePeer / writeOurs);
        std::printf("  read:  %.3f s here, %.3f s python-can (own file %.3f s): %.1fx\n", readOurs, readPeer,
                    readPeerOwn, readPeer / readOurs);
        std::printf("  size:  %lld bytes here, %lld bytes python-can: %.3f of theirs\n", FileSize(ours),
                    FileSize(theirs), double(FileSize(ours)) / double(FileSize(theirs)));
        std::printf("  round trip: ours read here %s, ours read by python-can %s, python-can's read here %s\n",
                    oursRound ? "same" : "DIFFERENT", toPeer ? "same" : "DIFFERENT", fromPeer ? "same" : "DIFFERENT");
        if (!oursRound || !toPeer || !fromPeer)
            status = 1;
        std::remove(ours.c_str());
        std::remove(theirs.c_str());
    }
    std::remove(script.c_str());
    return status;
}
