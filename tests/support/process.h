#pragma once
// Runs a program as a child process and collects how it ended and what it wrote.
#include <QProcess>
#include <QStringList>
#include <functional>
#include <string>

namespace testsupport {

struct ProcessOptions {
    QByteArray input{};                  // written to stdin, which is then closed (when not empty)
    QString stdoutFile{};                // stdout goes there (QProcess::nullDevice() drops it)
    bool offscreen = false;              // QT_QPA_PLATFORM=offscreen
    bool headless = false;               // no display at all, as over ssh or in a script
    std::function<void()> childSetup{};  // runs in the child before exec (resource limits)
};

struct Ran {
    int code = -1;             // the exit code; -1 when it did not start, end or exit itself
    std::string out{}, err{};  // err says so when it did not start or did not end in time
};

// A started program the caller may signal before collecting how it ended; killed when it
// is still running at the end of the scope.
class Process {
public:
    Process(const QString& exe, const QStringList& args, const ProcessOptions& options = {});
    ~Process();
    // Still running after waiting up to forMs for it to end.
    bool Running(int forMs = 0);
    // Waits until the program catches sig (its handler is installed: it is up far enough to
    // act on it), however long a loaded machine takes to get there. False when it ended
    // first or never got there.
    bool WaitUntilCatching(int sig, int timeoutMs = 30000);
    void Signal(int sig);
    // Waits up to timeoutMs for the end.
    Ran Finish(int timeoutMs = 60000);

private:
    QProcess p_;
};

inline Ran RunProcess(const QString& exe, const QStringList& args, const ProcessOptions& options = {})
{
    return Process(exe, args, options).Finish();
}

}  // namespace testsupport
