// The CAN socket mappings and the refusals of the socketcan device, without a CAN kernel.
#include <gtest/gtest.h>

#include <linux/can/error.h>
#include <linux/can/netlink.h>
#include <linux/if_link.h>
#include <linux/rtnetlink.h>

#include <cerrno>
#include <cstring>
#include <net/if.h>

#include "tusbdev/socketcan/socketcandevice.h"
#include "tusbdev/socketcan/socketcanmap.h"

using namespace tarvik;
using namespace tarvik::socketcan;
using namespace std::chrono_literals;

namespace {

// What the kernel does with a filter list: a frame passes when any filter matches.
bool KernelPasses(const std::vector<can_filter>& filters, canid_t id)
{
    for (const can_filter& f : filters)
        if ((id & f.can_mask) == (f.can_id & f.can_mask)) return true;
    return false;
}

struct MaskCase {
    const char* name;
    std::uint32_t stdMask, stdCode, extMask, extCode;
    canid_t frame;  // with CAN_EFF_FLAG / CAN_RTR_FLAG as the kernel sees it
    bool passes;
};

TEST(SocketCanMap, MasksBecomeKernelFiltersThatPassWhatTheAdapterWould)
{
    const MaskCase cases[] = {
        {"all open, standard", 0, 0, 0, 0, 0x123, true},
        {"all open, extended", 0, 0, 0, 0, 0x1ABCDEF | CAN_EFF_FLAG, true},
        {"std exact match", 0x7FF, 0x123, 0x1FFFFFFF, 0x1FFFFFFF, 0x123, true},
        {"std exact miss", 0x7FF, 0x123, 0x1FFFFFFF, 0x1FFFFFFF, 0x124, false},
        {"std mask ignores low bits", 0x7F0, 0x120, 0x1FFFFFFF, 0, 0x12F, true},
        {"std remote passes like data", 0x7FF, 0x123, 0x1FFFFFFF, 0, 0x123 | CAN_RTR_FLAG, true},
        {"std filter does not pass an extended frame with the same low bits", 0x7FF, 0x123, 0x1FFFFFFF, 0x1,
         0x123 | CAN_EFF_FLAG, false},
        {"ext exact match", 0x7FF, 0x7FF, 0x1FFFFFFF, 0x1ABCDEF, 0x1ABCDEF | CAN_EFF_FLAG, true},
        {"ext exact miss", 0x7FF, 0x7FF, 0x1FFFFFFF, 0x1ABCDEF, 0x1ABCDEE | CAN_EFF_FLAG, false},
        {"ext filter does not pass a standard frame", 0x7FF, 0x7FF, 0x7FF, 0x123, 0x123, false},
        {"code bits outside the mask do not matter", 0x700, 0x1FF, 0x1FFFFFFF, 0x1FFFFFFF, 0x100, true},
        {"mask bits beyond 11 are ignored", 0xFFFFFFFF, 0x123, 0x1FFFFFFF, 0x1FFFFFFF, 0x123, true},
        {"ext remote passes", 0, 0, 0x1FFFFFFF, 0x10, 0x10 | CAN_EFF_FLAG | CAN_RTR_FLAG, true},
    };
    for (const MaskCase& c : cases) {
        OnBusConfig cfg;
        cfg.stdMask = c.stdMask;
        cfg.stdCode = c.stdCode;
        cfg.extMask = c.extMask;
        cfg.extCode = c.extCode;
        const auto filters = MaskFilters(cfg);
        ASSERT_EQ(filters.size(), 2u);
        EXPECT_EQ(KernelPasses(filters, c.frame), c.passes) << c.name;
        // The adapter's own rule, to show the two agree.
        const bool ext = c.frame & CAN_EFF_FLAG;
        const std::uint32_t id = c.frame & (ext ? CAN_EFF_MASK : CAN_SFF_MASK);
        const std::uint32_t m = ext ? c.extMask : c.stdMask, code = ext ? c.extCode : c.stdCode;
        EXPECT_EQ((id & m) == (code & m), c.passes) << c.name;
    }
}

can_frame Frame(canid_t id, int len, std::initializer_list<std::uint8_t> data = {})
{
    can_frame f{};
    f.can_id = id;
    f.len = std::uint8_t(len);
    int i = 0;
    for (auto b : data) f.data[i++] = b;
    return f;
}

TEST(SocketCanMap, FramesBecomeRecords)
{
    struct Case {
        can_frame frame;
        std::uint8_t type;
        std::uint32_t id;
        bool extended, remote;
        int length;
        std::uint8_t data1;
    } cases[] = {
        {Frame(0x123, 2, {0xAA, 0xBB}), kCanReceived, 0x123, false, false, 2, 0xBB},
        {Frame(0x7FF, 8, {1, 2, 3, 4, 5, 6, 7, 8}), kCanTransmitted, 0x7FF, false, false, 8, 2},
        {Frame(0x1ABCDEF | CAN_EFF_FLAG, 1, {9}), kCanReceived, 0x1ABCDEF, true, false, 1, 0},
        {Frame(0x321 | CAN_RTR_FLAG, 4), kCanReceived, 0x321, false, true, 4, 0},
        {Frame(0x10 | CAN_EFF_FLAG | CAN_RTR_FLAG, 0), kCanTransmitted, 0x10, true, true, 0, 0},
        {Frame(0x000, 0), kCanReceived, 0, false, false, 0, 0},
    };
    for (const Case& c : cases) {
        const AdapterRecord r = FrameRecord(c.frame, c.type);
        EXPECT_EQ(r.Type(), c.type);
        EXPECT_EQ(r.CanId(), c.id);
        EXPECT_EQ(r.Extended(), c.extended);
        EXPECT_EQ(r.Remote(), c.remote);
        EXPECT_EQ(r.Length(), c.length);
        EXPECT_EQ(r.Data(1), c.data1);
        EXPECT_EQ(r.TimeStamp(), 0u);
    }
    // Bytes past the length stay zero, whatever the kernel's buffer held there.
    can_frame dirty = Frame(0x1, 1, {5, 6, 7});
    EXPECT_EQ(FrameRecord(dirty, kCanReceived).Data(1), 0);
}

TEST(SocketCanMap, FramesToSendAndWhatIsRefused)
{
    const std::uint8_t d[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    struct Case {
        TBusFrame frame;
        bool ok;
        canid_t id;
        int len;
    } cases[] = {
        {TBusFrame::Classic(0x123, false, 3, d), true, 0x123, 3},
        {TBusFrame::Classic(0x1ABCDEF, true, 8, d), true, 0x1ABCDEF | CAN_EFF_FLAG, 8},
        {TBusFrame::Classic(0x123, false, 9, d), true, 0x123, 8},  // 9..15 mean eight bytes
        {TBusFrame::Classic(0x7FF, false, 0, d), true, 0x7FF, 0},
        {TBusFrame::Classic(0x800, false, 1, d), false, 0, 0},      // does not fit 11 bits
        {TBusFrame::Classic(0x20000000, true, 1, d), false, 0, 0},  // nor 29
    };
    for (const Case& c : cases) {
        std::string why;
        const auto f = BusFrame(c.frame, &why);
        ASSERT_EQ(f.has_value(), c.ok) << c.frame.id;
        if (!c.ok) {
            EXPECT_EQ(why, "The identifier does not fit the frame");
            continue;
        }
        EXPECT_EQ(f->can_id, c.id);
        EXPECT_EQ(f->len, c.len);
        EXPECT_EQ(std::memcmp(f->data, d, f->len), 0);
    }
    TBusFrame remote = TBusFrame::Classic(0x55, false, 4, d);
    remote.remote = true;
    const auto r = BusFrame(remote, nullptr);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->can_id, 0x55u | CAN_RTR_FLAG);
    EXPECT_EQ(r->len, 4);
    EXPECT_EQ(r->data[0], 0) << "a remote request carries no data";
    TBusFrame fd = TBusFrame::Classic(0x55, false, 4, d);
    fd.fd = true;
    std::string why;
    EXPECT_FALSE(BusFrame(fd, &why));
    EXPECT_EQ(why, "The adapter sends classic frames only");
}

TEST(SocketCanMap, ErrorFramesTellTheBusStatus)
{
    struct Case {
        const char* name;
        can_frame frame;
        int status;  // -1: none
    } cases[] = {
        {"not an error frame", Frame(0x123, 8), -1},
        {"bus-off", Frame(CAN_ERR_FLAG | CAN_ERR_BUSOFF, 8), 2},
        {"bus-off wins over passive", Frame(CAN_ERR_FLAG | CAN_ERR_BUSOFF | CAN_ERR_CRTL, 8, {0, CAN_ERR_CRTL_TX_PASSIVE}), 2},
        {"rx warning", Frame(CAN_ERR_FLAG | CAN_ERR_CRTL, 8, {0, CAN_ERR_CRTL_RX_WARNING}), 1},
        {"tx warning", Frame(CAN_ERR_FLAG | CAN_ERR_CRTL, 8, {0, CAN_ERR_CRTL_TX_WARNING}), 1},
        {"rx passive", Frame(CAN_ERR_FLAG | CAN_ERR_CRTL, 8, {0, CAN_ERR_CRTL_RX_PASSIVE}), 1},
        {"tx passive", Frame(CAN_ERR_FLAG | CAN_ERR_CRTL, 8, {0, CAN_ERR_CRTL_TX_PASSIVE}), 1},
        {"back to active", Frame(CAN_ERR_FLAG | CAN_ERR_CRTL, 8, {0, CAN_ERR_CRTL_ACTIVE}), 0},
        {"restarted", Frame(CAN_ERR_FLAG | CAN_ERR_RESTARTED, 8), 0},
        {"overflow only says nothing of the state", Frame(CAN_ERR_FLAG | CAN_ERR_CRTL, 8, {0, CAN_ERR_CRTL_RX_OVERFLOW}), -1},
        {"protocol error says nothing of the state", Frame(CAN_ERR_FLAG | CAN_ERR_PROT, 8, {0, 0, CAN_ERR_PROT_BIT}), -1},
        {"controller frame too short to read", Frame(CAN_ERR_FLAG | CAN_ERR_CRTL, 1, {0, CAN_ERR_CRTL_TX_PASSIVE}), -1},
    };
    for (const Case& c : cases) {
        const auto s = ErrorStatus(c.frame);
        EXPECT_EQ(s ? int(*s) : -1, c.status) << c.name;
    }
}

TEST(SocketCanMap, KernelTimeBecomesUnitsSinceGoingOnBus)
{
    const timespec start{1700000000, 900000000};
    struct Case {
        timespec at;
        std::uint32_t units;
    } cases[] = {
        {{1700000000, 900000000}, 0},
        {{1700000000, 900099999}, 0},
        {{1700000000, 900100000}, 1},
        {{1700000001, 0}, 1000},            // across the second
        {{1700000001, 900000000}, 10000},
        {{1700003600, 900000000}, 36000000},  // an hour
        {{1699999999, 0}, 0},                // before the start: not a wrapped huge number
        {{1700000000, 800000000}, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(StampUnits(c.at, start), c.units) << c.at.tv_sec << "." << c.at.tv_nsec;
}

TEST(SocketCanMap, SpeedIndexesAndTheirBitRates)
{
    struct Case {
        int index;
        std::uint32_t bitRate;
        const char* text;
    } cases[] = {
        {0, 1000000, "1000 kbit/s"}, {1, 500000, "500 kbit/s"}, {2, 250000, "250 kbit/s"},
        {3, 166667, "166.7 kbit/s"}, {4, 125000, "125 kbit/s"}, {5, 100000, "100 kbit/s"},
        {6, 83333, "83.3 kbit/s"},   {10, 50000, "50 kbit/s"},  {15, 33333, "33.3 kbit/s"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SpeedBitRate(c.index), c.bitRate) << c.index;
        EXPECT_EQ(BitRateText(c.bitRate), c.text);
    }
    EXPECT_TRUE(SameBitRate(166666, 166667));
    EXPECT_TRUE(SameBitRate(500000, 500000));
    EXPECT_FALSE(SameBitRate(250000, 500000));
    EXPECT_FALSE(SameBitRate(125000, 100000));
    EXPECT_FALSE(SameBitRate(0, 500000));
}

TEST(SocketCanMap, InterfaceRefusalsNameTheCommandThatHelps)
{
    InterfaceInfo missing;
    InterfaceInfo notCan;
    notCan.exists = true;
    InterfaceInfo realDown;
    realDown.exists = realDown.isCan = true;
    realDown.kind = "can";
    InterfaceInfo vcanDown = realDown;
    vcanDown.kind = "vcan";
    InterfaceInfo realUp = realDown;
    realUp.up = true;
    realUp.bitRate = 250000;
    InterfaceInfo vcanUp = vcanDown;
    vcanUp.up = true;
    InterfaceInfo silent = realUp;
    silent.bitRate = 500000;
    silent.listenOnly = true;

    EXPECT_EQ(InterfaceProblem("can0", missing, 500000),
              "There is no network interface can0. Connect the adapter, or make a virtual bus to try: "
              "sudo ip link add dev can0 type vcan && sudo ip link set can0 up");
    EXPECT_EQ(InterfaceProblem("lo", notCan, 500000),
              "lo is not a CAN interface. The CAN interfaces: ip -details link show type can");
    EXPECT_EQ(InterfaceProblem("can0", realDown, 500000),
              "can0 is down. To bring it up: sudo ip link set can0 up type can bitrate 500000");
    EXPECT_EQ(InterfaceProblem("vcan0", vcanDown, 500000), "vcan0 is down. To bring it up: sudo ip link set vcan0 up");
    EXPECT_EQ(InterfaceProblem("can0", realUp, 500000), "");

    EXPECT_EQ(SettingsProblem("can0", realUp, 500000, false),
              "can0 runs at 250 kbit/s. To use 500 kbit/s: sudo ip link set can0 down && sudo ip link set can0 "
              "type can bitrate 500000 && sudo ip link set can0 up");
    EXPECT_EQ(SettingsProblem("can0", realUp, 250000, false), "");
    EXPECT_EQ(SettingsProblem("can0", realUp, 250000, true),
              "can0 is not in listen-only mode. To listen only: sudo ip link set can0 down && sudo ip link set can0 "
              "type can bitrate 250000 listen-only on && sudo ip link set can0 up");
    EXPECT_EQ(SettingsProblem("can0", silent, 500000, false),
              "can0 is in listen-only mode. To send as well: sudo ip link set can0 down && sudo ip link set can0 "
              "type can bitrate 500000 listen-only off && sudo ip link set can0 up");
    EXPECT_EQ(SettingsProblem("can0", silent, 500000, true), "");
    InterfaceInfo unset = realUp;
    unset.bitRate = 0xFFFFFFFFu;  // a driver never given a rate
    EXPECT_EQ(SettingsProblem("slcan0", unset, 500000, false),
              "slcan0 has no bit rate set. To use 500 kbit/s: sudo ip link set slcan0 down && sudo ip link set "
              "slcan0 type can bitrate 500000 && sudo ip link set slcan0 up");
    // A virtual bus has no bit rate and no controller: any speed, either mode.
    EXPECT_EQ(SettingsProblem("vcan0", vcanUp, 1000000, false), "");
    EXPECT_EQ(SettingsProblem("vcan0", vcanUp, 33333, true), "");
}

// Builds nested rtnetlink attributes as the kernel lays them out.
struct Attrs {
    std::vector<std::uint8_t> bytes;
    Attrs& Add(unsigned short type, const void* data, std::size_t len)
    {
        rtattr a{};
        a.rta_type = type;
        a.rta_len = std::uint16_t(RTA_LENGTH(len));
        const std::size_t at = bytes.size();
        bytes.resize(at + RTA_SPACE(len));
        std::memcpy(bytes.data() + at, &a, sizeof a);
        std::memcpy(bytes.data() + at + RTA_LENGTH(0), data, len);
        return *this;
    }
    Attrs& Add(unsigned short type, const Attrs& nested) { return Add(type, nested.bytes.data(), nested.bytes.size()); }
};

TEST(SocketCanMap, LinkInfoGivesKindBitRateAndListenOnly)
{
    can_bittiming bt{};
    bt.bitrate = 250000;
    can_ctrlmode cm{};
    cm.mask = CAN_CTRLMODE_LISTENONLY;
    cm.flags = CAN_CTRLMODE_LISTENONLY;
    Attrs data;
    data.Add(IFLA_CAN_CTRLMODE, &cm, sizeof cm).Add(IFLA_CAN_BITTIMING, &bt, sizeof bt);
    Attrs link;
    link.Add(IFLA_INFO_KIND, "can", 4).Add(IFLA_INFO_DATA, data);
    InterfaceInfo info;
    ParseLinkInfo(link.bytes.data(), link.bytes.size(), info);
    EXPECT_EQ(info.kind, "can");
    EXPECT_EQ(info.bitRate, 250000u);
    EXPECT_TRUE(info.listenOnly);

    Attrs vcan;
    vcan.Add(IFLA_INFO_KIND, "vcan", 5);
    InterfaceInfo v;
    ParseLinkInfo(vcan.bytes.data(), vcan.bytes.size(), v);
    EXPECT_EQ(v.kind, "vcan");
    EXPECT_EQ(v.bitRate, 0u);

    // Cut short anywhere, the reply is read as far as it is whole and never past its end.
    for (std::size_t n = 0; n < link.bytes.size(); ++n) {
        std::vector<std::uint8_t> cut(link.bytes.begin(), link.bytes.begin() + long(n));
        InterfaceInfo c;
        ParseLinkInfo(cut.data(), cut.size(), c);
        EXPECT_TRUE(c.bitRate == 0 || c.bitRate == 250000u);
    }
    // A bit timing attribute too short for its struct is ignored.
    Attrs shortData;
    shortData.Add(IFLA_CAN_BITTIMING, &bt, 2);
    Attrs shortLink;
    shortLink.Add(IFLA_INFO_DATA, shortData);
    InterfaceInfo s;
    ParseLinkInfo(shortLink.bytes.data(), shortLink.bytes.size(), s);
    EXPECT_EQ(s.bitRate, 0u);
}

// Only what differs is asked for, and the request reads back as the kernel reads it.
TEST(SocketCanMap, NetlinkRequestsSetWhatDiffers)
{
    for (const bool up : {false, true}) {
        const auto m = LinkUpRequest(7, 3, up);
        const auto* i = static_cast<const ifinfomsg*>(NLMSG_DATA(m.data()));
        EXPECT_EQ(m.size(), NLMSG_SPACE(sizeof(ifinfomsg)));
        EXPECT_EQ(reinterpret_cast<const nlmsghdr*>(m.data())->nlmsg_len, m.size());
        EXPECT_EQ(reinterpret_cast<const nlmsghdr*>(m.data())->nlmsg_flags, NLM_F_REQUEST | NLM_F_ACK);
        EXPECT_EQ(i->ifi_index, 7);
        EXPECT_EQ(i->ifi_change, unsigned(IFF_UP));
        EXPECT_EQ(i->ifi_flags, up ? unsigned(IFF_UP) : 0u);
    }
    struct Case {
        std::uint32_t have;
        bool haveListenOnly, wantListenOnly;
        const char* text;
        std::uint32_t bitRate;  // 0: no bit timing asked for
        int listenOnly;         // -1: no control mode asked for
    } cases[] = {
        {250000, false, false, "500 kbit/s", 500000, -1},
        {500000, false, true, "listen-only on", 0, 1},
        {250000, true, false, "500 kbit/s, listen-only off", 500000, 0},
        {500100, false, false, "", 0, -1},       // close enough: nothing to do
        {0xFFFFFFFFu, false, false, "500 kbit/s", 500000, -1},  // never set
        {0, false, true, "", 0, -1},             // virtual
    };
    for (const Case& c : cases) {
        InterfaceInfo info;
        info.bitRate = c.have;
        info.listenOnly = c.haveListenOnly;
        const LinkChange change = WantedChange(info, 500000, c.wantListenOnly);
        EXPECT_EQ(LinkChangeText(change), c.text);
        EXPECT_EQ(change.Empty(), !c.bitRate && c.listenOnly < 0);
        if (change.Empty()) continue;
        Attrs data;
        can_bittiming bt{};
        bt.bitrate = c.bitRate;
        if (c.bitRate) data.Add(IFLA_CAN_BITTIMING, &bt, sizeof bt);
        const can_ctrlmode cm{CAN_CTRLMODE_LISTENONLY, c.listenOnly > 0 ? CAN_CTRLMODE_LISTENONLY : 0u};
        if (c.listenOnly >= 0) data.Add(IFLA_CAN_CTRLMODE, &cm, sizeof cm);
        Attrs want;
        want.Add(IFLA_LINKINFO, Attrs().Add(IFLA_INFO_KIND, "can", 4).Add(IFLA_INFO_DATA, data));

        const auto m = CanSettingsRequest(4, 9, change);
        const auto* h = reinterpret_cast<const nlmsghdr*>(m.data());
        EXPECT_EQ(h->nlmsg_len, m.size());
        EXPECT_EQ(h->nlmsg_type, RTM_NEWLINK);
        EXPECT_EQ(h->nlmsg_seq, 9u);
        EXPECT_EQ(static_cast<const ifinfomsg*>(NLMSG_DATA(h))->ifi_index, 4);
        EXPECT_EQ(static_cast<const ifinfomsg*>(NLMSG_DATA(h))->ifi_change, 0u);  // up or down stays
        const std::vector<std::uint8_t> attrs(m.begin() + long(NLMSG_SPACE(sizeof(ifinfomsg))), m.end());
        EXPECT_EQ(attrs, want.bytes) << c.text;
        InterfaceInfo back;
        ParseLinkInfo(attrs.data() + RTA_LENGTH(0), attrs.size() - RTA_LENGTH(0), back);
        EXPECT_EQ(back.kind, "can");
        EXPECT_EQ(back.bitRate, c.bitRate);
        EXPECT_EQ(back.listenOnly, c.listenOnly > 0);
    }
}

TEST(SocketCanMap, TheKernelsAnswerToARequest)
{
    const auto answer = [](std::uint16_t type, std::uint32_t seq, int error, std::uint32_t len) {
        std::vector<std::uint8_t> m(NLMSG_SPACE(sizeof(nlmsgerr)));
        const nlmsghdr h{len, type, 0, seq, 0};
        std::memcpy(m.data(), &h, sizeof h);
        std::memcpy(m.data() + NLMSG_HDRLEN, &error, sizeof error);
        return AckError(m.data(), m.size(), 5);
    };
    const std::uint32_t full = NLMSG_LENGTH(sizeof(nlmsgerr));
    EXPECT_EQ(answer(NLMSG_ERROR, 5, 0, full), 0);
    EXPECT_EQ(answer(NLMSG_ERROR, 5, -EPERM, full), EPERM);
    EXPECT_EQ(answer(NLMSG_ERROR, 4, -EBUSY, full), std::nullopt);  // another request's
    EXPECT_EQ(answer(RTM_NEWLINK, 5, 0, full), std::nullopt);
    EXPECT_EQ(answer(NLMSG_ERROR, 5, 0, NLMSG_HDRLEN + 2), EPROTO);  // too short to say
}

TEST(SocketCanMap, AFullTransmitQueueIsRetriedUntilPatienceRunsOut)
{
    struct Case {
        std::vector<int> errors;  // what the writes give in turn, the last one for ever
        int result;
        std::size_t attempts;  // 0: as many as the patience allows
    } cases[] = {
        {{ENOBUFS, ENOBUFS, EAGAIN, EINTR, 0}, 0, 5},
        {{ENOBUFS, EIO}, EIO, 2},
        {{ENOBUFS}, ENOBUFS, 0},
    };
    for (const Case& c : cases) {
        std::size_t n = 0;
        const auto begin = std::chrono::steady_clock::now();
        EXPECT_EQ(SendRetrying([&] { return c.errors[std::min(n++, c.errors.size() - 1)]; }, 30ms), c.result);
        const auto took = std::chrono::steady_clock::now() - begin;
        EXPECT_TRUE(c.attempts ? n == c.attempts : took >= 30ms) << n;
    }
}

// What the device says on this machine, with or without CAN in its kernel.
TEST(SocketCanDevice, InterfacesThatCannotBeUsedAreRefusedAtOpenWithTheirCommand)
{
    struct Case {
        const char* port;
        std::string message;
    } cases[] = {
        {"tarvikno0", "There is no network interface tarvikno0. Connect the adapter, or make a virtual bus to try: "
                      "sudo ip link add dev tarvikno0 type vcan && sudo ip link set tarvikno0 up"},
        {"lo", "lo is not a CAN interface. The CAN interfaces: ip -details link show type can"},
        // Not an interface name at all: never a path into /sys.
        {"../lo", "There is no network interface ../lo. Connect the adapter, or make a virtual bus to try: "
                  "sudo ip link add dev ../lo type vcan && sudo ip link set ../lo up"},
    };
    for (const Case& c : cases) {
        TSocketCanDevice dev(c.port);
        std::vector<std::string> shown;
        dev.SetErrorPresenter([&](const std::string& m) { shown.push_back(m); });
        EXPECT_FALSE(dev.Open()) << c.port;
        EXPECT_FALSE(dev.IsOpen());
        EXPECT_EQ(dev.LastOpenError(), c.message);
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0], c.message);
        EXPECT_FALSE(dev.GoOnBus({}));
        EXPECT_FALSE(dev.Transmit(TBusFrame{}));
    }
    const InterfaceInfo lo = QueryInterface("lo");
    EXPECT_TRUE(lo.exists);
    EXPECT_FALSE(lo.isCan);
    EXPECT_TRUE(lo.up);
    EXPECT_FALSE(QueryInterface("").exists);
    EXPECT_FALSE(QueryInterface(std::string(40, 'a')).exists);
}

}  // namespace
