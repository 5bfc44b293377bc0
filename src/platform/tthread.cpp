#include "platform/tthread.h"

#include "platform/guicall.h"

namespace tarvik {

TThread::~TThread() { TerminateAndWait(); }

void TThread::Resume()
{
    std::lock_guard<std::mutex> g(lock_);
    if (!started_.load()) {
        if (finished_.load())
            return;
        started_.store(true);
        suspended_.store(false);
        thread_ = std::thread([this] { Run(); });
        return;
    }
    resumePending_ = true;
    cv_.notify_all();
}

void TThread::Terminate()
{
    {
        std::lock_guard<std::mutex> g(lock_);
        terminated_.store(true);
    }
    cv_.notify_all();
}

void TThread::Run()
{
    Execute();
    finished_.store(true);
    suspended_.store(false);
    NotifyGuiWaiters();
}

void TThread::WaitFor()
{
    {
        std::lock_guard<std::mutex> g(lock_);
        if (!started_.load())
            return;
    }
    if (std::this_thread::get_id() == thread_.get_id())
        return;  // a worker cannot wait for itself
    WaitServingGuiCalls([this] { return finished_.load(); });
    std::lock_guard<std::mutex> g(lock_);
    if (thread_.joinable())
        thread_.join();
}

void TThread::TerminateAndWait()
{
    Terminate();
    WaitFor();
}

void TThread::SuspendSelf()
{
    std::unique_lock<std::mutex> g(lock_);
    suspended_.store(true);
    cv_.wait(g, [this] { return resumePending_ || terminated_.load(); });
    resumePending_ = false;
    suspended_.store(false);
}

bool TThread::SleepFor(std::chrono::milliseconds d)
{
    std::unique_lock<std::mutex> g(lock_);
    return !cv_.wait_for(g, d, [this] { return terminated_.load(); });
}

}  // namespace tarvik
