#include <atomic>
#include <csignal>
#include <cstdio>
#include <exception>
#include <string>

#include "dumptool.h"

namespace {

std::atomic<bool> g_stop{false};

void OnStop(int) { g_stop.store(true); }

}  // namespace

int main(int argc, char** argv)
{
    tarvik::TDumpOptions options;
    std::string error;
    if (argc > 1 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::fputs(tarvik::kDumpUsage, stdout);
        return 0;
    }
    if (!tarvik::ParseDumpArgs(argc - 1, argv + 1, options, error)) {
        std::fprintf(stderr, "tarvik-dump: %s\n%s", error.c_str(), tarvik::kDumpUsage);
        return 2;
    }
    struct sigaction sa {};
    sa.sa_handler = OnStop;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    // A closed pipe ends the dump through the failed write, off bus as usual.
    std::signal(SIGPIPE, SIG_IGN);
    try {
        return tarvik::RunDump(options, tarvik::DumpDevice(options), stdout, stderr, g_stop);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tarvik-dump: %s\n", e.what());
        return 1;
    }
}
