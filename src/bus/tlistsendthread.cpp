#include "bus/tlistsendthread.h"

#include <pthread.h>
#include <time.h>

#include <exception>

namespace tarvik {

TListSendThread::TListSendThread(Sender send) : send_(std::move(send)) {}

TListSendThread::~TListSendThread()
{
    {
        std::lock_guard<std::mutex> g(mu_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

bool TListSendThread::Start(std::uint32_t id, const TBusFrame& frame, std::uint32_t intervalMs)
{
    if (intervalMs == 0) return false;
    {
        std::unique_lock<std::mutex> lk(mu_);
        auto& slot = rows_[id];
        if (slot) slot->running = false;  // a batch under way holds the old row: it sends no more
        slot = std::make_shared<Row>();
        slot->frame = frame;
        slot->interval = std::chrono::milliseconds(intervalMs);
        slot->next = Clock::now();
        slot->running = true;
        // Started on the first row, so a session that never sends a list has no thread.
        if (!thread_.joinable()) thread_ = std::thread([this] { Loop(); });
    }
    wake_.notify_all();
    return true;
}

bool TListSendThread::Update(std::uint32_t id, const TBusFrame& frame)
{
    std::lock_guard<std::mutex> g(mu_);
    const auto it = rows_.find(id);
    if (it == rows_.end() || !it->second->running) return false;
    it->second->frame = frame;
    return true;
}

void TListSendThread::WaitIdle(std::unique_lock<std::mutex>& lk)
{
    if (std::this_thread::get_id() == thread_.get_id()) return;  // the sender itself
    idle_.wait(lk, [this] { return !sending_; });
}

void TListSendThread::Stop(std::uint32_t id)
{
    std::unique_lock<std::mutex> lk(mu_);
    const auto it = rows_.find(id);
    if (it == rows_.end()) return;
    it->second->running = false;
    WaitIdle(lk);
}

void TListSendThread::StopAll()
{
    std::unique_lock<std::mutex> lk(mu_);
    for (auto& [id, row] : rows_) row->running = false;
    WaitIdle(lk);
}

void TListSendThread::Forget(std::uint32_t id)
{
    std::unique_lock<std::mutex> lk(mu_);
    const auto it = rows_.find(id);
    if (it == rows_.end()) return;
    it->second->running = false;
    rows_.erase(it);
    WaitIdle(lk);
}

bool TListSendThread::Running(std::uint32_t id) const
{
    std::lock_guard<std::mutex> g(mu_);
    const auto it = rows_.find(id);
    return it != rows_.end() && it->second->running;
}

bool TListSendThread::AnyRunning() const
{
    std::lock_guard<std::mutex> g(mu_);
    for (const auto& [id, row] : rows_)
        if (row->running) return true;
    return false;
}

TListSendThread::Counts TListSendThread::CountsOf(std::uint32_t id) const
{
    std::lock_guard<std::mutex> g(mu_);
    const auto it = rows_.find(id);
    if (it == rows_.end()) return {};
    const Row& r = *it->second;
    return {r.sent.load(std::memory_order_relaxed), r.failed.load(std::memory_order_relaxed),
            r.skipped.load(std::memory_order_relaxed)};
}

std::chrono::nanoseconds TListSendThread::CpuTime() const
{
    std::lock_guard<std::mutex> g(mu_);
    clockid_t clock;
    timespec ts{};
    if (!thread_.joinable() || pthread_getcpuclockid(const_cast<std::thread&>(thread_).native_handle(), &clock) != 0 ||
        clock_gettime(clock, &ts) != 0)
        return std::chrono::nanoseconds(0);
    return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
}

void TListSendThread::Loop()
{
    std::unique_lock<std::mutex> lk(mu_);
    std::vector<std::shared_ptr<Row>> due;
    while (!stop_) {
        const auto now = Clock::now();
        auto earliest = Clock::time_point::max();
        due.clear();
        for (auto& [id, row] : rows_) {
            if (!row->running) continue;
            if (row->next <= now) {
                due.push_back(row);
                row->next += row->interval;
                if (now - row->next > kCatchUp) {
                    const auto missed = (now - row->next) / row->interval + 1;
                    row->next += missed * row->interval;
                    row->skipped.fetch_add(std::uint64_t(missed), std::memory_order_relaxed);
                }
            }
            earliest = std::min(earliest, row->next);
        }
        if (due.empty()) {
            if (earliest == Clock::time_point::max())
                wake_.wait(lk);
            else
                wake_.wait_until(lk, earliest);
            continue;
        }
        for (const auto& row : due) {
            // A row stopped, restarted or updated meanwhile: only what it is now goes out.
            if (stop_ || !row->running) continue;
            const TBusFrame frame = row->frame;
            sending_ = true;
            lk.unlock();
            SendResult result;
            try {
                result = send_(frame);
            } catch (const std::exception&) {
                result = SendResult::StopAll;
            }
            lk.lock();
            sending_ = false;
            switch (result) {
            case SendResult::Sent: row->sent.fetch_add(1, std::memory_order_relaxed); break;
            case SendResult::Failed: row->failed.fetch_add(1, std::memory_order_relaxed); break;
            case SendResult::StopAll:
                for (auto& [id, r] : rows_) r->running = false;
                break;
            }
            idle_.notify_all();
        }
    }
}

}  // namespace tarvik
