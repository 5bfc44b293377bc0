#include "support/childprocess.h"

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

int RunInChild(const std::function<int()>& body, const ChildOptions& options)
{
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        if (options.dropRoot && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            std::_Exit(120);
        if (options.addressSpace != 0) {
            const rlimit lim{options.addressSpace, options.addressSpace};
            if (::setrlimit(RLIMIT_AS, &lim) != 0)
                std::_Exit(121);
        }
        int rc = 122;
        try {
            rc = body();
        } catch (...) {
            rc = 123;  // an escaping exception, std::bad_alloc included
        }
        std::_Exit(rc);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

}  // namespace testsupport
