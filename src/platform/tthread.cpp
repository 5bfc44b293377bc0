#include "platform/tthread.h"

#include <pthread.h>
#include <cstring>
#include <ctime>

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

void TThread::SetName(const char* name)
{
    std::lock_guard<std::mutex> g(lock_);
    std::strncpy(name_, name, sizeof name_ - 1);
}

std::chrono::nanoseconds TThread::CpuTime()
{
    std::lock_guard<std::mutex> g(lock_);
    if (!thread_.joinable() || finished_.load())
        return std::chrono::nanoseconds(0);
    clockid_t clock;
    timespec ts{};
    if (pthread_getcpuclockid(thread_.native_handle(), &clock) != 0 || clock_gettime(clock, &ts) != 0)
        return std::chrono::nanoseconds(0);
    return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
}

void TThread::Run()
{
    {
        std::lock_guard<std::mutex> g(lock_);
        if (name_[0] != 0)
            pthread_setname_np(pthread_self(), name_);
    }
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
