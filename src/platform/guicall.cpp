#include "platform/guicall.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>

namespace tarvik {

namespace {

struct Task {
    const std::function<void()>* fn = nullptr;
    bool done = false;
    std::exception_ptr error;
};

struct Hub {
    std::mutex lock;
    std::condition_variable taskDone;  // workers wait here for their task
    std::condition_variable wake;      // the GUI thread's serving wait sleeps here
    std::deque<std::shared_ptr<Task>> queue;
    unsigned long long generation = 0;  // bumped by every enqueue and notify
};

Hub& TheHub()
{
    static Hub hub;
    return hub;
}

}  // namespace

bool IsGuiThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

bool SyncGuiCall(const std::function<void()>& fn)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return false;
    if (QThread::currentThread() == app->thread()) {
        fn();
        return true;
    }
    Hub& hub = TheHub();
    auto task = std::make_shared<Task>();
    task->fn = &fn;
    {
        std::lock_guard<std::mutex> g(hub.lock);
        hub.queue.push_back(task);
        ++hub.generation;
    }
    hub.wake.notify_all();
    // The event loop serves the queue; a serving wait on the GUI thread serves it too.
    QMetaObject::invokeMethod(app, [] { ServeGuiCalls(); }, Qt::QueuedConnection);
    std::exception_ptr error;
    {
        std::unique_lock<std::mutex> g(hub.lock);
        hub.taskDone.wait(g, [&] { return task->done; });
        error = std::move(task->error);  // the exception now lives on this thread only
    }
    if (error)
        std::rethrow_exception(error);
    return true;
}

int ServeGuiCalls()
{
    Hub& hub = TheHub();
    int served = 0;
    for (;;) {
        std::shared_ptr<Task> task;
        {
            std::lock_guard<std::mutex> g(hub.lock);
            if (hub.queue.empty())
                break;
            task = hub.queue.front();
            hub.queue.pop_front();
        }
        // Run outside the lock: the call may open a modal box whose event loop serves
        // further calls re-entrantly.
        std::exception_ptr error;
        try {
            (*task->fn)();
        } catch (...) {
            error = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> g(hub.lock);
            task->error = std::move(error);
            task->done = true;
        }
        hub.taskDone.notify_all();
        ++served;
    }
    return served;
}

void NotifyGuiWaiters()
{
    Hub& hub = TheHub();
    {
        std::lock_guard<std::mutex> g(hub.lock);
        ++hub.generation;
    }
    hub.wake.notify_all();
}

bool WaitServingGuiCalls(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    using Clock = std::chrono::steady_clock;
    const bool serve = IsGuiThread();
    const bool bounded = timeout != std::chrono::milliseconds::max();
    const Clock::time_point deadline = bounded ? Clock::now() + timeout : Clock::time_point::max();
    Hub& hub = TheHub();
    for (;;) {
        unsigned long long seen;
        {
            std::lock_guard<std::mutex> g(hub.lock);
            seen = hub.generation;
        }
        if (serve)
            ServeGuiCalls();
        if (done())
            return true;
        if (bounded && Clock::now() >= deadline)
            return false;
        std::unique_lock<std::mutex> g(hub.lock);
        hub.wake.wait_for(g, std::chrono::milliseconds(10), [&] { return hub.generation != seen; });
    }
}

}  // namespace tarvik
