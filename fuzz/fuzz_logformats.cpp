// Any text as a candump or ASC log line: the readers never crash, and a frame they read,
// written again by the matching writer, reads back as the same frame.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "logformats/asclog.h"
#include "logformats/candumplog.h"

namespace {

// A classic length code above 8 still means eight bytes, and is written as 8.
int Bytes(const tarvik::AdapterRecord& r) { return r.Length() > 8 ? 8 : r.Length(); }

void SameFrame(const tarvik::TLogFrame& a, const tarvik::TLogFrame& b)
{
    if (a.Micros() != b.Micros() || a.record.Type() != b.record.Type() || Bytes(a.record) != Bytes(b.record) ||
        a.record.Data64() != b.record.Data64() || (a.record.IsCan() && a.record.FrameKey() != b.record.FrameKey()) ||
        (a.record.IsLin() && a.record.LinIdentifier() != b.record.LinIdentifier()))
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    tarvik::TLogFrame frame, again;
    if (tarvik::ParseCandumpLine(text, frame) == tarvik::TLogLine::Frame) {
        char out[tarvik::kMaxCandumpLine];
        const std::size_t n = tarvik::FormatCandumpLine(frame.record, frame.Micros(), out);
        if (n > sizeof out || tarvik::ParseCandumpLine(std::string_view(out, n), again) != tarvik::TLogLine::Frame)
            std::abort();
        SameFrame(frame, again);
    }
    tarvik::TAscReader reader;
    // Each line of the input in turn, so header lines can change how later ones read.
    std::size_t from = 0;
    while (from <= text.size()) {
        const std::size_t nl = text.find('\n', from);
        const std::string_view line = text.substr(from, nl == std::string_view::npos ? text.size() - from : nl - from);
        if (reader.ParseLine(line, frame) == tarvik::TLogLine::Frame && frame.Micros() >= 0) {
            char out[tarvik::kMaxAscLine];
            const std::size_t n = tarvik::FormatAscLine(frame.record, frame.Micros(), out);
            tarvik::TAscReader fresh;
            if (n > sizeof out || fresh.ParseLine(std::string_view(out, n), again) != tarvik::TLogLine::Frame)
                std::abort();
            SameFrame(frame, again);
        }
        if (nl == std::string_view::npos)
            break;
        from = nl + 1;
    }
    return 0;
}
