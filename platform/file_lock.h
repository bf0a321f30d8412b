// A whole-file lock (flock) that waits a while for another process to let
// go, and no longer: a program that holds it for good (stuck or stopped)
// must not stop this one for good.  flock locks do not touch the fcntl
// locks SQLite takes.
#pragma once

#include <chrono>

namespace filelock {

enum class Kind { Shared, Exclusive };
enum class Outcome { Held, TimedOut, Failed };  // Failed: errno says why

// Takes the lock on the open file fd, trying every 50 ms for at most wait
// (once more at its end).  The lock lasts until fd is closed.
Outcome lockWithin(int fd, Kind kind, std::chrono::milliseconds wait);

}  // namespace filelock
