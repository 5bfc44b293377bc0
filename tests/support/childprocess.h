#pragma once
// Runs a piece of a test in a forked child, for faults that must not hit the test process
// itself: running out of memory under an address-space limit, or file permissions, which
// root (as CI runs) ignores.
#include <functional>
#include <sys/resource.h>

namespace testsupport {

struct ChildOptions {
    bool dropRoot = false;      // as root, become nobody (65534) first
    rlim_t addressSpace = 0;    // RLIMIT_AS in bytes; 0 leaves it alone
};

// The child's exit code (what body returned), 128 + signal when a signal ended it, or
// -1 when it could not be started.
int RunInChild(const std::function<int()>& body, const ChildOptions& options = {});

// Address-space limits cannot be combined with the sanitizers, which reserve terabytes.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kAddressSpaceLimitWorks = false;
#else
inline constexpr bool kAddressSpaceLimitWorks = true;
#endif

}  // namespace testsupport
