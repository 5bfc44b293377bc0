#include "tusbdev/socketcan/socketcanmap.h"

#include <linux/can/error.h>
#include <linux/can/netlink.h>
#include <linux/if_link.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <thread>

namespace tarvik::socketcan {

namespace {

// What can_dev reports for a driver that was never given a bit rate (slcan without -s).
constexpr std::uint32_t kUnknownBitRate = 0xFFFFFFFFu;

// A netlink message under construction: header, ifinfomsg, then attributes, each aligned.
class Request {
public:
    Request(std::uint16_t type, std::uint32_t seq, int index)
    {
        bytes_.resize(NLMSG_SPACE(sizeof(ifinfomsg)));
        nlmsghdr h{};
        h.nlmsg_type = type;
        h.nlmsg_flags = NLM_F_REQUEST | NLM_F_ACK;
        h.nlmsg_seq = seq;
        std::memcpy(bytes_.data(), &h, sizeof h);
        ifinfomsg i{};
        i.ifi_family = AF_UNSPEC;
        i.ifi_index = index;
        std::memcpy(bytes_.data() + NLMSG_LENGTH(0), &i, sizeof i);
    }
    ifinfomsg Info() const
    {
        ifinfomsg i;
        std::memcpy(&i, bytes_.data() + NLMSG_LENGTH(0), sizeof i);
        return i;
    }
    void SetInfo(const ifinfomsg& i) { std::memcpy(bytes_.data() + NLMSG_LENGTH(0), &i, sizeof i); }
    void Add(unsigned short type, const void* data, std::size_t len)
    {
        const std::size_t at = bytes_.size();
        bytes_.resize(at + RTA_SPACE(len));
        rtattr a{};
        a.rta_type = type;
        a.rta_len = std::uint16_t(RTA_LENGTH(len));
        std::memcpy(bytes_.data() + at, &a, sizeof a);
        if (len) std::memcpy(bytes_.data() + at + RTA_LENGTH(0), data, len);
    }
    // A nested attribute: its length is known once its members are in.
    std::size_t Open(unsigned short type)
    {
        const std::size_t at = bytes_.size();
        Add(type, nullptr, 0);
        return at;
    }
    void Close(std::size_t at)
    {
        const auto len = std::uint16_t(bytes_.size() - at);
        std::memcpy(bytes_.data() + at + offsetof(rtattr, rta_len), &len, sizeof len);
    }
    std::vector<std::uint8_t> Take()
    {
        const auto len = std::uint32_t(bytes_.size());
        std::memcpy(bytes_.data() + offsetof(nlmsghdr, nlmsg_len), &len, sizeof len);
        return std::move(bytes_);
    }

private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace

std::vector<can_filter> MaskFilters(const OnBusConfig& c)
{
    // CAN_EFF_FLAG in both the mask and the identifier keeps each filter to its own frame
    // format; CAN_RTR_FLAG stays out of the mask so remote requests pass as data frames do.
    const std::uint32_t sm = c.stdMask & CAN_SFF_MASK, em = c.extMask & CAN_EFF_MASK;
    return {
        can_filter{canid_t(c.stdCode & sm), canid_t(sm | CAN_EFF_FLAG)},
        can_filter{canid_t((c.extCode & em) | CAN_EFF_FLAG), canid_t(em | CAN_EFF_FLAG)},
    };
}

AdapterRecord FrameRecord(const can_frame& f, std::uint8_t type)
{
    const bool ext = (f.can_id & CAN_EFF_FLAG) != 0;
    const std::uint32_t id = f.can_id & (ext ? CAN_EFF_MASK : CAN_SFF_MASK);
    const int len = std::min<int>(f.len, 8);
    if (f.can_id & CAN_RTR_FLAG) return AdapterRecord::CanRemote(id, ext, len, type);
    std::uint8_t data[8] = {};
    std::memcpy(data, f.data, std::size_t(len));
    return AdapterRecord::Can(id, ext, len, data, type);
}

std::optional<can_frame> BusFrame(const TBusFrame& f, std::string* why)
{
    auto refuse = [&](const char* text) -> std::optional<can_frame> {
        if (why) *why = text;
        return std::nullopt;
    };
    if (f.fd) return refuse("The adapter sends classic frames only");
    // Cutting a larger identifier would put a different frame on the bus than the one asked for.
    if (f.id > (f.extended ? CAN_EFF_MASK : CAN_SFF_MASK)) return refuse("The identifier does not fit the frame");
    can_frame out{};
    out.can_id = f.id | (f.extended ? CAN_EFF_FLAG : 0u) | (f.remote ? CAN_RTR_FLAG : 0u);
    // 9..15 mean eight bytes on the native adapter; the socket takes 0..8 only.
    out.len = std::uint8_t(std::min<int>(f.length, 8));
    if (!f.remote) std::memcpy(out.data, f.data.data(), out.len);
    return out;
}

std::optional<std::uint8_t> ErrorStatus(const can_frame& f)
{
    if (!(f.can_id & CAN_ERR_FLAG)) return std::nullopt;
    if (f.can_id & CAN_ERR_BUSOFF) return 2;
    if (f.can_id & CAN_ERR_RESTARTED) return 0;
    if ((f.can_id & CAN_ERR_CRTL) && f.len >= 2) {
        const std::uint8_t s = f.data[1];
        if (s & (CAN_ERR_CRTL_RX_PASSIVE | CAN_ERR_CRTL_TX_PASSIVE | CAN_ERR_CRTL_RX_WARNING | CAN_ERR_CRTL_TX_WARNING))
            return 1;
        if (s & CAN_ERR_CRTL_ACTIVE) return 0;
    }
    return std::nullopt;
}

std::uint32_t StampUnits(const timespec& at, const timespec& start)
{
    const std::int64_t ns = (std::int64_t(at.tv_sec) - start.tv_sec) * 1000000000LL + (at.tv_nsec - start.tv_nsec);
    return ns <= 0 ? 0u : std::uint32_t(std::uint64_t(ns) / 100000u);
}

std::uint32_t SpeedBitRate(int speedIndex)
{
    if (speedIndex < 0) return 0;
    const std::uint32_t divisor = speedIndex == 0 ? 1u : std::uint32_t(speedIndex) * 2u;
    return (1000000u + divisor / 2) / divisor;
}

std::string BitRateText(std::uint32_t bitRate)
{
    char buf[32];
    if (bitRate % 1000 == 0)
        std::snprintf(buf, sizeof buf, "%u kbit/s", bitRate / 1000);
    else
        std::snprintf(buf, sizeof buf, "%.1f kbit/s", bitRate / 1000.0);
    return buf;
}

bool SameBitRate(std::uint32_t have, std::uint32_t want)
{
    // Within 0.5 %: 166667 asked may come out as 166666, 83333 as 83334.
    const std::uint64_t diff = have > want ? have - want : want - have;
    return diff * 200 <= want;
}

std::string InterfaceProblem(const std::string& n, const InterfaceInfo& info, std::uint32_t want)
{
    if (!info.exists)
        return "There is no network interface " + n +
               ". Connect the adapter, or make a virtual bus to try: sudo ip link add dev " + n +
               " type vcan && sudo ip link set " + n + " up";
    if (!info.isCan) return n + " is not a CAN interface. The CAN interfaces: ip -details link show type can";
    if (!info.up) {
        const bool real = info.kind.empty() || info.kind == "can";
        return n + " is down. To bring it up: sudo ip link set " + n + " up" +
               (real ? " type can bitrate " + std::to_string(want) : "");
    }
    return {};
}

std::string SettingsProblem(const std::string& n, const InterfaceInfo& info, std::uint32_t want, bool listenOnly)
{
    if (info.bitRate == 0) return {};  // a virtual bus takes any speed
    const std::string mode = listenOnly ? " listen-only on" : info.listenOnly ? " listen-only off" : "";
    const std::string fix = "sudo ip link set " + n + " down && sudo ip link set " + n + " type can bitrate " +
                            std::to_string(want) + mode + " && sudo ip link set " + n + " up";
    if (info.bitRate == kUnknownBitRate)
        return n + " has no bit rate set. To use " + BitRateText(want) + ": " + fix;
    if (!SameBitRate(info.bitRate, want))
        return n + " runs at " + BitRateText(info.bitRate) + ". To use " + BitRateText(want) + ": " + fix;
    if (listenOnly && !info.listenOnly) return n + " is not in listen-only mode. To listen only: " + fix;
    if (!listenOnly && info.listenOnly) return n + " is in listen-only mode. To send as well: " + fix;
    return {};
}

LinkChange WantedChange(const InterfaceInfo& info, std::uint32_t want, bool listenOnly)
{
    LinkChange c;
    if (info.bitRate == 0) return c;  // virtual: nothing to set
    if (!SameBitRate(info.bitRate, want)) c.bitRate = want;
    if (info.listenOnly != listenOnly) c.listenOnly = listenOnly;
    return c;
}

std::string LinkChangeText(const LinkChange& c)
{
    std::string t = c.bitRate ? BitRateText(*c.bitRate) : "";
    if (c.listenOnly) t += std::string(t.empty() ? "" : ", ") + (*c.listenOnly ? "listen-only on" : "listen-only off");
    return t;
}

std::vector<std::uint8_t> LinkUpRequest(int index, std::uint32_t seq, bool up)
{
    Request r(RTM_NEWLINK, seq, index);
    ifinfomsg i = r.Info();
    i.ifi_change = IFF_UP;
    i.ifi_flags = up ? unsigned(IFF_UP) : 0u;
    r.SetInfo(i);
    return r.Take();
}

std::vector<std::uint8_t> CanSettingsRequest(int index, std::uint32_t seq, const LinkChange& c)
{
    Request r(RTM_NEWLINK, seq, index);
    const std::size_t linkInfo = r.Open(IFLA_LINKINFO);
    r.Add(IFLA_INFO_KIND, "can", 4);
    const std::size_t data = r.Open(IFLA_INFO_DATA);
    if (c.bitRate) {
        // The bit rate alone: the kernel computes the timing from its sample-point default.
        can_bittiming bt{};
        bt.bitrate = *c.bitRate;
        r.Add(IFLA_CAN_BITTIMING, &bt, sizeof bt);
    }
    if (c.listenOnly) {
        can_ctrlmode cm{};
        cm.mask = CAN_CTRLMODE_LISTENONLY;
        cm.flags = *c.listenOnly ? CAN_CTRLMODE_LISTENONLY : 0u;
        r.Add(IFLA_CAN_CTRLMODE, &cm, sizeof cm);
    }
    r.Close(data);
    r.Close(linkInfo);
    return r.Take();
}

std::optional<int> AckError(const std::uint8_t* data, std::size_t size, std::uint32_t seq)
{
    int left = int(std::min<std::size_t>(size, 1u << 20));
    for (auto* h = reinterpret_cast<const nlmsghdr*>(data); NLMSG_OK(h, left); h = NLMSG_NEXT(h, left)) {
        if (h->nlmsg_type != NLMSG_ERROR || h->nlmsg_seq != seq) continue;
        if (h->nlmsg_len < NLMSG_LENGTH(sizeof(nlmsgerr))) return EPROTO;
        nlmsgerr e;
        std::memcpy(&e, NLMSG_DATA(h), sizeof e);
        return e.error < 0 ? -e.error : e.error;
    }
    return std::nullopt;
}

int SendRetrying(const std::function<int()>& attempt, std::chrono::milliseconds patience)
{
    const auto until = std::chrono::steady_clock::now() + patience;
    for (;;) {
        const int err = attempt();
        if (err != ENOBUFS && err != EAGAIN && err != EINTR) return err;
        if (std::chrono::steady_clock::now() >= until) return err;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void ParseLinkInfo(const std::uint8_t* data, std::size_t size, InterfaceInfo& info)
{
    // RTA_OK checks every length against what is left, so a short or corrupt reply ends the
    // walk instead of reading past it.
    int left = int(std::min<std::size_t>(size, 1u << 20));
    for (auto* a = reinterpret_cast<const rtattr*>(data); RTA_OK(a, left); a = RTA_NEXT(a, left)) {
        const auto* payload = static_cast<const std::uint8_t*>(RTA_DATA(a));
        const std::size_t len = RTA_PAYLOAD(a);
        if (a->rta_type == IFLA_INFO_KIND) {
            info.kind.assign(reinterpret_cast<const char*>(payload), strnlen(reinterpret_cast<const char*>(payload), len));
        } else if (a->rta_type == IFLA_INFO_DATA) {
            int inner = int(len);
            for (auto* b = reinterpret_cast<const rtattr*>(payload); RTA_OK(b, inner); b = RTA_NEXT(b, inner)) {
                if (b->rta_type == IFLA_CAN_BITTIMING && RTA_PAYLOAD(b) >= sizeof(can_bittiming)) {
                    can_bittiming bt;
                    std::memcpy(&bt, RTA_DATA(b), sizeof bt);
                    info.bitRate = bt.bitrate;
                } else if (b->rta_type == IFLA_CAN_CTRLMODE && RTA_PAYLOAD(b) >= sizeof(can_ctrlmode)) {
                    can_ctrlmode cm;
                    std::memcpy(&cm, RTA_DATA(b), sizeof cm);
                    info.listenOnly = (cm.flags & CAN_CTRLMODE_LISTENONLY) != 0;
                }
            }
        }
    }
}

}  // namespace tarvik::socketcan
