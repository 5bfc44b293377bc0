#include "logformats/linereader.h"

#include <cerrno>
#include <cstring>

namespace tarvik {

LineReader::LineReader(std::FILE* in, std::size_t capacity, std::size_t skipLimit)
    : in_(in), buf_(capacity), skipLimit_(skipLimit)
{
}

void LineReader::Reset()
{
    begin_ = end_ = 0;
    eof_ = failed_ = skipping_ = unterminated_ = runaway_ = false;
    error_ = 0;
    skipped_ = 0;
    std::clearerr(in_);
}

bool LineReader::Fill()
{
    if (eof_)
        return false;
    if (begin_ > 0) {
        std::memmove(buf_.data(), buf_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    if (end_ == buf_.size())
        return false;
    const std::size_t got = std::fread(buf_.data() + end_, 1, buf_.size() - end_, in_);
    if (got == 0) {
        eof_ = true;
        failed_ = std::ferror(in_) != 0;
        error_ = failed_ ? errno : 0;
        return false;
    }
    end_ += got;
    return true;
}

bool LineReader::Next(std::string_view& line, bool& truncated)
{
    truncated = false;
    unterminated_ = false;
    for (;;) {
        if (runaway_)
            return false;
        const char* b = buf_.data() + begin_;
        const void* nl = std::memchr(b, '\n', end_ - begin_);
        if (nl) {
            const char* e = static_cast<const char*>(nl);
            const std::size_t len = static_cast<std::size_t>(e - b);
            begin_ += len + 1;
            if (skipping_) {  // the tail of a line already returned cut
                skipping_ = false;
                continue;
            }
            line = std::string_view(b, len > 0 && e[-1] == '\r' ? len - 1 : len);
            return true;
        }
        if (Fill())
            continue;
        if (begin_ == end_)
            return false;
        if (skipping_) {
            skipped_ += end_ - begin_;
            runaway_ = skipped_ > skipLimit_;
            begin_ = end_;
            continue;
        }
        // No line end in a full buffer, or the last line without one. Fill may have moved
        // the bytes to the front, so the line starts where begin_ is now.
        line = std::string_view(buf_.data() + begin_, end_ - begin_);
        truncated = !eof_;
        skipping_ = !eof_;
        unterminated_ = eof_;
        skipped_ = 0;
        begin_ = end_;
        return true;
    }
}

std::string_view LineReader::Peek(std::size_t n)
{
    n = n < buf_.size() ? n : buf_.size();
    while (end_ - begin_ < n && Fill()) {
    }
    const std::size_t have = end_ - begin_;
    return std::string_view(buf_.data() + begin_, have < n ? have : n);
}

std::size_t LineReader::Read(char* out, std::size_t n)
{
    std::size_t done = 0;
    const std::size_t buffered = end_ - begin_ < n ? end_ - begin_ : n;
    std::memcpy(out, buf_.data() + begin_, buffered);
    begin_ += buffered;
    done += buffered;
    if (done == n || eof_)
        return done;
    // Large pieces (compressed containers) go straight from the stream.
    const std::size_t got = std::fread(out + done, 1, n - done, in_);
    done += got;
    if (done < n) {
        eof_ = true;
        failed_ = std::ferror(in_) != 0;
        error_ = failed_ ? errno : 0;
    }
    return done;
}

}  // namespace tarvik
