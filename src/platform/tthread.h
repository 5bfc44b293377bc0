#pragma once
// Worker thread base: created suspended, started by the first Resume, able to suspend
// itself at a safe point of its loop and to be resumed again, terminated on request and
// waited for. A Resume that arrives before the worker has parked is not lost: the next
// SuspendSelf returns at once, so callers must re-check their condition after it.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace tarvik {

class TThread {
public:
    // Scheduling hint. Linux lets an unprivileged process lower priorities only, so the
    // hint is recorded but does not change the scheduling.
    enum class Priority { Normal, AboveNormal };

    TThread() = default;
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // The first call starts Execute; later calls wake a thread parked in SuspendSelf.
    void Resume();
    // Asks Execute to end and wakes it from SuspendSelf and SleepFor.
    void Terminate();
    // Returns once Execute has ended (at once if it never started). On the GUI thread it
    // keeps serving the workers' synchronous calls meanwhile, so it cannot deadlock.
    void WaitFor();

    bool Terminated() const { return terminated_.load(); }
    bool Started() const { return started_.load(); }
    bool Finished() const { return finished_.load(); }
    // True while parked in SuspendSelf, or created and not yet started.
    bool Suspended() const { return suspended_.load(); }

    void SetPriority(Priority p) { priority_ = p; }
    Priority GetPriority() const { return priority_; }

    // Name shown by ps/top/gdb (at most 15 characters); takes effect when the thread starts.
    void SetName(const char* name);
    // Processor time the worker has used so far; zero when it is not running.
    std::chrono::nanoseconds CpuTime();

protected:
    virtual void Execute() = 0;

    // Parks the calling worker until Resume or Terminate.
    void SuspendSelf();
    // Sleeps, waking early on Terminate; false when terminated.
    bool SleepFor(std::chrono::milliseconds d);
    // For derived destructors: stop the worker before their members go away.
    void TerminateAndWait();

private:
    void Run();

    std::mutex lock_;
    std::condition_variable cv_;
    std::thread thread_;
    std::atomic<bool> started_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> terminated_{false};
    std::atomic<bool> suspended_{true};
    bool resumePending_ = false;  // guarded by lock_
    Priority priority_ = Priority::Normal;
    char name_[16] = {};
};

}  // namespace tarvik
