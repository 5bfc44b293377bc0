#pragma once
// Blocking calls from worker threads onto the user-interface (GUI) thread, and waits of
// the GUI thread that keep serving them.
//
// A worker that calls SyncGuiCall sleeps until the GUI thread has run the function. If
// the GUI thread is itself waiting for that worker (at shutdown), a plain join would
// deadlock; WaitServingGuiCalls runs the queued calls while it waits instead. Only these
// queued calls run during such a wait, not arbitrary user input.
#include <chrono>
#include <functional>

namespace tarvik {

// True on the thread that owns the application object (the GUI thread). Without an
// application object every thread counts as the GUI thread.
bool IsGuiThread();

// Runs fn on the GUI thread and returns once it has finished; on the GUI thread it runs
// inline. An exception thrown by fn is rethrown in the caller. Returns false, without
// running fn, when the application object is gone (the program is past its shutdown).
bool SyncGuiCall(const std::function<void()>& fn);

// GUI thread: runs every call queued so far; returns how many ran.
int ServeGuiCalls();

// GUI thread: returns once done() is true, serving queued calls meanwhile. done() is
// checked after each served call, after NotifyGuiWaiters() and at least every 10 ms.
// On other threads it waits the same way without serving. Returns false when timeout
// (if given) passed first.
bool WaitServingGuiCalls(const std::function<bool()>& done,
                         std::chrono::milliseconds timeout = std::chrono::milliseconds::max());

// Wakes WaitServingGuiCalls to re-check its condition (a worker has finished).
void NotifyGuiWaiters();

}  // namespace tarvik
