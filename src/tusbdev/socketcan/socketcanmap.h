#pragma once
// What a CAN socket speaks, mapped to what the program speaks: frames to records, masks to
// kernel filters, error frames to bus status, kernel time to record time, and the words for
// an interface that cannot take the chosen settings. Nothing here opens a socket, so all of
// it is tested on machines whose kernel has no CAN.
#include <linux/can.h>

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tusbdev/adapterprotocol.h"
#include "tusbdev/busdevice.h"

namespace tarvik::socketcan {

// The standard and extended mask/code pairs as two kernel filters: a frame passes when its
// identifier agrees with the code in every bit the mask sets. Remote and data frames pass
// alike, as on the native adapter.
std::vector<can_filter> MaskFilters(const OnBusConfig& config);

// A received classic frame as a record of `type` (received or transmitted), time stamp and
// check bytes still zero.
AdapterRecord FrameRecord(const can_frame& frame, std::uint8_t type);

// The frame to write; nothing (and `why`) for what a classic CAN socket cannot carry.
std::optional<can_frame> BusFrame(const TBusFrame& frame, std::string* why);

// The bus status an error frame tells: 1 warning or error passive, 2 bus-off, 0 back to
// error active (or restarted); nothing for error frames that say no state (bit errors, ...).
std::optional<std::uint8_t> ErrorStatus(const can_frame& frame);

// Kernel receive time as 100 microsecond units since `start`; 0 for a time before it.
std::uint32_t StampUnits(const timespec& at, const timespec& start);

// The bit rate of a native speed index (1 Mbit/s divided by 1, 2, 4, 6, ...).
std::uint32_t SpeedBitRate(int speedIndex);
// "500 kbit/s", "83.3 kbit/s".
std::string BitRateText(std::uint32_t bitRate);
// Whether an interface running at `have` serves a request for `want`: controllers reach a
// rate only as closely as their clock divides.
bool SameBitRate(std::uint32_t have, std::uint32_t want);

// What the kernel says about one network interface.
struct InterfaceInfo {
    bool exists = false;
    bool isCan = false;      // link type 280
    bool up = false;         // administratively up (IFF_UP)
    std::string kind;        // "can", "vcan", "vxcan", ... (rtnetlink's link kind)
    std::uint32_t bitRate = 0;  // 0 when the interface has none (virtual buses)
    bool listenOnly = false;
    int mtu = 0;
};

// The refusal for an interface that is missing, not CAN or down; empty when it can be used.
std::string InterfaceProblem(const std::string& name, const InterfaceInfo& info, std::uint32_t wantBitRate);
// The refusal for a real interface that runs at another bit rate or listen-only setting than
// asked; empty when it matches (virtual interfaces always do).
std::string SettingsProblem(const std::string& name, const InterfaceInfo& info, std::uint32_t wantBitRate,
                            bool wantListenOnly);

// What a real interface needs changed to serve a request; nothing set when it already does.
struct LinkChange {
    std::optional<std::uint32_t> bitRate;
    std::optional<bool> listenOnly;
    bool Empty() const { return !bitRate && !listenOnly; }
};
// Only what differs: setting a bit rate again would recompute the timing and lose a sample
// point the user chose with ip.
LinkChange WantedChange(const InterfaceInfo& info, std::uint32_t wantBitRate, bool wantListenOnly);
// "500 kbit/s", "listen-only on", "500 kbit/s, listen-only off".
std::string LinkChangeText(const LinkChange& change);

// rtnetlink requests for interface `index`, each asking for an acknowledgement under `seq`:
// administratively up or down, and the CAN settings (which the kernel takes only while down).
std::vector<std::uint8_t> LinkUpRequest(int index, std::uint32_t seq, bool up);
std::vector<std::uint8_t> CanSettingsRequest(int index, std::uint32_t seq, const LinkChange& change);
// The kernel's answer to request `seq` among the messages in `data`: 0 done, else its errno;
// nothing when they hold no answer to it.
std::optional<int> AckError(const std::uint8_t* data, std::size_t size, std::uint32_t seq);

// Calls `attempt` (0 sent, else its errno) until it sends, fails for good, or the transmit
// queue stays full (ENOBUFS, EAGAIN; EINTR retries too) past `patience`. 0 or the last errno.
int SendRetrying(const std::function<int()>& attempt, std::chrono::milliseconds patience);

// Reads IFLA_LINKINFO's attributes (rtnetlink's nested attributes, as the kernel sends them)
// into `info`: the kind, and for CAN interfaces the bit rate and control mode.
void ParseLinkInfo(const std::uint8_t* data, std::size_t size, InterfaceInfo& info);

}  // namespace tarvik::socketcan
