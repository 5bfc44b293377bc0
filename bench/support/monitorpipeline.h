#pragma once
// The receive thread feeding both monitors' log threads, wired as the main window wires
// them, with a repaint that formats one page of the scrolling monitor as its window does.
#include <algorithm>
#include <atomic>
#include <cstdint>

#include "bus/tbussession.h"
#include "platform/tmmtimer.h"
#include "tusbdev/tqueuebuffer.h"
#include "tviewfixedform/tfixedlogthread.h"
#include "tviewnormalform/tnormallogthread.h"

namespace benchsupport {

struct MonitorPipeline {
    explicit MonitorPipeline(std::shared_ptr<tarvik::TBusDevice> device,
                             std::int32_t historyCapacity = tarvik::TRecordHistory::kCapacity)
        : bus(std::move(device)),
          normal([this] { Repaint(); }, ticks, normalRing, 100, historyCapacity),
          fixed([] {}, ticks, fixedRing)
    {
        built = true;
        bus.SetSlot(1, &normalRing);
        bus.SetSlot(2, &fixedRing);
    }
    ~MonitorPipeline()
    {
        bus.SetSlot(1, nullptr);
        bus.SetSlot(2, nullptr);
        bus.Shutdown();
    }
    // Records the rings, the receive thread or the device could not keep.
    std::uint64_t Lost() const { return bus.Losses(1).Records() + bus.Losses(2).dropped; }

    tarvik::TBusSession bus;
    tarvik::TMmTimer ticks;
    tarvik::TQueueBuffer normalRing{20, tarvik::TQueueBuffer::kDefaultCapacity};
    tarvik::TQueueBuffer fixedRing{20, tarvik::TQueueBuffer::kDefaultCapacity};
    std::atomic<bool> built{false};
    std::atomic<std::uint64_t> pagesFormatted{0};
    tarvik::TNormalLogThread normal;
    tarvik::TFixedLogThread fixed;

private:
    void Repaint()
    {
        if (!built)
            return;
        const std::int32_t n = normal.Count();
        for (std::int32_t i = std::max(0, n - 58); i < n; ++i)
            (void)normal.GetLine(i);
        ++pagesFormatted;
    }
};

}  // namespace benchsupport
