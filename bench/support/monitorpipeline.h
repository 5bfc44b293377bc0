#pragma once
// The receive thread feeding both monitors' log threads, wired as the main window wires
// them, with a repaint that formats one page of the scrolling monitor as its window does.
#include <algorithm>
#include <atomic>
#include <cstdint>

#include "platform/tmmtimer.h"
#include "tmainform/buscontrol.h"
#include "tmainform/tmonthread.h"
#include "tusbdev/tqueuebuffer.h"
#include "tusbdev/tusbdev.h"
#include "tviewfixedform/tfixedlogthread.h"
#include "tviewnormalform/tnormallogthread.h"

namespace benchsupport {

struct MonitorPipeline {
    explicit MonitorPipeline(tarvik::TUsbDev& dev, std::int32_t historyCapacity = tarvik::TRecordHistory::kCapacity)
        : mon(dev),
          normal([this] { Repaint(); }, ticks, normalRing, 100, historyCapacity),
          fixed([] {}, ticks, fixedRing),
          bus(dev, {[this] { return mon.Start(); }, [this] { mon.Stop(); }, [this] { return mon.Running(); }})
    {
        built = true;
        mon.SetSlot(1, &normalRing);
        mon.SetSlot(2, &fixedRing);
    }
    ~MonitorPipeline()
    {
        mon.SetSlot(1, nullptr);
        mon.SetSlot(2, nullptr);
        mon.Terminate();
        mon.Resume();
        mon.WaitFor();
    }
    // Records the rings or the receive thread could not keep.
    std::uint64_t Lost() const { return mon.Dropped(1) + mon.Dropped(2) + mon.BadRecords(); }

    tarvik::TMonThread mon;
    tarvik::TMmTimer ticks;
    tarvik::TQueueBuffer normalRing{20, tarvik::TQueueBuffer::kDefaultCapacity};
    tarvik::TQueueBuffer fixedRing{20, tarvik::TQueueBuffer::kDefaultCapacity};
    std::atomic<bool> built{false};
    std::atomic<std::uint64_t> pagesFormatted{0};
    tarvik::TNormalLogThread normal;
    tarvik::TFixedLogThread fixed;
    tarvik::TBusControl bus;

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
