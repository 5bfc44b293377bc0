#pragma once
// Runs tarvik-adapter-emu as a child process and reads the pty path it prints first.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace testsupport {

class EmuProcess {
public:
    EmuProcess() = default;
    EmuProcess(const EmuProcess&) = delete;
    EmuProcess& operator=(const EmuProcess&) = delete;
    ~EmuProcess()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            Wait();
        }
        if (out_ >= 0)
            ::close(out_);
    }

    // Starts the tool with `args`; true once it printed a line (the pty path) within `timeoutMs`.
    bool Start(const std::vector<std::string>& args, int timeoutMs = 15000)
    {
        int p[2];
        if (::pipe2(p, O_CLOEXEC) != 0)
            return false;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, p[1], 1);
        std::vector<std::string> all{TARVIK_EMU_PATH};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const int rc = posix_spawn(&pid_, TARVIK_EMU_PATH, &fa, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        ::close(p[1]);
        out_ = p[0];
        if (rc != 0) {
            pid_ = -1;
            return false;
        }
        line_ = ReadLine(timeoutMs);
        return !line_.empty();
    }
    const std::string& FirstLine() const { return line_; }
    // Everything else the child wrote to stdout until it closed it.
    std::string RestOfOutput(int timeoutMs = 5000)
    {
        std::string s;
        for (;;) {
            pollfd pfd{out_, POLLIN, 0};
            if (::poll(&pfd, 1, timeoutMs) <= 0)
                return s;
            char buf[512];
            const ssize_t n = ::read(out_, buf, sizeof buf);
            if (n <= 0)
                return s;
            s.append(buf, std::size_t(n));
        }
    }
    void Signal(int sig) { ::kill(pid_, sig); }
    pid_t Pid() const { return pid_; }
    // The caller reaped the child itself.
    void Forget() { pid_ = -1; }
    // The wait status of the child, or -1 when it did not end within `timeoutMs`.
    int Wait(int timeoutMs = 10000)
    {
        for (int waited = 0; waited <= timeoutMs; waited += 10) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return status;
            }
            ::usleep(10000);
        }
        return -1;
    }

private:
    std::string ReadLine(int timeoutMs)
    {
        std::string s;
        while (s.empty() || s.back() != '\n') {
            pollfd pfd{out_, POLLIN, 0};
            if (::poll(&pfd, 1, timeoutMs) <= 0)
                return {};
            char c;
            if (::read(out_, &c, 1) != 1)
                return {};
            s += c;
        }
        s.pop_back();
        return s;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    std::string line_;
};

}  // namespace testsupport
