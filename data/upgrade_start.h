// The start-up step that keeps a database copy up to date with the one it
// was made from: the user's own copy of the installed database, or the
// database beside the program when a dat/kelvma.dat.new was put there.
#pragma once

#include <string>

namespace data::upgrade {

struct StartResult {
    bool merged = false;
    std::string notice;  // a sentence for the pupil (UTF-8), empty when there is nothing to say
    std::string detail;  // what happened, for standard error; empty when nothing did
};

// Under a lock on copy (another program of the same user waits
// for it, up to lockSeconds, and then finds the merge done): when the
// versions of source and copy differ, merges the record of copy into a copy
// of source (mergeRecord).  Otherwise a backup copy + ".old" left by an
// earlier merge is removed once the copy passes its checks.  With
// consumeSource, source is removed once its content is in copy.
//
// A source that fails its checks leaves copy as it is.  A copy that fails
// its checks is renamed to copy + ".damaged-YYYYMMDD-HHMMSS" and replaced by
// a fresh copy of source.  Neither throws: the notice says what happened.
StartResult upgradeAtStart(const std::string& source, const std::string& copy, const std::string& password,
                           bool consumeSource, int lockSeconds = 30);

}  // namespace data::upgrade
