#include "support/process.h"

#include <QElapsedTimer>
#include <QFile>
#include <csignal>
#include <cstdint>

namespace testsupport {

Process::Process(const QString& exe, const QStringList& args, const ProcessOptions& options)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (options.offscreen)
        env.insert("QT_QPA_PLATFORM", "offscreen");
    if (options.headless)
        for (const char* v : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(v);
    p_.setProcessEnvironment(env);
    if (!options.stdoutFile.isEmpty())
        p_.setStandardOutputFile(options.stdoutFile);
    if (options.childSetup)
        p_.setChildProcessModifier(options.childSetup);
    p_.start(exe, args);
    if (p_.waitForStarted(10000) && !options.input.isEmpty()) {
        p_.write(options.input);
        p_.closeWriteChannel();
    }
}

Process::~Process()
{
    if (Running()) {
        p_.kill();
        p_.waitForFinished();
    }
}

bool Process::Running(int forMs) { return !p_.waitForFinished(forMs) && p_.state() != QProcess::NotRunning; }

bool Process::WaitUntilCatching(int sig, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    const std::uint64_t bit = std::uint64_t(1) << (sig - 1);
    while (Running(10) && t.elapsed() < timeoutMs) {
        QFile status(QStringLiteral("/proc/%1/status").arg(p_.processId()));
        if (status.open(QIODevice::ReadOnly))
            for (const QByteArray& line : status.readAll().split('\n'))
                if (line.startsWith("SigCgt:") && (line.mid(7).trimmed().toULongLong(nullptr, 16) & bit))
                    return true;
    }
    return false;
}

void Process::Signal(int sig)
{
    // Only while it runs: the id of an ended child is 0, the whole process group to kill().
    if (p_.state() != QProcess::NotRunning)
        ::kill(pid_t(p_.processId()), sig);
}

Ran Process::Finish(int timeoutMs)
{
    Ran r;
    if (p_.error() == QProcess::FailedToStart)
        r.err = "did not start: " + p_.errorString().toStdString();
    else if (Running(timeoutMs))
        r.err = "did not finish";  // the destructor kills it
    else {
        r.code = p_.exitStatus() == QProcess::NormalExit ? p_.exitCode() : -1;
        r.out = p_.readAllStandardOutput().toStdString();
        r.err = p_.readAllStandardError().toStdString();
    }
    return r;
}

}  // namespace testsupport
