// Any byte sequence, cut into reads of any sizes: the stream reader never hands out more
// records than the input holds whole records, hands out only well-formed ones, never holds
// more than it may carry, and never crashes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "tusbdev/recordstream.h"

namespace {

struct Count : tarvik::TRecordStream::Sink {
    std::size_t records = 0;
    void Record(const std::uint8_t* rec) override
    {
        if (rec[0] != rec[tarvik::kRecordSize - 1])
            std::abort();
        ++records;
    }
    void BadRecord() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    // The first byte picks the read size (1..256) and whether quiet spells settle the step.
    const std::size_t chunk = std::size_t(data[0]) + 1;
    const bool settle = (data[0] & 1) != 0;
    ++data;
    --size;
    tarvik::TRecordStream stream(256);
    Count sink;
    for (std::size_t at = 0; at < size; at += chunk) {
        const std::size_t n = std::min(chunk, size - at);
        stream.Feed(data + at, n, sink);
        if (settle)
            stream.Settle(sink);
        if (stream.Held() > 10 * tarvik::kRecordSize)
            std::abort();
    }
    stream.Settle(sink);
    if (sink.records > size / tarvik::kRecordSize)
        std::abort();
    return 0;
}
