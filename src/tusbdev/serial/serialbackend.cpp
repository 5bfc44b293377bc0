#include "tusbdev/serial/serialbackend.h"

// termios2 (any baud rate through BOTHER) lives in the kernel header, which cannot be
// mixed with <termios.h>; everything here goes through ioctl instead.
#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace tarvik {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kDialoutHint =
    "Add your user to the 'dialout' group (sudo usermod -aG dialout $USER), then log out and in again.";

int RemainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : int(std::min<long long>(left, 1 << 30));
}

// Who holds the advisory lock on the open file: "PID N" from the kernel's lock table, or
// "another program" when it cannot be told.
std::string LockHolder(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0) return "another program";
    char want[64];
    std::snprintf(want, sizeof want, "%02x:%02x:%llu", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    std::FILE* f = std::fopen("/proc/locks", "re");
    if (!f) return "another program";
    std::string holder = "another program";
    char line[256];
    // "1: FLOCK  ADVISORY  WRITE 1234 00:19:5 0 EOF"; waiters are marked "->" and skipped.
    while (std::fgets(line, sizeof line, f)) {
        char kind[16], mode[16], access[16], id[64];
        long pid = 0;
        if (std::strstr(line, "->") == nullptr &&
            std::sscanf(line, "%*[^:]: %15s %15s %15s %ld %63s", kind, mode, access, &pid, id) == 5 &&
            std::strcmp(kind, "FLOCK") == 0 && std::strcmp(id, want) == 0) {
            holder = "PID " + std::to_string(pid);
            break;
        }
    }
    std::fclose(f);
    return holder;
}

}  // namespace

// One open port. Calls in flight hold a reference, so the descriptor is closed only after
// the last of them has returned: a descriptor number closed under a reading thread could
// otherwise be reused by an unrelated file and read from.
struct TSerialBackend::Port {
    std::string path;
    int fd = -1;
    int wakeFd = -1;    // signalled by Close to end waits at once; never drained
    int cancelFd = -1;  // signalled by CancelWait; drained by the wait it ends
    std::atomic<bool> closed{false};
    std::atomic<std::uint32_t> readTimeoutMs{5000};
    std::atomic<std::uint32_t> writeTimeoutMs{1000};
    std::atomic<std::uint32_t> option{0};
    std::mutex config;  // one termios read-modify-write at a time

    ~Port()
    {
        if (fd >= 0) ::close(fd);
        if (wakeFd >= 0) ::close(wakeFd);
        if (cancelFd >= 0) ::close(cancelFd);
    }

    // Poll the port together with the wake-up; returns the port's events, or -1 when
    // the port was closed meanwhile.
    int Wait(short events, int timeoutMs) const
    {
        pollfd fds[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
        int r;
        do {
            r = ::poll(fds, 2, timeoutMs);
        } while (r < 0 && errno == EINTR);
        if (closed.load() || (fds[1].revents & POLLIN)) return -1;
        return r <= 0 ? 0 : fds[0].revents;
    }

    // A hung-up port (unplugged adapter, peer of a pseudo-terminal gone) still answers
    // the queue ioctls with 0 bytes; only poll tells.
    bool HungUp() const
    {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 0) < 0) return false;
        return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    }
};

TSerialBackend::TSerialBackend(std::string portPath, bool anyUsbVendor)
    : path_(std::move(portPath)), anyUsbVendor_(anyUsbVendor)
{
}

TSerialBackend::~TSerialBackend()
{
    std::lock_guard<std::mutex> g(mutex_);
    for (auto& [id, port] : ports_) {
        port->closed = true;
        const std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(port->wakeFd, &one, sizeof one);
    }
    ports_.clear();
}

void TSerialBackend::SetPortPath(std::string path)
{
    std::lock_guard<std::mutex> g(mutex_);
    path_ = std::move(path);
}

std::string TSerialBackend::PortPath() const
{
    std::lock_guard<std::mutex> g(mutex_);
    return path_;
}

std::string TSerialBackend::LastErrorDetail() const
{
    std::lock_guard<std::mutex> g(mutex_);
    return detail_;
}

FT_STATUS TSerialBackend::Failed(FT_STATUS status, std::string detail)
{
    std::lock_guard<std::mutex> g(mutex_);
    detail_ = std::move(detail);
    return status;
}

FT_STATUS TSerialBackend::IoFailed(const Port& port, const char* what, int err)
{
    return Failed(FT_IO_ERROR, port.path + ": " + what + " failed: " + std::strerror(err));
}

std::shared_ptr<TSerialBackend::Port> TSerialBackend::Find(FT_HANDLE h) const
{
    std::lock_guard<std::mutex> g(mutex_);
    auto it = ports_.find(reinterpret_cast<std::uintptr_t>(h));
    return it == ports_.end() ? nullptr : it->second;
}

FT_STATUS TSerialBackend::DeviceCount(std::uint32_t* count)
{
    *count = std::uint32_t(UsbSerialPortPaths(anyUsbVendor_).size());
    return FT_OK;
}

FT_STATUS TSerialBackend::Open(std::uint32_t deviceNumber, FT_HANDLE* handle)
{
    *handle = nullptr;
    {
        std::lock_guard<std::mutex> g(mutex_);
        detail_.clear();
    }
    std::string path = PortPath();
    if (path.empty()) {
        const auto ports = UsbSerialPortPaths(anyUsbVendor_);
        if (deviceNumber >= ports.size())
            return Failed(FT_DEVICE_NOT_FOUND, std::string(anyUsbVendor_ ? "No USB serial port"
                                                                         : "No USB serial adapter (vendor id 0403)") +
                                                   " as device number " + std::to_string(deviceNumber) + "; " +
                                                   std::to_string(ports.size()) + " attached.");
        path = ports[deviceNumber];
    }

    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        switch (err) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case ENOTDIR:
            return Failed(FT_DEVICE_NOT_FOUND, path + ": no such port.");
        case EACCES:
        case EPERM:
            return Failed(FT_DEVICE_NOT_OPENED, path + ": permission denied. " + kDialoutHint);
        case EBUSY:
            return Failed(FT_DEVICE_NOT_OPENED, path + ": the port is in use by another program.");
        case EIO:
            return Failed(FT_IO_ERROR, path + ": " + std::strerror(err));
        default:
            return Failed(FT_DEVICE_NOT_OPENED, path + ": " + std::strerror(err));
        }
    }

    auto port = std::make_shared<Port>();
    port->path = path;
    port->fd = fd;
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return Failed(FT_DEVICE_NOT_OPENED, path + ": not a serial port (" + std::strerror(errno) + ").");
    // Raw bytes both ways: no line editing, echo, signals or CR/LF translation.
    t.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    t.c_oflag &= ~tcflag_t(OPOST);
    t.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CREAD | CLOCAL;
    // VMIN 1 makes an empty non-blocking read fail with EAGAIN; with 0 it would return 0,
    // which is indistinguishable from a hang-up.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (::ioctl(fd, TCSETS2, &t) != 0)
        return Failed(FT_DEVICE_NOT_OPENED, path + ": cannot configure the port (" + std::strerror(errno) + ").");
    // Like the chip's own driver, one program at a time. Root is exempt from the exclusive
    // flag, so an advisory lock as well: a second program would take the adapter off bus
    // under the first.
    ::ioctl(fd, TIOCEXCL);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        return Failed(FT_DEVICE_NOT_OPENED, path + " is in use by " + LockHolder(fd) + ".");

    port->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (port->wakeFd < 0) return Failed(FT_INSUFFICIENT_RESOURCES, path + ": " + std::strerror(errno));
    port->cancelFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (port->cancelFd < 0) return Failed(FT_INSUFFICIENT_RESOURCES, path + ": " + std::strerror(errno));

    std::lock_guard<std::mutex> g(mutex_);
    const std::uintptr_t id = nextId_++;
    ports_.emplace(id, std::move(port));
    *handle = reinterpret_cast<FT_HANDLE>(id);
    return FT_OK;
}

FT_STATUS TSerialBackend::Close(FT_HANDLE h)
{
    std::shared_ptr<Port> port;
    {
        std::lock_guard<std::mutex> g(mutex_);
        auto it = ports_.find(reinterpret_cast<std::uintptr_t>(h));
        if (it == ports_.end()) return FT_INVALID_HANDLE;
        port = std::move(it->second);
        ports_.erase(it);
    }
    port->closed = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(port->wakeFd, &one, sizeof one);
    return FT_OK;  // the descriptor goes with the last call still using it
}

FT_STATUS TSerialBackend::SetBaudRate(FT_HANDLE h, std::uint32_t baud)
{
    auto port = Find(h);
    if (!port) return FT_INVALID_HANDLE;
    if (baud == 0 || baud > kMaxBaudRate)
        return Failed(FT_INVALID_BAUD_RATE, port->path + ": " + std::to_string(baud) + " baud is out of range.");
    std::lock_guard<std::mutex> g(port->config);
    termios2 t{};
    if (::ioctl(port->fd, TCGETS2, &t) != 0) return IoFailed(*port, "reading the settings", errno);
    t.c_cflag &= ~tcflag_t(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = baud;
    t.c_ospeed = baud;
    if (::ioctl(port->fd, TCSETS2, &t) != 0) {
        const int err = errno;
        if (err == EINVAL)
            return Failed(FT_INVALID_BAUD_RATE, port->path + ": the port refuses " + std::to_string(baud) + " baud.");
        return IoFailed(*port, "setting the baud rate", err);
    }
    return FT_OK;
}

FT_STATUS TSerialBackend::SetDataCharacteristics(FT_HANDLE h, std::uint8_t wordLength, std::uint8_t stopBits,
                                                 std::uint8_t parity)
{
    auto port = Find(h);
    if (!port) return FT_INVALID_HANDLE;
    // The library's codes: stop bits 0 = one, 2 = two; parity 0 none, 1 odd, 2 even, 3 mark, 4 space.
    if ((wordLength != 7 && wordLength != 8) || (stopBits != 0 && stopBits != 2) || parity > 4)
        return Failed(FT_INVALID_PARAMETER, port->path + ": unsupported data characteristics.");
    std::lock_guard<std::mutex> g(port->config);
    termios2 t{};
    if (::ioctl(port->fd, TCGETS2, &t) != 0) return IoFailed(*port, "reading the settings", errno);
    t.c_cflag &= ~tcflag_t(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR);
    t.c_cflag |= wordLength == 7 ? CS7 : CS8;
    if (stopBits == 2) t.c_cflag |= CSTOPB;
    switch (parity) {
    case 1: t.c_cflag |= PARENB | PARODD; break;
    case 2: t.c_cflag |= PARENB; break;
    case 3: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case 4: t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
    }
    if (::ioctl(port->fd, TCSETS2, &t) != 0) return IoFailed(*port, "setting the data characteristics", errno);
    return FT_OK;
}

FT_STATUS TSerialBackend::SetFlowControl(FT_HANDLE h, std::uint16_t flow, std::uint8_t xon, std::uint8_t xoff)
{
    auto port = Find(h);
    if (!port) return FT_INVALID_HANDLE;
    // The library's codes: 0 none, 0x100 RTS/CTS, 0x400 XON/XOFF (DTR/DSR has no termios form).
    if (flow != 0 && flow != 0x100 && flow != 0x400)
        return Failed(FT_INVALID_PARAMETER, port->path + ": unsupported flow control.");
    std::lock_guard<std::mutex> g(port->config);
    termios2 t{};
    if (::ioctl(port->fd, TCGETS2, &t) != 0) return IoFailed(*port, "reading the settings", errno);
    t.c_cflag &= ~tcflag_t(CRTSCTS);
    t.c_iflag &= ~tcflag_t(IXON | IXOFF);
    if (flow == 0x100) t.c_cflag |= CRTSCTS;
    if (flow == 0x400) {
        t.c_iflag |= IXON | IXOFF;
        t.c_cc[VSTART] = xon;
        t.c_cc[VSTOP] = xoff;
    }
    if (::ioctl(port->fd, TCSETS2, &t) != 0) return IoFailed(*port, "setting the flow control", errno);
    return FT_OK;
}

FT_STATUS TSerialBackend::SetTimeouts(FT_HANDLE h, std::uint32_t readMs, std::uint32_t writeMs)
{
    auto port = Find(h);
    if (!port) return FT_INVALID_HANDLE;
    port->readTimeoutMs = readMs;
    port->writeTimeoutMs = writeMs;
    return FT_OK;
}

// The once-per-open setting is the chip's receive latency. A tty hands bytes to poll as
// soon as the kernel driver has them, and that driver's own latency is a sysfs value only
// root may change, so the value is kept for inspection and nothing is applied.
FT_STATUS TSerialBackend::SetDeviceOption(FT_HANDLE h, std::uint32_t value)
{
    auto port = Find(h);
    if (!port) return FT_INVALID_HANDLE;
    port->option = value;
    return FT_OK;
}

std::uint32_t TSerialBackend::DeviceOption(FT_HANDLE h) const
{
    auto port = Find(h);
    return port ? port->option.load() : 0;
}

FT_STATUS TSerialBackend::Purge(FT_HANDLE h, std::uint32_t mask)
{
    auto port = Find(h);
    if (!port) return FT_INVALID_HANDLE;
    const bool rx = (mask & FT_PURGE_RX) != 0;
    bool tx = (mask & FT_PURGE_TX) != 0;
    // An empty transmit queue has nothing to purge; flushing it anyway would, on a pseudo-
    // terminal, discard bytes already handed to the other side (the off-bus F before a close).
    int queued = 0;
    if (tx && ::ioctl(port->fd, TIOCOUTQ, &queued) == 0 && queued == 0) tx = false;
    if (!rx && !tx) return FT_OK;
    const int which = rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH;
    if (::ioctl(port->fd, TCFLSH, which) != 0) return IoFailed(*port, "purging", errno);
    return FT_OK;
}

// A tty has no device reset; the adapter itself is set up afresh by every go-on-bus, and
// Purge already empties the buffers. What a reset can still tell is whether the port is
// there at all, so a vanished port fails here as it would on the chip.
FT_STATUS TSerialBackend::ResetDevice(FT_HANDLE h)
{
    auto port = Find(h);
    if (!port) return FT_INVALID_HANDLE;
    if (port->HungUp()) return Failed(FT_IO_ERROR, port->path + ": the port has gone away.");
    return FT_OK;
}

FT_STATUS TSerialBackend::Read(FT_HANDLE h, void* buffer, std::uint32_t count, std::uint32_t* bytesRead)
{
    *bytesRead = 0;
    auto port = Find(h);
    if (!port) return FT_INVALID_HANDLE;
    auto* out = static_cast<std::uint8_t*>(buffer);
    const auto deadline = Clock::now() + std::chrono::milliseconds(port->readTimeoutMs.load());
    std::uint32_t got = 0;
    while (got < count) {
        const ssize_t n = ::read(port->fd, out + got, count - got);
        if (n > 0) {
            got += std::uint32_t(n);
            continue;
        }
        if (n == 0) {  // end of file on a tty: the other side hung up
            *bytesRead = got;
            return Failed(FT_IO_ERROR, port->path + ": the port has gone away.");
        }
        const int err = errno;
        if (err == EINTR) continue;
        if (err != EAGAIN) {
            *bytesRead = got;
            return IoFailed(*port, "reading", err);
        }
        const int left = RemainingMs(deadline);
        if (left == 0) break;
        const int ev = port->Wait(POLLIN, left);
        if (ev < 0) {
            *bytesRead = got;
            return FT_INVALID_HANDLE;
        }
        if (ev & POLLNVAL) {
            *bytesRead = got;
            return Failed(FT_IO_ERROR, port->path + ": the port has gone away.");
        }
        // POLLIN or POLLHUP: the next read either takes the bytes or reports the failure.
    }
    *bytesRead = got;
    return FT_OK;
}

FT_STATUS TSerialBackend::Write(FT_HANDLE h, const void* buffer, std::uint32_t count, std::uint32_t* bytesWritten)
{
    *bytesWritten = 0;
    auto port = Find(h);
    if (!port) return FT_INVALID_HANDLE;
    const auto* in = static_cast<const std::uint8_t*>(buffer);
    const auto deadline = Clock::now() + std::chrono::milliseconds(port->writeTimeoutMs.load());
    std::uint32_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(port->fd, in + done, count - done);
        if (n > 0) {
            done += std::uint32_t(n);
            continue;
        }
        const int err = n == 0 ? EAGAIN : errno;
        if (err == EINTR) continue;
        if (err != EAGAIN) {
            *bytesWritten = done;
            return IoFailed(*port, "writing", err);
        }
        const int left = RemainingMs(deadline);
        if (left == 0) break;  // the write time-out: fewer bytes written, as the chip reports it
        const int ev = port->Wait(POLLOUT, left);
        if (ev < 0) {
            *bytesWritten = done;
            return FT_INVALID_HANDLE;
        }
        if (ev & (POLLHUP | POLLERR | POLLNVAL)) {
            *bytesWritten = done;
            return Failed(FT_IO_ERROR, port->path + ": the port has gone away.");
        }
    }
    *bytesWritten = done;
    return FT_OK;
}

FT_STATUS TSerialBackend::GetQueueStatus(FT_HANDLE h, std::uint32_t* rxBytes)
{
    *rxBytes = 0;
    auto port = Find(h);
    if (!port) return FT_INVALID_HANDLE;
    if (port->HungUp()) return Failed(FT_IO_ERROR, port->path + ": the port has gone away.");
    int n = 0;
    if (::ioctl(port->fd, FIONREAD, &n) != 0) return IoFailed(*port, "querying the receive queue", errno);
    *rxBytes = std::uint32_t(std::max(n, 0));
    return FT_OK;
}

FT_STATUS TSerialBackend::WaitForData(FT_HANDLE h, std::uint32_t timeoutMs, std::uint32_t* rxBytes)
{
    *rxBytes = 0;
    auto port = Find(h);
    if (!port) return FT_INVALID_HANDLE;
    pollfd fds[3] = {{port->fd, POLLIN, 0}, {port->wakeFd, POLLIN, 0}, {port->cancelFd, POLLIN, 0}};
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int r;
    do {
        r = ::poll(fds, 3, RemainingMs(deadline));
    } while (r < 0 && errno == EINTR);
    if (r < 0) return IoFailed(*port, "waiting for input", errno);
    if (port->closed.load() || (fds[1].revents & POLLIN)) return FT_INVALID_HANDLE;
    if (fds[2].revents & POLLIN) {
        std::uint64_t count;
        [[maybe_unused]] auto got = ::read(port->cancelFd, &count, sizeof count);
    }
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))
        return Failed(FT_IO_ERROR, port->path + ": the port has gone away.");
    if ((fds[0].revents & POLLIN) == 0) return FT_OK;
    int n = 0;
    if (::ioctl(port->fd, FIONREAD, &n) != 0) return IoFailed(*port, "querying the receive queue", errno);
    *rxBytes = std::uint32_t(std::max(n, 0));
    return FT_OK;
}

void TSerialBackend::CancelWait(FT_HANDLE h)
{
    if (auto port = Find(h)) {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(port->cancelFd, &one, sizeof one);
    }
}

FT_STATUS TSerialBackend::GetStatus(FT_HANDLE h, std::uint32_t* rxBytes, std::uint32_t* txBytes,
                                    std::uint32_t* eventStatus)
{
    *rxBytes = *txBytes = *eventStatus = 0;
    auto port = Find(h);
    if (!port) return FT_INVALID_HANDLE;
    if (port->HungUp()) return Failed(FT_IO_ERROR, port->path + ": the port has gone away.");
    int rx = 0, tx = 0;
    if (::ioctl(port->fd, FIONREAD, &rx) != 0) return IoFailed(*port, "querying the receive queue", errno);
    if (::ioctl(port->fd, TIOCOUTQ, &tx) != 0) return IoFailed(*port, "querying the transmit queue", errno);
    *rxBytes = std::uint32_t(std::max(rx, 0));
    *txBytes = std::uint32_t(std::max(tx, 0));
    return FT_OK;
}

}  // namespace tarvik
