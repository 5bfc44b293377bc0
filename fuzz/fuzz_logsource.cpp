// Any bytes as a whole log through the one log reader (BLF when they begin with its
// signature, else the text formats, TRC among them): it never crashes or reads past its
// limits, and a TRC frame written again by the TRC writer reads back as the same frame.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "logformats/logsource.h"
#include "logformats/trclog.h"

namespace {

void TrcRoundTrip(const tarvik::TLogFrame& frame)
{
    const tarvik::AdapterRecord& r = frame.record;
    if (!r.IsCan() || r.Length() > 8 || frame.Micros() < 0)
        return;
    char out[tarvik::kMaxTrcLine];
    const std::size_t n = tarvik::FormatTrcLine(r, 1, frame.Micros(), out);
    tarvik::TTrcReader fresh;
    tarvik::TLogFrame again;
    const tarvik::TLogLine k = fresh.ParseLine(std::string_view(out, n - 2), again);  // without CR LF
    if (n > sizeof out || (k != tarvik::TLogLine::Frame && k != tarvik::TLogLine::RemoteFrame))
        std::abort();
    if (again.Micros() != frame.Micros() || again.record.Type() != r.Type() || again.record.Length() != r.Length() ||
        again.record.Data64() != r.Data64() || again.record.FrameKey() != r.FrameKey() ||
        again.record.Remote() != r.Remote())
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string copy(reinterpret_cast<const char*>(data), size);
    if (copy.empty())
        copy = "\n";
    std::FILE* f = fmemopen(copy.data(), copy.size(), "rb");
    if (!f)
        return 0;
    tarvik::TLogSource src(f, "fuzz", 4096);
    tarvik::TLogFrame frame;
    tarvik::TLogLine kind;
    while (src.Next(frame, kind))
        if (src.Format() == tarvik::TLogFormat::Trc && !src.AbsoluteTimes() &&
            (kind == tarvik::TLogLine::Frame || kind == tarvik::TLogLine::RemoteFrame))
            TrcRoundTrip(frame);
    std::fclose(f);
    return 0;
}
