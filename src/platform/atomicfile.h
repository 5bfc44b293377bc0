#pragma once
// Saving a file whole or not at all. The bytes go to a new file beside the target, written
// unbuffered so that a write cut short (full disk, file size limit) fails where it happens
// instead of in a final flush; the file is synced and renamed over the target only when
// every byte is in it. A symbolic link is written through, and an existing file keeps its
// permissions. Every save of the program (settings, monitor text, traces, acquisition CSV,
// label files) goes through here.
#include <QString>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvik {

class TAtomicFile {
public:
    // `directFallback`: when the folder takes no new file but the target is writable, write
    // the target in place rather than not at all.
    explicit TAtomicFile(std::string path, bool directFallback = false);
    ~TAtomicFile();  // what was not committed is thrown away
    TAtomicFile(const TAtomicFile&) = delete;
    TAtomicFile& operator=(const TAtomicFile&) = delete;

    bool Open();
    bool Write(const char* data, std::size_t size);
    // Overwrites bytes already written (a header completed at the end), not moving the
    // position where Write goes on.
    bool WriteAt(std::uint64_t offset, const char* data, std::size_t size);
    // Syncs and renames; false, with the target untouched, when any step failed.
    bool Commit();
    void Cancel();

    // After a failure: the system's words ("File too large").
    const std::string& Reason() const { return reason_; }
    // After a failure: what failed, the file and why: Cannot write file "x.txt": File too large
    const std::string& Error() const { return error_; }

private:
    bool Fail(const char* what, int err);

    std::string requested_;
    std::string path_;  // the link's target when the requested name is a link
    std::string tmp_;
    bool directFallback_;
    bool direct_ = false;
    int fd_ = -1;
    std::string reason_;
    std::string error_;
};

// One buffer saved as a whole file; `error` as TAtomicFile::Error.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error = nullptr);

// The same for the user interface's saves, in place when the folder takes no new file;
// `error` is the system's reason alone, for a message that names the file itself.
bool SaveFileAtomically(const QString& path, const char* data, std::int64_t size, QString* error);

}  // namespace tarvik
