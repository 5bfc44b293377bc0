#pragma once
// Moves into a directory for one scope and back when it ends, however it ends: an ASSERT_*
// returns at once, and a test left in a removed temporary directory breaks every later
// test that opens a relative path.
#include <QDir>
#include <QString>

namespace testsupport {

class CurrentDirGuard {
public:
    explicit CurrentDirGuard(const QString& dir) : old_(QDir::currentPath()) { entered_ = QDir::setCurrent(dir); }
    ~CurrentDirGuard() { QDir::setCurrent(old_); }
    bool Entered() const { return entered_; }
    CurrentDirGuard(const CurrentDirGuard&) = delete;
    CurrentDirGuard& operator=(const CurrentDirGuard&) = delete;

private:
    QString old_;
    bool entered_ = false;
};

}  // namespace testsupport
