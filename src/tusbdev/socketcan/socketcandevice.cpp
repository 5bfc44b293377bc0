#include "tusbdev/socketcan/socketcandevice.h"

#include <linux/can/bcm.h>
#include <linux/can/error.h>
#include <linux/can/raw.h>
#include <linux/if_link.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "tusbdev/tusbdev.h"

namespace tarvik {

namespace {

constexpr unsigned kBatch = 64;
constexpr std::size_t kControlSize = CMSG_SPACE(sizeof(timespec)) + CMSG_SPACE(sizeof(std::uint32_t));
constexpr std::size_t kSlotSize = sizeof(canfd_frame) + kControlSize;
// A full transmit queue usually drains within a few frame times; past this the bus is
// likely without a partner to acknowledge, and the user should hear of it.
constexpr auto kTransmitRetry = std::chrono::milliseconds(100);
// Bursts at 1 Mbit/s must not overflow the socket while the receive thread is held up.
constexpr int kReceiveBuffer = 4 << 20;
// Only the error frames that tell the controller's state: protocol and bit errors would
// arrive by the thousand on a bad bus and say nothing the lamp shows.
constexpr can_err_mask_t kStatusErrors = CAN_ERR_CRTL | CAN_ERR_BUSOFF | CAN_ERR_RESTARTED;

std::string ReadLine(const std::filesystem::path& p)
{
    std::ifstream in(p);
    std::string s;
    std::getline(in, s);
    return s;
}

bool ValidName(const std::string& n)
{
    return !n.empty() && n.size() < IFNAMSIZ && n != "." && n != ".." && n.find('/') == std::string::npos &&
           n.find('\0') == std::string::npos;
}

// The link kind, bit rate and control mode of interface `index` over rtnetlink.
void QueryLink(unsigned index, socketcan::InterfaceInfo& info)
{
    const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) return;
    struct {
        nlmsghdr h;
        ifinfomsg i;
    } req{};
    req.h.nlmsg_len = sizeof req;
    req.h.nlmsg_type = RTM_GETLINK;
    req.h.nlmsg_flags = NLM_F_REQUEST;
    req.h.nlmsg_seq = 1;
    req.i.ifi_family = AF_UNSPEC;
    req.i.ifi_index = int(index);
    timeval tv{1, 0};  // the kernel answers at once; never hang a window on it
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    std::vector<std::uint8_t> buf(16384);
    if (send(fd, &req, sizeof req, 0) == ssize_t(sizeof req)) {
        const ssize_t n = recv(fd, buf.data(), buf.size(), 0);
        int left = int(n > 0 ? n : 0);
        for (auto* h = reinterpret_cast<nlmsghdr*>(buf.data()); NLMSG_OK(h, left); h = NLMSG_NEXT(h, left)) {
            if (h->nlmsg_type != RTM_NEWLINK || h->nlmsg_len < NLMSG_LENGTH(sizeof(ifinfomsg))) continue;
            int attrLen = int(IFLA_PAYLOAD(h));
            for (auto* a = IFLA_RTA(static_cast<ifinfomsg*>(NLMSG_DATA(h))); RTA_OK(a, attrLen);
                 a = RTA_NEXT(a, attrLen))
                if (a->rta_type == IFLA_LINKINFO)
                    socketcan::ParseLinkInfo(static_cast<const std::uint8_t*>(RTA_DATA(a)), RTA_PAYLOAD(a), info);
        }
    }
    close(fd);
}

// Sends one request on the rtnetlink socket `fd` and waits for its acknowledgement: 0 or the
// kernel's errno (ETIMEDOUT when it does not answer).
int NetlinkCall(int fd, const std::vector<std::uint8_t>& request, std::uint32_t seq)
{
    if (send(fd, request.data(), request.size(), 0) != ssize_t(request.size())) return errno;
    std::vector<std::uint8_t> buf(8192);
    for (;;) {
        const ssize_t n = recv(fd, buf.data(), buf.size(), 0);
        if (n < 0) return errno == EAGAIN ? ETIMEDOUT : errno;
        if (const auto err = socketcan::AckError(buf.data(), std::size_t(n), seq)) return *err;
    }
}

}  // namespace

namespace socketcan {

InterfaceInfo QueryInterface(const std::string& name)
{
    InterfaceInfo info;
    if (!ValidName(name)) return info;
    const std::filesystem::path dir = std::filesystem::path("/sys/class/net") / name;
    const std::string type = ReadLine(dir / "type");
    if (type.empty()) return info;
    info.exists = true;
    info.isCan = type == "280";
    info.up = (std::strtoul(ReadLine(dir / "flags").c_str(), nullptr, 16) & IFF_UP) != 0;
    info.mtu = std::atoi(ReadLine(dir / "mtu").c_str());
    if (const unsigned index = if_nametoindex(name.c_str())) QueryLink(index, info);
    return info;
}

std::vector<std::string> CanInterfaces()
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/sys/class/net", ec))
        if (ReadLine(e.path() / "type") == "280") names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace socketcan

TSocketCanDevice::TSocketCanDevice(std::string interfaceName) : port_(std::move(interfaceName))
{
    buffers_.resize(kBatch * kSlotSize);
    batch_.reserve(kBatch);
}

TSocketCanDevice::~TSocketCanDevice() { CloseSockets(); }

bool TSocketCanDevice::DeviceCount(std::uint32_t* count)
{
    if (count) *count = std::uint32_t(socketcan::CanInterfaces().size());
    return true;
}

// ---------------------------------------------------------------------------------------
// Open and close

bool TSocketCanDevice::OpenFailed(std::string message)
{
    CloseSockets();
    openError_ = std::move(message);
    if (presenter_) presenter_(openError_);
    return false;
}

bool TSocketCanDevice::Open()
{
    if (IsOpen()) return true;
    CloseSockets();  // what a failed link left
    openError_.clear();
    name_ = port_;
    if (name_.empty()) {
        const auto names = socketcan::CanInterfaces();
        if (DeviceNumber() >= names.size())
            return OpenFailed(names.empty() ? "There is no CAN interface. Connect the adapter, or make a virtual bus "
                                              "to try: sudo ip link add dev vcan0 type vcan && sudo ip link set vcan0 up"
                                            : "There is no CAN interface number " + std::to_string(DeviceNumber()));
        name_ = names[DeviceNumber()];
    }
    const socketcan::InterfaceInfo info = socketcan::QueryInterface(name_);
    if (!info.exists || !info.isCan) return OpenFailed(socketcan::InterfaceProblem(name_, info, 0));
    const unsigned index = if_nametoindex(name_.c_str());

    raw_ = socket(PF_CAN, SOCK_RAW | SOCK_CLOEXEC, CAN_RAW);
    if (raw_ < 0)
        return OpenFailed("This system has no CAN sockets (socket(AF_CAN) failed: " + std::string(std::strerror(errno)) +
                          ")");
    const int one = 1;
    setsockopt(raw_, SOL_CAN_RAW, CAN_RAW_FILTER, nullptr, 0);  // nothing until on bus
    setsockopt(raw_, SOL_CAN_RAW, CAN_RAW_RECV_OWN_MSGS, &one, sizeof one);
    // FD frames must reach us to be counted; without this the kernel drops them unseen.
    setsockopt(raw_, SOL_CAN_RAW, CAN_RAW_FD_FRAMES, &one, sizeof one);
    setsockopt(raw_, SOL_SOCKET, SO_TIMESTAMPNS, &one, sizeof one);
    setsockopt(raw_, SOL_SOCKET, SO_RXQ_OVFL, &one, sizeof one);
    if (setsockopt(raw_, SOL_SOCKET, SO_RCVBUFFORCE, &kReceiveBuffer, sizeof kReceiveBuffer) != 0)
        setsockopt(raw_, SOL_SOCKET, SO_RCVBUF, &kReceiveBuffer, sizeof kReceiveBuffer);
    sockaddr_can addr{};
    addr.can_family = AF_CAN;
    addr.can_ifindex = int(index);
    if (::bind(raw_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        return OpenFailed("Cannot use " + name_ + ": " + std::strerror(errno));

    bcm_ = socket(PF_CAN, SOCK_DGRAM | SOCK_CLOEXEC, CAN_BCM);
    if (bcm_ < 0 || ::connect(bcm_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        return OpenFailed("Cannot use " + name_ + " for periodic frames: " + std::strerror(errno));
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_ < 0) return OpenFailed(std::string("eventfd: ") + std::strerror(errno));
    failed_.store(false);
    onBus_.store(false);
    std::lock_guard<std::mutex> g(mu_);
    losses_ = {};
    kernelDrops_ = kernelDropsBase_ = 0;
    periodicKnown_ = periodicActive_ = false;
    return true;
}

void TSocketCanDevice::CloseSockets()
{
    onBus_.store(false);
    for (std::atomic<int>* fd : {&raw_, &bcm_, &wake_}) {
        const int old = fd->exchange(-1);
        if (old >= 0) close(old);
    }
}

bool TSocketCanDevice::Close()
{
    // Closing the broadcast manager's socket ends its periodic jobs with it.
    CloseSockets();
    return true;
}

// ---------------------------------------------------------------------------------------
// On and off bus

bool TSocketCanDevice::Refuse(const char* letter)
{
    // The native adapter's words for a refusal, since the user chose the same settings.
    SetProblem(std::string("The adapter answered ") + letter + " with 0x15 instead of ACK");
    return false;
}

bool TSocketCanDevice::SetReception(bool on, const OnBusConfig& c)
{
    const std::vector<can_filter> filters = socketcan::MaskFilters(c);
    const can_err_mask_t errors = on ? kStatusErrors : 0;
    return setsockopt(raw_, SOL_CAN_RAW, CAN_RAW_FILTER, on ? filters.data() : nullptr,
                      on ? socklen_t(filters.size() * sizeof(can_filter)) : 0) == 0 &&
           setsockopt(raw_, SOL_CAN_RAW, CAN_RAW_ERR_FILTER, &errors, sizeof errors) == 0;
}

void TSocketCanDevice::Drain()
{
    canfd_frame f;
    while (recv(raw_, &f, sizeof f, MSG_DONTWAIT) > 0) {
    }
}

bool TSocketCanDevice::GoOnBus(const OnBusConfig& c)
{
    if (!IsOpen()) return false;
    if (c.monitorFunction != 0) return Refuse("M");  // a CAN interface carries no LIN
    const std::uint32_t want = socketcan::SpeedBitRate(c.canSpeed);
    const socketcan::InterfaceInfo info = socketcan::QueryInterface(name_);
    if (std::string p = socketcan::InterfaceProblem(name_, info, want); !p.empty()) {
        SetProblem(p);
        return false;
    }
    const bool listenOnly = c.driverMode == 1;
    if (const socketcan::LinkChange change = socketcan::WantedChange(info, want, listenOnly); !change.Empty()) {
        const LinkOutcome done = ChangeLink(change);
        if (done.allowed) {
            std::string p = done.problem;
            if (p.empty()) {
                // The kernel may round the rate or drop a mode the driver cannot keep.
                if (std::string left = socketcan::SettingsProblem(name_, socketcan::QueryInterface(name_), want,
                                                                  listenOnly);
                    !left.empty())
                    p = name_ + " did not take " + socketcan::LinkChangeText(change) + ". " + left;
            }
            if (!p.empty()) {
                SetProblem(p);
                return false;
            }
        } else if (std::string p = socketcan::SettingsProblem(name_, info, want, listenOnly);
                   !p.empty() && !(question_ && question_(p))) {
            // The window's caption and tarvik-dump's refusal show the command; the question,
            // when there is one, lets the user go on bus at the interface's own settings.
            SetProblem(p);
            return false;
        }
    }
    if (!SetReception(true, c)) {
        SetProblem("Cannot set the masks on " + name_ + ": " + std::strerror(errno));
        return false;
    }
    // Frames from before this period on bus would carry times before its start.
    Drain();
    clock_gettime(CLOCK_REALTIME, &start_);  // the clock SO_TIMESTAMPNS reads
    onBus_.store(true);
    ClearProblem();
    return true;
}

TSocketCanDevice::LinkOutcome TSocketCanDevice::ChangeLink(const socketcan::LinkChange& change)
{
    const std::string what = name_ + " to " + socketcan::LinkChangeText(change);
    const int index = int(if_nametoindex(name_.c_str()));
    if (index == 0) return {true, "Cannot set " + what + ": " + std::strerror(errno)};
    const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) return {true, "Cannot set " + what + ": " + std::strerror(errno)};
    // Bringing a CAN interface up sends its settings to the controller, which over a serial
    // line takes a second or more.
    timeval tv{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    LinkOutcome out;
    std::uint32_t seq = 1;
    const int down = NetlinkCall(fd, socketcan::LinkUpRequest(index, seq, false), seq);
    if (down == EPERM || down == EACCES) {
        out.allowed = false;
    } else if (down != 0) {
        out.problem = "Cannot take " + name_ + " down to set it to " + socketcan::LinkChangeText(change) + ": " +
                      std::strerror(down);
    } else {
        ++seq;
        const int set = NetlinkCall(fd, socketcan::CanSettingsRequest(index, seq, change), seq);
        // Up again whether or not the settings took: the interface was up when we came.
        ++seq;
        const int up = NetlinkCall(fd, socketcan::LinkUpRequest(index, seq, true), seq);
        if (set != 0) out.problem = "Cannot set " + what + ": " + std::strerror(set);
        if (up != 0)
            out.problem += std::string(out.problem.empty() ? "" : ". ") + "Cannot bring " + name_ +
                           " up again: " + std::strerror(up) + ". To bring it up: sudo ip link set " + name_ + " up";
    }
    close(fd);
    // Going down left "network is down" on the raw socket (the receive thread is parked
    // while off bus); taken here, so nothing later reads it as the link failing.
    int pending = 0;
    socklen_t len = sizeof pending;
    getsockopt(raw_, SOL_SOCKET, SO_ERROR, &pending, &len);
    return out;
}

bool TSocketCanDevice::GoOffBus()
{
    if (!IsOpen()) return false;
    onBus_.store(false);
    DeletePeriodic();
    SetReception(false, {});
    Drain();
    return true;
}

// The kernel's queues hold nothing of ours to clear.
bool TSocketCanDevice::Clear(bool) { return IsOpen(); }

// ---------------------------------------------------------------------------------------
// Sending

bool TSocketCanDevice::Transmit(const TBusFrame& frame)
{
    if (!IsOpen() || !onBus_.load()) return false;  // off the bus nothing can be sent
    std::string why;
    const auto f = socketcan::BusFrame(frame, &why);
    const auto refused = [&](std::string text) {
        std::lock_guard<std::mutex> g(mu_);
        ++losses_.refused;
        SetProblem(std::move(text));
        return false;
    };
    if (!f) return refused(why);
    // A full queue (ENOBUFS) drains as the bus takes frames: retry briefly, never block.
    const int err = socketcan::SendRetrying(
        [&] {
            const ssize_t n = write(raw_, &*f, sizeof *f);
            return n == ssize_t(sizeof *f) ? 0 : n < 0 ? errno : EIO;  // a frame goes whole or not at all
        },
        kTransmitRetry);
    if (err == ENOBUFS || err == EAGAIN || err == EINTR)
        return refused("The transmit queue of " + name_ + " stays full: is anything on the bus acknowledging?");
    if (err != 0) return refused("Sending on " + name_ + " failed: " + std::strerror(err));
    ClearProblem();
    return true;
}

bool TSocketCanDevice::DeletePeriodic()
{
    std::lock_guard<std::mutex> g(mu_);
    if (!periodicActive_) return true;
    periodicActive_ = false;
    clock_gettime(CLOCK_REALTIME, &periodicStopped_);
    bcm_msg_head head{};
    head.opcode = TX_DELETE;
    head.can_id = periodic_.can_id;
    return write(bcm_, &head, sizeof head) == ssize_t(sizeof head);
}

bool TSocketCanDevice::StartPeriodic(const TBusFrame& frame, std::uint32_t intervalMs)
{
    if (!IsOpen() || !onBus_.load() || intervalMs == 0) return false;
    std::string why;
    const auto f = socketcan::BusFrame(frame, &why);
    if (!f) {
        std::lock_guard<std::mutex> g(mu_);
        ++losses_.refused;
        SetProblem(why);
        return false;
    }
    // The manager keys its jobs by identifier: a job for another one would run beside this.
    DeletePeriodic();
    bcm_msg_head head{};
    head.opcode = TX_SETUP;
    head.flags = SETTIMER | STARTTIMER;
    head.count = 0;
    head.ival2.tv_sec = long(intervalMs / 1000);
    head.ival2.tv_usec = long(intervalMs % 1000) * 1000;
    head.can_id = f->can_id;
    head.nframes = 1;
    // The head ends in a flexible array of frames: one frame follows it.
    alignas(bcm_msg_head) std::uint8_t msg[offsetof(bcm_msg_head, frames) + sizeof(can_frame)];
    std::memcpy(msg, &head, offsetof(bcm_msg_head, frames));
    std::memcpy(msg + offsetof(bcm_msg_head, frames), &*f, sizeof(can_frame));
    std::lock_guard<std::mutex> g(mu_);
    if (write(bcm_, msg, sizeof msg) != ssize_t(sizeof msg)) {
        SetProblem("Periodic sending on " + name_ + " failed: " + std::strerror(errno));
        return false;
    }
    periodic_ = *f;
    periodicKnown_ = periodicActive_ = true;
    ClearProblem();
    return true;
}

bool TSocketCanDevice::StopPeriodic() { return IsOpen() && DeletePeriodic(); }

bool TSocketCanDevice::SendLinFrame(const LinFrame&) { return Refuse("M"); }
bool TSocketCanDevice::StopLinSlave() { return Refuse("M"); }

// ---------------------------------------------------------------------------------------
// The receive thread's side

bool TSocketCanDevice::Receive(TReceiveSink& sink, std::uint32_t timeoutMs)
{
    if (!IsOpen()) return false;
    pollfd fds[2] = {{raw_, POLLIN, 0}, {wake_, POLLIN, 0}};
    const int ready = poll(fds, 2, int(std::min<std::uint32_t>(timeoutMs, 60000)));
    if (ready < 0) return true;  // EINTR: the caller comes back
    if (fds[1].revents & POLLIN) {
        std::uint64_t v;
        [[maybe_unused]] const ssize_t n = read(wake_, &v, sizeof v);
        return true;
    }
    if (!(fds[0].revents & (POLLIN | POLLERR))) return true;

    mmsghdr msgs[kBatch];
    iovec iov[kBatch];
    std::memset(msgs, 0, sizeof msgs);
    for (unsigned i = 0; i < kBatch; ++i) {
        std::uint8_t* slot = buffers_.data() + i * kSlotSize;
        iov[i] = {slot, sizeof(canfd_frame)};
        msgs[i].msg_hdr.msg_iov = &iov[i];
        msgs[i].msg_hdr.msg_iovlen = 1;
        msgs[i].msg_hdr.msg_control = slot + sizeof(canfd_frame);
        msgs[i].msg_hdr.msg_controllen = kControlSize;
    }
    const int got = recvmmsg(raw_, msgs, kBatch, MSG_DONTWAIT, nullptr);
    if (got < 0) {
        if (errno == EAGAIN || errno == EINTR) return true;
        // The interface went away (unplugged) or down: the link failed.
        failed_.store(true);
        onBus_.store(false);
        throw TUsbError(std::string(kUsbErrorPrefix) + name_ + ": " + std::strerror(errno));
    }
    const bool on = onBus_.load();
    batch_.clear();
    std::uint64_t fd = 0;
    std::uint32_t drops = 0;
    bool haveDrops = false;
    for (int i = 0; i < got; ++i) {
        const msghdr& h = msgs[i].msg_hdr;
        const auto* slot = static_cast<const std::uint8_t*>(iov[i].iov_base);
        timespec at{};
        bool stamped = false;
        for (cmsghdr* c = CMSG_FIRSTHDR(&h); c; c = CMSG_NXTHDR(const_cast<msghdr*>(&h), c)) {
            if (c->cmsg_level != SOL_SOCKET) continue;
            if (c->cmsg_type == SCM_TIMESTAMPNS) {
                std::memcpy(&at, CMSG_DATA(c), sizeof at);
                stamped = true;
            } else if (c->cmsg_type == SO_RXQ_OVFL) {
                std::memcpy(&drops, CMSG_DATA(c), sizeof drops);
                haveDrops = true;
            }
        }
        if (!on) continue;  // a frame that slipped in while going off bus
        if (msgs[i].msg_len == CANFD_MTU) {
            ++fd;  // not carried yet: counted, not shown
            continue;
        }
        if (msgs[i].msg_len != CAN_MTU) continue;
        can_frame f;
        std::memcpy(&f, slot, sizeof f);
        if (!stamped) clock_gettime(CLOCK_REALTIME, &at);
        AdapterRecord rec;
        if (f.can_id & CAN_ERR_FLAG) {
            const auto code = socketcan::ErrorStatus(f);
            if (!code) continue;
            rec = AdapterRecord::Status(kCanStatus, *code);
        } else {
            bool own = (h.msg_flags & MSG_CONFIRM) != 0;
            if (!own && (h.msg_flags & MSG_DONTROUTE)) {
                // The broadcast manager's frames come from its socket, not this one.
                std::lock_guard<std::mutex> g(mu_);
                const bool inTime = periodicActive_ || at.tv_sec < periodicStopped_.tv_sec ||
                                    (at.tv_sec == periodicStopped_.tv_sec && at.tv_nsec <= periodicStopped_.tv_nsec);
                own = periodicKnown_ && inTime && f.can_id == periodic_.can_id && f.len == periodic_.len &&
                      std::memcmp(f.data, periodic_.data, f.len) == 0;
            }
            rec = socketcan::FrameRecord(f, own ? kCanTransmitted : kCanReceived);
        }
        rec.SetTimeStamp(socketcan::StampUnits(at, start_));
        rec.SetCheck(check_++);
        batch_.push_back(rec);
    }
    {
        std::lock_guard<std::mutex> g(mu_);
        losses_.leftOut += fd;
        if (haveDrops) kernelDrops_ = drops;
    }
    if (batch_.empty()) return true;
    sink.Begin();
    for (const AdapterRecord& r : batch_) sink.Record(r.bytes.data());
    sink.End();
    return true;
}

void TSocketCanDevice::CancelWait()
{
    const int fd = wake_.load();
    if (fd < 0) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(fd, &one, sizeof one);
}

TDeviceLosses TSocketCanDevice::Losses() const
{
    std::lock_guard<std::mutex> g(mu_);
    TDeviceLosses l = losses_;
    l.overflowed = kernelDrops_ - kernelDropsBase_;  // the counter wraps; so does the difference
    return l;
}

void TSocketCanDevice::ResetLosses()
{
    std::lock_guard<std::mutex> g(mu_);
    losses_ = {};
    kernelDropsBase_ = kernelDrops_;
}

}  // namespace tarvik
