#pragma once
// Set once a termination signal has asked the program to end: from then on nothing may wait
// for the user (a save dialog would keep the program on bus, deaf to the next signal), so what
// would have asked is done with its default instead.
#include <atomic>

namespace tarvik {

inline std::atomic<bool>& ShutdownFlag()
{
    static std::atomic<bool> flag{false};
    return flag;
}
inline bool ShuttingDown() { return ShutdownFlag().load(); }

}  // namespace tarvik
