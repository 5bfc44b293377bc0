#pragma once
// A log read whole through the program's one log reader, for tests of the formats.
#include <cstdio>
#include <string>
#include <vector>

#include "logformats/logsource.h"

namespace testsupport {

struct LogPass {
    std::vector<tarvik::TLogFrame> frames;  // every frame of any kind, in order
    std::vector<tarvik::TLogLine> kinds;
    tarvik::TLogCounts counts;
    tarvik::TLogFormat format = tarvik::TLogFormat::Unknown;
    std::string error;
};

inline LogPass ReadLogBytes(const std::string& bytes, const std::string& name = "log")
{
    LogPass p;
    std::string copy = bytes.empty() ? std::string("\n") : bytes;  // fmemopen takes no empty buffer
    std::FILE* f = fmemopen(copy.data(), copy.size(), "rb");
    tarvik::TLogSource src(f, name);
    tarvik::TLogFrame frame;
    tarvik::TLogLine kind;
    while (src.Next(frame, kind)) {
        p.frames.push_back(frame);
        p.kinds.push_back(kind);
    }
    p.counts = src.Counts();
    p.format = src.Format();
    p.error = src.Error();
    std::fclose(f);
    return p;
}

inline LogPass ReadLogFile(const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    std::string bytes;
    if (f) {
        char buf[65536];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            bytes.append(buf, n);
        std::fclose(f);
    }
    return ReadLogBytes(bytes, path);
}

// "time id extended direction length data" with the time to 0.1 ms, since `firstNanos`,
// as the python-can listings print it.
inline std::string FrameLine(const tarvik::TLogFrame& f, std::int64_t firstNanos)
{
    const std::int64_t ns = f.seconds * 1'000'000'000 + f.nanoseconds - firstNanos;
    const std::int64_t tenths = (ns + 50'000) / 100'000;
    const tarvik::AdapterRecord& r = f.record;
    std::string data = r.Remote() ? "R" : "";
    for (int i = 0; i < (r.Remote() ? 0 : (r.Length() > 8 ? 8 : r.Length())); ++i) {
        char b[3];
        std::snprintf(b, sizeof b, "%02X", r.Data(i));
        data += b;
    }
    char line[160];
    std::snprintf(line, sizeof line, "%lld.%04lld %X %d %s %d %s\n", static_cast<long long>(tenths / 10000),
                  static_cast<long long>(tenths % 10000), r.CanId(), r.Extended() ? 1 : 0,
                  r.IsTransmitted() ? "Tx" : "Rx", r.Length(), data.c_str());
    return line;
}

}  // namespace testsupport
