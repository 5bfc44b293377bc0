#pragma once
// A file size limit for one scope, standing in for a full disk: a write past it fails with
// EFBIG (SIGXFSZ is ignored meanwhile, or it would end the test). The old limit and signal
// disposition come back when the scope ends, however it ends.
#include <sys/resource.h>

#include <csignal>

namespace testsupport {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : oldHandler_(std::signal(SIGXFSZ, SIG_IGN))
    {
        if (::getrlimit(RLIMIT_FSIZE, &saved_) != 0)
            return;
        rlimit small = saved_;
        small.rlim_cur = bytes;
        set_ = ::setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FileSizeLimit()
    {
        if (set_)
            ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    // False when the limit could not be set: the caller's check would prove nothing.
    bool Set() const { return set_; }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    void (*oldHandler_)(int);
    rlimit saved_{};
    bool set_ = false;
};

}  // namespace testsupport
