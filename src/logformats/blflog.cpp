#include "logformats/blflog.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <zlib.h>

namespace tarvik {

namespace {

constexpr std::uint32_t kCanMessage = 1;
constexpr std::uint32_t kCanError = 2;
constexpr std::uint32_t kLogContainer = 10;
constexpr std::uint32_t kCanErrorExt = 73;
constexpr std::uint32_t kCanMessage2 = 86;
constexpr std::uint32_t kCanFdMessage = 100;
constexpr std::uint32_t kCanFdMessage64 = 101;
constexpr std::uint32_t kCanFdError64 = 104;

constexpr std::size_t kBaseHeader = 16;
constexpr std::size_t kCanObject = 48;  // v1 header and the CAN message body

std::uint16_t Get16(const char* p)
{
    return static_cast<std::uint16_t>(static_cast<unsigned char>(p[0]) | static_cast<unsigned char>(p[1]) << 8);
}
std::uint32_t Get32(const char* p) { return Get16(p) | static_cast<std::uint32_t>(Get16(p + 2)) << 16; }
std::uint64_t Get64(const char* p) { return Get32(p) | static_cast<std::uint64_t>(Get32(p + 4)) << 32; }

void Put16(char* p, std::uint16_t v)
{
    p[0] = static_cast<char>(v);
    p[1] = static_cast<char>(v >> 8);
}
void Put32(char* p, std::uint32_t v)
{
    Put16(p, static_cast<std::uint16_t>(v));
    Put16(p + 2, static_cast<std::uint16_t>(v >> 16));
}
void Put64(char* p, std::uint64_t v)
{
    Put32(p, static_cast<std::uint32_t>(v));
    Put32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

bool IsObject(const char* p) { return std::memcmp(p, "LOBJ", 4) == 0; }

// The header's time fields are local time to the millisecond; 0 for an unset time.
std::int64_t SystemTimeMillis(const char* p)
{
    std::tm t{};
    t.tm_year = Get16(p) - 1900;
    t.tm_mon = Get16(p + 2) - 1;
    t.tm_mday = Get16(p + 6);
    t.tm_hour = Get16(p + 8);
    t.tm_min = Get16(p + 10);
    t.tm_sec = Get16(p + 12);
    t.tm_isdst = -1;
    const int ms = Get16(p + 14);
    if (Get16(p) < 1970 || Get16(p) > 2200 || t.tm_mon < 0 || t.tm_mon > 11 || t.tm_mday < 1 || t.tm_mday > 31 || ms > 999)
        return 0;
    const std::time_t s = std::mktime(&t);
    return s == static_cast<std::time_t>(-1) ? 0 : static_cast<std::int64_t>(s) * 1000 + ms;
}

void PutSystemTime(char* p, std::int64_t millis)
{
    if (millis <= 0)
        return;  // left all zero: no time
    const std::time_t s = static_cast<std::time_t>(millis / 1000);
    std::tm t{};
    localtime_r(&s, &t);
    const std::uint16_t f[8] = {static_cast<std::uint16_t>(t.tm_year + 1900), static_cast<std::uint16_t>(t.tm_mon + 1),
                                static_cast<std::uint16_t>(t.tm_wday),        static_cast<std::uint16_t>(t.tm_mday),
                                static_cast<std::uint16_t>(t.tm_hour),        static_cast<std::uint16_t>(t.tm_min),
                                static_cast<std::uint16_t>(t.tm_sec),         static_cast<std::uint16_t>(millis % 1000)};
    for (int i = 0; i < 8; ++i)
        Put16(p + 2 * i, f[i]);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Reading

TBlfReader::TBlfReader(LineReader& in, std::string name) : in_(in), name_(std::move(name)) {}

bool TBlfReader::Fail(std::uint64_t offset, const std::string& what)
{
    error_ = name_ + ": " + what + " at offset " + std::to_string(offset);
    return false;
}

bool TBlfReader::ReadHeader()
{
    started_ = true;
    char h[kBlfHeaderSize];
    const std::size_t got = in_.Read(h, 8);
    fileOffset_ = got;
    if (got < 8 || std::memcmp(h, "LOGG", 4) != 0)
        return Fail(0, got < 8 ? "file header cut short" : "not a BLF file");
    const std::uint32_t size = Get32(h + 4);
    if (size < 72 || size > 4096)
        return Fail(4, "file header size " + std::to_string(size) + " out of range");
    const std::size_t inHeader = size < kBlfHeaderSize ? size : kBlfHeaderSize;
    fileOffset_ += in_.Read(h + 8, inHeader - 8);
    for (std::size_t rest = size - inHeader; rest > 0; --rest) {
        char c;
        if (in_.Read(&c, 1) != 1)
            break;
        ++fileOffset_;
    }
    if (fileOffset_ < size)
        return Fail(fileOffset_, "file header cut short");
    startNanos_ = SystemTimeMillis(h + 40) * 1'000'000;
    return true;
}

bool TBlfReader::NextContainer()
{
    // Objects are padded to four bytes, by (size % 4) as the common writers do or to the
    // next multiple; zero bytes before a signature are that padding.
    std::string_view look = in_.Peek(kBaseHeader + 3);
    std::size_t pad = 0;
    while (pad < 3 && pad < look.size() && look[pad] == 0 && !(look.size() >= pad + 4 && IsObject(look.data() + pad)))
        ++pad;
    char skip[3];
    fileOffset_ += in_.Read(skip, pad);
    look = in_.Peek(kBaseHeader);
    if (look.empty()) {
        ended_ = true;
        // Padding after the last object is no damage.
        if (std::any_of(data_.begin() + static_cast<std::ptrdiff_t>(pos_), data_.end(), [](char c) { return c != 0; }))
            return Fail(dataOffset_, "last object cut short");
        return false;
    }
    const std::uint64_t at = fileOffset_;
    if (look.size() < kBaseHeader)
        return Fail(at, "object header cut short");
    if (!IsObject(look.data()))
        return Fail(at, "no object signature");
    const std::uint32_t size = Get32(look.data() + 8);
    const std::uint32_t type = Get32(look.data() + 12);
    if (size < kBaseHeader)
        return Fail(at, "object size " + std::to_string(size) + " below its header");
    if (size > kMaxObject)
        return Fail(at, "object of " + std::to_string(size) + " bytes above the limit of " + std::to_string(kMaxObject));
    packed_.resize(size);
    const std::size_t got = in_.Read(packed_.data(), size);
    fileOffset_ += got;
    if (got < size) {
        if (in_.Failed())
            return Fail(at, std::string("read error: ") + std::strerror(in_.Error()));
        return Fail(at, "object cut short (" + std::to_string(got) + " of " + std::to_string(size) + " bytes)");
    }
    // What is left of the last container's objects goes first: an object may run on.
    data_.erase(data_.begin(), data_.begin() + static_cast<std::ptrdiff_t>(pos_));
    pos_ = 0;
    dataOffset_ = at;
    if (type != kLogContainer) {  // an object outside any container
        data_.insert(data_.end(), packed_.begin(), packed_.end());
        return true;
    }
    const std::uint16_t headerSize = Get16(packed_.data() + 4);
    const std::size_t body = headerSize < kBaseHeader ? kBaseHeader : headerSize;
    if (size < body + 16)
        return Fail(at, "log container cut short");
    const std::uint16_t method = Get16(packed_.data() + body);
    const std::uint32_t plain = Get32(packed_.data() + body + 8);
    const char* src = packed_.data() + body + 16;
    const std::size_t srcSize = size - body - 16;
    if (plain > kMaxObject)
        return Fail(at, "container of " + std::to_string(plain) + " bytes above the limit of " +
                            std::to_string(kMaxObject));
    const std::size_t old = data_.size();
    if (method == 0) {
        data_.insert(data_.end(), src, src + srcSize);
        return true;
    }
    if (method != 2)
        return Fail(at, "unknown compression method " + std::to_string(method));
    data_.resize(old + plain);
    uLongf outLen = plain;
    const int rc = uncompress(reinterpret_cast<Bytef*>(data_.data() + old), &outLen,
                              reinterpret_cast<const Bytef*>(src), static_cast<uLong>(srcSize));
    if (rc != Z_OK || outLen != plain) {
        data_.resize(old);
        return Fail(at, "log container does not inflate");
    }
    return true;
}

int TBlfReader::TakeObject(TLogFrame& frame, TLogLine& kind)
{
    std::size_t p = pos_;
    while (p < pos_ + 3 && p < data_.size() && data_[p] == 0 && (data_.size() - p < 4 || !IsObject(&data_[p])))
        ++p;
    if (data_.size() - p < kBaseHeader)
        return -1;
    if (!IsObject(&data_[p])) {
        Fail(dataOffset_, "no object signature " + std::to_string(p) + " bytes into the container");
        return -2;
    }
    const char* o = &data_[p];
    const std::uint16_t headerSize = Get16(o + 4);
    const std::uint16_t version = Get16(o + 6);
    const std::uint32_t size = Get32(o + 8);
    const std::uint32_t type = Get32(o + 12);
    if (size < kBaseHeader || size > kMaxObject || headerSize > size) {
        Fail(dataOffset_, "object size " + std::to_string(size) + " out of range " + std::to_string(p) +
                              " bytes into the container");
        return -2;
    }
    if (data_.size() - p < size)
        return -1;
    pos_ = p + size;
    const bool frameType = type == kCanMessage || type == kCanMessage2 || type == kCanFdMessage ||
                           type == kCanFdMessage64 || type == kCanError || type == kCanErrorExt ||
                           type == kCanFdError64;
    if (!frameType || (version != 1 && version != 2) || size < headerSize + 8u || headerSize < kBaseHeader + 16u) {
        ++skipped_.otherObjects;
        return 0;
    }
    const std::uint32_t timeFlags = Get32(o + 16);
    const std::uint64_t stamp = Get64(o + 24);
    // More than fifty years after the start is damage, and would not fit the frame's time.
    constexpr std::uint64_t kMaxNanos = 50ull * 366 * 86400 * 1'000'000'000;
    if (stamp > (timeFlags == 1 ? kMaxNanos / 10'000 : kMaxNanos)) {
        Fail(dataOffset_, "object time out of range " + std::to_string(p) + " bytes into the container");
        return -2;
    }
    const std::int64_t nanos = startNanos_ + static_cast<std::int64_t>(timeFlags == 1 ? stamp * 10'000 : stamp);
    frame = TLogFrame{};
    frame.seconds = nanos / 1'000'000'000;
    frame.nanoseconds = static_cast<std::int32_t>(nanos % 1'000'000'000);
    const char* b = o + headerSize;
    const std::size_t bodySize = size - headerSize;
    if (type == kCanError || type == kCanErrorExt || type == kCanFdError64) {
        kind = TLogLine::ErrorFrame;
        return 1;
    }
    std::uint32_t id = 0;
    int length = 0, dlc = 0;
    bool transmitted = false, remote = false;
    const char* data = nullptr;
    if (type == kCanFdMessage64) {
        if (bodySize < 40) {
            ++skipped_.otherObjects;
            return 0;
        }
        dlc = static_cast<unsigned char>(b[1]);
        length = static_cast<unsigned char>(b[2]);
        id = Get32(b + 4);
        const std::uint32_t flags = Get32(b + 12);
        transmitted = b[34] != 0;
        remote = (flags & 0x10) != 0;
        data = b + 40;
        length = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(length), bodySize - 40));
        kind = (flags & 0x1000) ? TLogLine::FdFrame : TLogLine::Frame;
    } else {
        if (bodySize < 16) {
            ++skipped_.otherObjects;
            return 0;
        }
        const std::uint8_t flags = static_cast<std::uint8_t>(b[2]);
        dlc = static_cast<unsigned char>(b[3]);
        id = Get32(b + 4);
        transmitted = (flags & 0x01) != 0;
        remote = (flags & 0x80) != 0;
        if (type == kCanFdMessage) {
            if (bodySize < 20 + 64) {
                ++skipped_.otherObjects;
                return 0;
            }
            const bool fd = (b[13] & 0x1) != 0;
            length = static_cast<unsigned char>(b[14]);
            data = b + 20;
            kind = fd ? TLogLine::FdFrame : TLogLine::Frame;
        } else {
            length = dlc;
            data = b + 8;
            kind = TLogLine::Frame;
        }
    }
    const bool extended = (id & 0x80000000u) != 0;
    const std::uint8_t recType = transmitted ? kCanTransmitted : kCanReceived;
    if (remote && kind == TLogLine::Frame) {
        frame.record = AdapterRecord::CanRemote(id & kExtendedIdMask, extended, dlc > 15 ? 15 : dlc, recType);
        kind = TLogLine::RemoteFrame;
        return 1;
    }
    std::uint8_t bytes[8] = {};
    const int n = length < 8 ? length : 8;
    std::memcpy(bytes, data, static_cast<std::size_t>(n > 0 ? n : 0));
    // A classic frame keeps a length code above 8 as the record does; CAN FD keeps eight bytes.
    const int recLength = kind == TLogLine::FdFrame ? n : (dlc > 15 ? 15 : dlc);
    frame.record = AdapterRecord::Can(id & kExtendedIdMask, extended, recLength, bytes, recType);
    return 1;
}

bool TBlfReader::Next(TLogFrame& frame, TLogLine& kind)
{
    if (!error_.empty() || ended_)
        return false;
    if (!started_ && !ReadHeader())
        return false;
    for (;;) {
        const int r = TakeObject(frame, kind);
        if (r == 1)
            return true;
        if (r == -2)
            return false;
        if (r == -1 && !NextContainer())
            return false;
    }
}

// ---------------------------------------------------------------------------------------
// Writing

TBlfWriter::TBlfWriter(int level) : level_(level) { objects_buf_.reserve(kContainer); }

void TBlfWriter::Begin(std::string& out) { out += Header(); }

bool TBlfWriter::Write(const AdapterRecord& r, std::int64_t micros, std::string& out)
{
    if (!r.IsCan())
        return false;
    if (!haveStart_) {
        haveStart_ = true;
        startMillis_ = micros >= 0 ? micros / 1000 : (micros - 999) / 1000;
    }
    lastMicros_ = micros;
    if (objects_buf_.size() + kCanObject > kContainer)
        Flush(out);
    const std::size_t at = objects_buf_.size();
    objects_buf_.resize(at + kCanObject);
    char* o = objects_buf_.data() + at;
    std::memcpy(o, "LOBJ", 4);
    Put16(o + 4, 32);
    Put16(o + 6, 1);
    Put32(o + 8, kCanObject);
    Put32(o + 12, kCanMessage);
    Put32(o + 16, 2);  // nanoseconds
    Put32(o + 20, 0);
    const std::int64_t since = (micros - startMillis_ * 1000) * 1000;
    Put64(o + 24, static_cast<std::uint64_t>(since > 0 ? since : 0));
    Put16(o + 32, 1);  // channel 1: the record has no channel
    o[34] = static_cast<char>((r.IsTransmitted() ? 0x01 : 0) | (r.Remote() ? 0x80 : 0));
    o[35] = static_cast<char>(r.Length());
    Put32(o + 36, r.CanId() | (r.Extended() ? 0x80000000u : 0));
    std::memset(o + 40, 0, 8);
    if (!r.Remote())
        std::memcpy(o + 40, r.Data(), r.Length() < 8 ? r.Length() : 8);
    ++objects_;
    return true;
}

void TBlfWriter::Flush(std::string& out)
{
    if (objects_buf_.empty())
        return;
    const bool store = level_ == 0;
    const char* body = objects_buf_.data();
    uLongf packedSize = static_cast<uLongf>(objects_buf_.size());
    if (!store) {
        packed_.resize(compressBound(static_cast<uLong>(objects_buf_.size())));
        packedSize = static_cast<uLongf>(packed_.size());
        compress2(packed_.data(), &packedSize, reinterpret_cast<const Bytef*>(body),
                  static_cast<uLong>(objects_buf_.size()), level_);
        body = reinterpret_cast<const char*>(packed_.data());
    }
    const std::uint32_t size = static_cast<std::uint32_t>(32 + packedSize);
    char head[32] = {};
    std::memcpy(head, "LOBJ", 4);
    Put16(head + 4, 16);
    Put16(head + 6, 1);
    Put32(head + 8, size);
    Put32(head + 12, kLogContainer);
    Put16(head + 16, store ? 0 : 2);
    Put32(head + 24, static_cast<std::uint32_t>(objects_buf_.size()));
    out.append(head, sizeof head);
    out.append(body, packedSize);
    out.append(size % 4, '\0');
    fileSize_ += size + size % 4;
    uncompressed_ += 32 + objects_buf_.size();
    objects_buf_.clear();
}

void TBlfWriter::Finish(std::string& out) { Flush(out); }

std::string TBlfWriter::Header() const
{
    std::string h(kBlfHeaderSize, '\0');
    char* p = h.data();
    std::memcpy(p, "LOGG", 4);
    Put32(p + 4, kBlfHeaderSize);
    p[12] = 2;  // the object layout's version, as the common readers expect it
    p[13] = 6;
    p[14] = 8;
    p[15] = 1;
    Put64(p + 16, fileSize_);
    Put64(p + 24, uncompressed_);
    Put32(p + 32, static_cast<std::uint32_t>(objects_));
    if (haveStart_) {
        PutSystemTime(p + 40, startMillis_);
        PutSystemTime(p + 56, lastMicros_ / 1000);
    }
    return h;
}

}  // namespace tarvik
