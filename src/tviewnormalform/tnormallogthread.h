#pragma once
// Worker of the scrolling monitor: drains the window's ring into the record history and
// marks the window for repainting through its draw thread.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "monitorview/tmonitorlogthread.h"
#include "tviewnormalform/trecordhistory.h"

namespace tarvik {

class TNormalLogThread final : public TMonitorLogThread {
public:
    // Starts at once. refresh repaints the window (on the GUI thread); ring is drained.
    TNormalLogThread(std::function<void()> refresh, const TMmTimer& ticks, TQueueBuffer& ring,
                     std::uint32_t refreshPeriod = 100, std::int32_t historyCapacity = TRecordHistory::kCapacity);
    ~TNormalLogThread() override;

    // GUI thread: asks this thread to empty the history and waits for it up to ~200 ms,
    // serving the draw thread's calls meanwhile; then repaints at once. False when the
    // request is still pending (it is carried out at the next pass).
    bool RequestClear();
    bool ClearPending() const { return clearRequested_.load(); }

    std::int32_t Count() const { return history_.Count(); }
    std::string GetLine(std::int32_t index) const override { return history_.GetLine(index); }
    std::string GetAllText() const override { return history_.GetAllText(); }
    const TRecordHistory& History() const { return history_; }

    std::int32_t LineCount() const override { return Count(); }
    void ClearLines() override { RequestClear(); }

protected:
    void Store(const AdapterRecord& record) override { history_.Add(record); }
    bool BatchInterrupted() const override { return clearRequested_.load(); }
    void AfterPass() override;

private:
    void EmptyHistory();

    TRecordHistory history_;
    std::atomic<bool> clearRequested_{false};
};

}  // namespace tarvik
