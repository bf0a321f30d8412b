#include "file_lock.h"

#include <sys/file.h>

#include <cerrno>
#include <thread>

namespace filelock {

Outcome lockWithin(int fd, Kind kind, std::chrono::milliseconds wait) {
    const int operation = (kind == Kind::Shared ? LOCK_SH : LOCK_EX) | LOCK_NB;
    const auto end = std::chrono::steady_clock::now() + wait;
    for (;;) {
        if (::flock(fd, operation) == 0) return Outcome::Held;
        if (errno != EWOULDBLOCK && errno != EINTR) return Outcome::Failed;
        if (std::chrono::steady_clock::now() >= end) {
            if (::flock(fd, operation) == 0) return Outcome::Held;
            return errno == EWOULDBLOCK || errno == EINTR ? Outcome::TimedOut : Outcome::Failed;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

}  // namespace filelock
