#include "platform/atomicfile.h"

#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvik {

namespace {

mode_t NewFileMode()
{
    // The process umask, without the racy umask() set-and-restore.
    mode_t mask = 022;
    if (std::FILE* f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, f)) {
            if (std::strncmp(line, "Umask:", 6) == 0) {
                mask = static_cast<mode_t>(std::strtoul(line + 6, nullptr, 8));
                break;
            }
        }
        std::fclose(f);
    }
    return 0666 & ~mask;
}

// Makes a rename survive a power cut; the data is already on disk.
void SyncFolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

}  // namespace

TAtomicFile::TAtomicFile(std::string path, bool directFallback)
    : requested_(std::move(path)), path_(requested_), directFallback_(directFallback)
{
}

TAtomicFile::~TAtomicFile() { Cancel(); }

bool TAtomicFile::Fail(const char* what, int err)
{
    reason_ = err ? std::strerror(err) : "unknown error";
    error_ = std::string(what) + " \"" + requested_ + "\": " + reason_;
    Cancel();
    return false;
}

bool TAtomicFile::Open()
{
    // Write through a symbolic link instead of replacing the link by a plain file.
    struct stat st {};
    if (::lstat(requested_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(requested_.c_str(), nullptr)) {
            path_ = real;
            std::free(real);
        }
    }
    const bool exists = ::stat(path_.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        reason_ = "not a regular file";
        error_ = "Cannot create file \"" + requested_ + "\": " + reason_;
        return false;
    }
    const mode_t mode = exists ? (st.st_mode & 07777) : NewFileMode();

    tmp_ = path_ + ".XXXXXX";
    fd_ = ::mkstemp(tmp_.data());
    if (fd_ < 0) {
        const int err = errno;
        tmp_.clear();
        if (directFallback_ && exists && (err == EACCES || err == EPERM) && ::access(path_.c_str(), W_OK) == 0) {
            fd_ = ::open(path_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
            if (fd_ >= 0) {
                direct_ = true;
                return true;
            }
            return Fail("Cannot create file", errno);
        }
        return Fail("Cannot create file", err);
    }
    if (::fchmod(fd_, mode) != 0)
        return Fail("Cannot write file", errno);
    return true;
}

bool TAtomicFile::Write(const char* data, std::size_t size)
{
    if (fd_ < 0)
        return Fail("Cannot write file", EBADF);
    while (size > 0) {
        const ssize_t put = ::write(fd_, data, size);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return Fail("Cannot write file", errno);
        }
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

bool TAtomicFile::WriteAt(std::uint64_t offset, const char* data, std::size_t size)
{
    if (fd_ < 0)
        return Fail("Cannot write file", EBADF);
    while (size > 0) {
        const ssize_t put = ::pwrite(fd_, data, size, static_cast<off_t>(offset));
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return Fail("Cannot write file", errno);
        }
        data += put;
        offset += static_cast<std::uint64_t>(put);
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

bool TAtomicFile::Commit()
{
    if (fd_ < 0)
        return Fail("Cannot write file", EBADF);
    if (::fsync(fd_) != 0)
        return Fail("Cannot write file", errno);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        return Fail("Cannot write file", errno);
    if (direct_)
        return true;
    if (::rename(tmp_.c_str(), path_.c_str()) != 0)
        return Fail("Cannot write file", errno);
    tmp_.clear();
    SyncFolderOf(path_);
    return true;
}

void TAtomicFile::Cancel()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!tmp_.empty()) {
        ::unlink(tmp_.c_str());
        tmp_.clear();
    }
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error)
{
    TAtomicFile file(path);
    if (file.Open() && file.Write(bytes.data(), bytes.size()) && file.Commit())
        return true;
    if (error)
        *error = file.Error();
    return false;
}

bool SaveFileAtomically(const QString& path, const char* data, std::int64_t size, QString* error)
{
    TAtomicFile file(QFile::encodeName(path).toStdString(), true);
    if (file.Open() && file.Write(data, static_cast<std::size_t>(size)) && file.Commit())
        return true;
    if (error)
        *error = QString::fromLocal8Bit(file.Reason());
    return false;
}

}  // namespace tarvik
