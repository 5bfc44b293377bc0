// Serves the adapter protocol on a pseudo-terminal so that the program, or any test, can
// open the printed path as if it were the adapter's serial port.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <vector>

#include "emulator/adapteremulator.h"
#include "emulator/modelfactory.h"
#include "emulator/slcanemulator.h"

namespace {

constexpr const char* kHelp =
    "Usage: tarvik-adapter-emu [--protocol native|slcan] [--model MODEL]\n"
    "Emulates the CAN/LIN bus adapter on a pseudo-terminal. The first line of output is\n"
    "the terminal's path; open it in Tarvik (or any test) as the adapter's serial port.\n"
    "\n"
    "  --protocol native             the native adapter (default)\n"
    "  --protocol slcan              a serial-line CAN adapter (ASCII lines, CAN only)\n"
    "\n"
    "Models:\n"
    "  --model vehicle               a small car's CAN traffic (default); in LIN mode a few\n"
    "                                LIN frames, now and then with an error code\n"
    "  --model replay FILE [--fast]  plays a candump, ASC, TRC or BLF log with its timing, or\n"
    "                                as fast as read\n"
    "  --model load RATE|max         RATE frames per second of one shape, or as fast as read\n"
    "\n"
    "Stops on SIGINT or SIGTERM and reports the records it produced and dropped on stderr.\n";

tarvik::EmuMicros Now()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return tarvik::EmuMicros(ts.tv_sec) * 1'000'000 + ts.tv_nsec / 1000;
}

int UsageError(const std::string& what)
{
    std::fprintf(stderr, "tarvik-adapter-emu: %s (--help shows the usage)\n", what.c_str());
    return 2;
}

int Fail(const std::string& what)
{
    std::fprintf(stderr, "tarvik-adapter-emu: %s\n", what.c_str());
    return 1;
}

// The pty loop for either language; both emulators share the engine's interface.
template <class Emulator>
int Serve(Emulator& emu, int master, int sigFd)
{
    std::vector<std::uint8_t> in(4096);
    bool running = true;
    int status = 0;
    while (running) {
        tarvik::EmuMicros now = Now();
        emu.Advance(now);
        const tarvik::EmuMicros due = emu.NextDue(now);
        // Millisecond granularity batches a busy stream into few wake-ups; records carry
        // their own time stamps, so a batch released late still shows the bus timing.
        int timeoutMs = -1;
        if (due != tarvik::kEmuNever)
            timeoutMs = int(std::clamp<tarvik::EmuMicros>((due - now + 999) / 1000, 1, 1000));
        pollfd fds[2] = {{master, short(POLLIN | POLLPRI | (emu.OutputSize() ? POLLOUT : 0)), 0}, {sigFd, POLLIN, 0}};
        const int n = poll(fds, 2, timeoutMs);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            status = Fail(std::string("poll: ") + std::strerror(errno));
            break;
        }
        if (fds[1].revents & POLLIN) {
            // What the host wrote before the signal still counts (an off-bus command just
            // before it closed).
            for (int guard = 0; guard < 64; ++guard) {
                const ssize_t r = read(master, in.data(), in.size());
                if (r <= 0)
                    break;
                if (in[0] == TIOCPKT_DATA)
                    emu.Feed(in.data() + 1, std::size_t(r - 1), Now());
            }
            break;
        }
        now = Now();
        if (fds[0].revents & (POLLIN | POLLPRI)) {
            const ssize_t r = read(master, in.data(), in.size());
            if (r > 0 && in[0] == TIOCPKT_DATA)
                emu.Feed(in.data() + 1, std::size_t(r - 1), now);
            else if (r > 0 && (in[0] & TIOCPKT_FLUSHREAD))
                emu.ClearOutput();
            else if (r < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) {
                status = Fail(std::string("read: ") + std::strerror(errno));
                break;
            }
        }
        emu.Advance(now);
        while (emu.OutputSize() > 0) {
            const ssize_t w = write(master, emu.OutputData(), emu.OutputSize());
            if (w > 0) {
                emu.ConsumeOutput(std::size_t(w));
                continue;
            }
            if (w < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) {
                status = Fail(std::string("write: ") + std::strerror(errno));
                running = false;
            }
            break;
        }
    }
    return status;
}

// Whether the host took the adapter off bus before leaving: a clean host always does.
const char* BusAtExit(const tarvik::AdapterEmulator& emu) { return emu.OnBus() ? "on bus" : "off bus"; }
const char* BusAtExit(const tarvik::TSlcanEmulator& emu) { return emu.IsOpen() ? "on bus" : "off bus"; }

}  // namespace

int Run(int argc, char** argv)
{
    std::vector<std::string> modelWords{"vehicle"};
    bool slcan = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (a == "--protocol" && i + 1 < argc && (std::string(argv[i + 1]) == "native" || std::string(argv[i + 1]) == "slcan")) {
            slcan = std::string(argv[++i]) == "slcan";
            continue;
        }
        if (a == "--model") {
            modelWords.assign(argv + i + 1, argv + argc);
            break;
        }
        // Say what was wrong, not the whole usage again.
        if (a == "--protocol")
            return UsageError(i + 1 < argc ? "--protocol takes native or slcan, not " + std::string(argv[i + 1])
                                           : "--protocol needs native or slcan");
        return UsageError("unknown argument: " + a);
    }
    std::string error;
    auto model = tarvik::MakeBusModel(modelWords, &error);
    if (!model)
        return UsageError(error);

    // Signals arrive through a descriptor so that the poll loop sees them between steps.
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGINT);
    sigaddset(&mask, SIGTERM);
    if (sigprocmask(SIG_BLOCK, &mask, nullptr) != 0)
        return Fail(std::string("sigprocmask: ") + std::strerror(errno));
    const int sigFd = signalfd(-1, &mask, SFD_CLOEXEC);
    if (sigFd < 0)
        return Fail(std::string("signalfd: ") + std::strerror(errno));

    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        return Fail(std::string("cannot create a pseudo-terminal: ") + std::strerror(errno));
    const char* slavePath = ptsname(master);
    if (!slavePath)
        return Fail(std::string("ptsname: ") + std::strerror(errno));
    const std::string path = slavePath;
    // Raw at once: an echoing line discipline would hand our own records back to us as commands.
    termios tio{};
    if (tcgetattr(master, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(master, TCSANOW, &tio);
    }
    // Holding the slave open keeps the master readable and free of hang-ups while the host
    // closes and reopens the port.
    const int keeper = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (keeper < 0)
        return Fail("cannot open " + path + ": " + std::strerror(errno));
    if (tcgetattr(keeper, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(keeper, TCSANOW, &tio);
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    // Packet mode tells us when the host purges its receive buffer. Our own backlog is part
    // of that buffer as the host sees it (the chip's buffer on real hardware), so it goes too;
    // otherwise stale records would arrive after the purge, ahead of the next ACK.
    int packet = 1;
    if (ioctl(master, TIOCPKT, &packet) != 0)
        return Fail(std::string("TIOCPKT: ") + std::strerror(errno));

    std::printf("%s\n", path.c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "tarvik-adapter-emu: serving the %s model on %s\n", model->Name().c_str(), path.c_str());

    tarvik::AdapterEmulator::Options options;
    options.keepLog = false;
    int status;
    if (slcan) {
        tarvik::TSlcanEmulator emu(std::move(model), Now(), options);
        status = Serve(emu, master, sigFd);
        std::fprintf(stderr,
                     "tarvik-adapter-emu: %llu lines produced, %llu records dropped, %llu frames sent by the host, %s at exit\n",
                     static_cast<unsigned long long>(emu.LinesProduced()),
                     static_cast<unsigned long long>(emu.DroppedRecords()),
                     static_cast<unsigned long long>(emu.SentCount()), BusAtExit(emu));
    } else {
        tarvik::AdapterEmulator emu(std::move(model), Now(), options);
        status = Serve(emu, master, sigFd);
        std::fprintf(stderr, "tarvik-adapter-emu: %llu records produced, %llu dropped, %s at exit\n",
                     static_cast<unsigned long long>(emu.RecordsQueued()),
                     static_cast<unsigned long long>(emu.DroppedRecords()), BusAtExit(emu));
    }
    close(keeper);
    close(master);
    close(sigFd);
    return status;
}

int main(int argc, char** argv)
{
    // Out of memory (a limit set with ulimit, a huge replay) ends with a message, not an abort.
    try {
        return Run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fputs("tarvik-adapter-emu: out of memory\n", stderr);
        return 1;
    }
}
