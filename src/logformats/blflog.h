#pragma once
// The BLF log: a binary trace made of objects ("LOBJ") after a 144-byte file header ("LOGG"),
// the objects packed into log containers whose contents are zlib streams. Numbers are
// little-endian.
//
//   offset 0    "LOGG", header size 144, versions, file size, uncompressed size,
//               object count, start and end time (each eight 16-bit fields: year, month,
//               weekday, day, hour, minute, second, millisecond, local time)
//   offset 144  "LOBJ" header size 16, version 1, object size, type 10 (log container),
//               method (2 zlib, 0 stored), uncompressed size, then the compressed bytes
//               and padding of (object size % 4) zero bytes
//   inside      "LOBJ" 32, 1, 48, type 1 (CAN message), time flags (2: nanoseconds),
//               time since the start, channel, flags (0x01 transmitted, 0x80 remote),
//               length code, identifier (bit 31: 29-bit), eight data bytes
//
// A received standard frame 0x123 with 11 22, 0.0345 s after the start, is the object
//   4C4F424A 2000 0100 30000000 01000000  02000000 0000 0000 A06D0E0200000000
//   0100 00 02 23010000 1122000000000000
//
// Reading takes compressed and stored containers, objects that run on from one container
// into the next, object headers of version 1 and 2, times in 10 µs or ns units, CAN
// messages (types 1 and 86; remote ones as RemoteFrame), CAN FD messages (types 100 and 101,
// as FdFrame with their first eight bytes) and error frames (types 2, 73 and 104); every
// other object is counted and passed over. Times come out absolute (seconds since 1970)
// when the header holds a start time. A container or object above kMaxObject, a bad
// signature, a stream that does not inflate and a file cut short stop reading with the
// file offset of the damage; the frames before it have been given already.
//
// Writing: CAN messages (type 1) on channel 1 in zlib containers of at most 128 KiB of
// objects, each object whole in one container. The header's start time is the first
// frame's time cut to the millisecond and the object times count from there, so the log
// keeps its place in time; the header is written last with the counts and the end time.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "logformats/linereader.h"
#include "logformats/logframe.h"

namespace tarvik {

inline constexpr std::size_t kBlfHeaderSize = 144;

// What a BLF reader passed over, by kind (CAN FD and error frames are given to the caller).
struct TBlfSkips {
    std::uint64_t otherObjects = 0;
};

class TBlfReader {
public:
    // Largest container or object read, compressed or not: damage cannot demand more memory.
    static constexpr std::uint32_t kMaxObject = 16u << 20;

    // Reads through `in`, whose file header has not been taken yet.
    TBlfReader(LineReader& in, std::string name);

    // The next CAN object (Frame, RemoteFrame, FdFrame or ErrorFrame). False at the end or on
    // damage (Error() then says what and where).
    bool Next(TLogFrame& frame, TLogLine& kind);
    std::uint64_t OtherObjects() const { return skipped_.otherObjects; }
    // The file header gave a start time: frame times are since 1970.
    bool HasStart() const { return startNanos_ != 0; }
    const std::string& Error() const { return error_; }

private:
    bool ReadHeader();
    bool NextContainer();
    bool Fail(std::uint64_t offset, const std::string& what);
    // Takes one object at pos_ in data_: 1 a frame, 0 another object, -1 more data needed.
    int TakeObject(TLogFrame& frame, TLogLine& kind);

    LineReader& in_;
    std::string name_;
    std::string error_;
    bool started_ = false;
    bool ended_ = false;
    std::uint64_t fileOffset_ = 0;      // bytes taken from the stream
    std::int64_t startNanos_ = 0;       // the header's start time, since 1970
    std::vector<char> data_;            // objects unpacked from the containers
    std::size_t pos_ = 0;
    std::uint64_t dataOffset_ = 0;      // file offset of the container data_ ends with
    std::vector<char> packed_;
    TBlfSkips skipped_;
};

class TBlfWriter {
public:
    static constexpr std::size_t kContainer = 128 * 1024;

    // `level` is zlib's compression level (0 stores). Level 1 compresses CAN traffic to
    // within a tenth of level 6 at a third of the time, which a long capture needs more.
    explicit TBlfWriter(int level = 1);

    // The placeholder header (first thing in the file); Header() later gives the real one.
    void Begin(std::string& out);
    // Adds a CAN record at `micros` since 1970; a full container is compressed onto out.
    // Other records are not written: false.
    bool Write(const AdapterRecord& record, std::int64_t micros, std::string& out);
    // The last container onto out.
    void Finish(std::string& out);
    // The file header for what was written so far, to put over the first kBlfHeaderSize bytes.
    std::string Header() const;

    std::uint64_t Objects() const { return objects_; }

private:
    void Flush(std::string& out);

    int level_;
    std::vector<char> objects_buf_;
    std::vector<unsigned char> packed_;
    std::uint64_t objects_ = 0;
    std::uint64_t fileSize_ = kBlfHeaderSize;
    std::uint64_t uncompressed_ = kBlfHeaderSize;
    bool haveStart_ = false;
    std::int64_t startMillis_ = 0;
    std::int64_t lastMicros_ = 0;
};

}  // namespace tarvik
