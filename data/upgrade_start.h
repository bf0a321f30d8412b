// The start-up step that keeps a database copy up to date with the one it
// was made from: the user's own copy of the installed database, or the
// database beside the program when a dat/kelvma.dat.new was put there.
#pragma once

#include <string>
#include <utility>

namespace data::upgrade {

// A shared flock on the copy that says "a program works on this file",
// held until the object goes.  A merge needs the copy to itself: it would
// replace the file under a program that is using it, whose later writes
// would go to the replaced file and be lost.
class InUse {
public:
    InUse() = default;
    explicit InUse(int fd) : fd_(fd) {}
    ~InUse();
    InUse(InUse&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    InUse& operator=(InUse&& other) noexcept;
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

struct StartResult {
    bool merged = false;
    std::string notice;  // a sentence for the pupil (UTF-8), empty when there is nothing to say
    std::string detail;  // what happened, for standard error; empty when nothing did
    InUse inUse;         // keep for as long as the program uses the copy
};

// Under a lock on copy (another program of the same user waits
// for it, up to lockSeconds, and then finds the merge done): when the
// versions of source and copy differ, merges the record of copy into a copy
// of source (mergeRecord).  Otherwise a backup copy + ".old" left by an
// earlier merge is removed once the copy passes its checks.  With
// consumeSource, source is removed once its content is in copy.
//
// A merge waits for no program that uses the copy (one holding the
// InUse of an earlier start, on another desktop): the copy stays as it is
// and the new content waits for a start with the copy to itself.
//
// A source that fails its checks leaves copy as it is.  A copy that fails
// its checks is renamed to copy + ".damaged-YYYYMMDD-HHMMSS" and replaced by
// a fresh copy of source.  Neither throws: the notice says what happened.
StartResult upgradeAtStart(const std::string& source, const std::string& copy, const std::string& password,
                           bool consumeSource, int lockSeconds = 10);

}  // namespace data::upgrade
