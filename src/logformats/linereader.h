#pragma once
// Lines of a text log read from a stream in fixed-size chunks, so memory stays constant
// however long the log. LF and CR LF end lines.
#include <cstddef>
#include <cstdio>
#include <string_view>
#include <vector>

namespace tarvik {

class LineReader {
public:
    // A line longer than `capacity` is returned cut, with truncated set, and the rest of it
    // skipped; a rest longer than `skipLimit` ends the lines (Runaway()), so a stream without
    // line ends (/dev/zero on a pipe) is not read on for ever.
    explicit LineReader(std::FILE* in, std::size_t capacity = 1 << 20, std::size_t skipLimit = 1 << 28);
    bool Next(std::string_view& line, bool& truncated);
    // The line Next gave last ended the stream without a line end.
    bool Unterminated() const { return unterminated_; }
    bool Runaway() const { return runaway_; }
    // A read error ended the lines (errno-style code in Error()).
    bool Failed() const { return failed_; }
    int Error() const { return error_; }
    std::size_t Capacity() const { return buf_.size(); }
    // Starts again from the stream's current position (after a seek).
    void Reset();

    // Binary logs share the reader so that the bytes looked at to tell the format are not
    // lost on a pipe. Peek gives up to n of the next bytes (n at most the capacity) and keeps
    // them; Read takes up to n, fewer only at the end of the stream or on an error.
    std::string_view Peek(std::size_t n);
    std::size_t Read(char* out, std::size_t n);

private:
    bool Fill();

    std::FILE* in_;
    std::vector<char> buf_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool eof_ = false;
    bool failed_ = false;
    int error_ = 0;
    bool skipping_ = false;
    bool unterminated_ = false;
    bool runaway_ = false;
    std::size_t skipLimit_;
    std::size_t skipped_ = 0;
};

}  // namespace tarvik
