// Writing a small file of our own into a folder of our own (the report text
// in the cache folder), where another user or a program of the same user
// may have left a link: nothing is followed, every write and the sync are
// checked, and the file is replaced whole or not at all.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>

namespace safefile {

// The system calls that put bytes on disk; tests replace them to fail as a
// full disk does.
struct DiskCalls {
    std::function<ssize_t(int fd, const void* data, std::size_t size)> write;
    std::function<int(int fd)> sync;
};
DiskCalls systemCalls();

// Makes folder (mode 0700, its parents as needed) or opens the existing
// one, which must be a real folder (not a link) owned by this user; a group
// or others permission on it is taken away.  Then writes bytes to
// folder/name (mode 0600) through a temporary file in the folder and
// renames it over name: a link at name is replaced, never followed.
// Returns "" on success, else why it failed (English, for the log); on
// failure name is as it was and no temporary file is left.
std::string replaceFile(const std::string& folder, const std::string& name, std::string_view bytes,
                        const DiskCalls& calls = systemCalls());

}  // namespace safefile
