#include "safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace safefile {
namespace {

std::string failed(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// A descriptor closed on scope exit.
struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

// The folder, opened without following a link and checked: ours, 0700.
std::string openFolder(const std::string& folder, Fd& out) {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(folder).parent_path(), ignored);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return failed("cannot make " + folder);
    out.fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (out.fd < 0) return failed("cannot open the folder " + folder + " (a link is not followed)");
    struct stat st {};
    if (::fstat(out.fd, &st) != 0) return failed("cannot read " + folder);
    if (st.st_uid != ::geteuid()) return folder + " belongs to another user";
    if ((st.st_mode & 077) != 0 && ::fchmod(out.fd, 0700) != 0) return failed("cannot make " + folder + " private");
    return "";
}

std::string writeAll(int fd, std::string_view bytes, const DiskCalls& calls) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = calls.write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return failed("cannot write");
        done += static_cast<std::size_t>(n);
    }
    if (calls.sync(fd) != 0) return failed("cannot sync");
    return "";
}

}  // namespace

DiskCalls systemCalls() {
    return {[](int fd, const void* data, std::size_t size) { return ::write(fd, data, size); },
            [](int fd) { return ::fsync(fd); }};
}

std::string replaceFile(const std::string& folder, const std::string& name, std::string_view bytes,
                        const DiskCalls& calls) {
    Fd dir(-1);
    if (std::string why = openFolder(folder, dir); !why.empty()) return why;
    const std::string temporary = "." + name + "." + std::to_string(::getpid()) + ".new";
    ::unlinkat(dir.fd, temporary.c_str(), 0);
    std::string why;
    {
        Fd file(::openat(dir.fd, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (file.fd < 0) return failed("cannot create " + folder + "/" + temporary);
        why = writeAll(file.fd, bytes, calls);
        const int fd = file.fd;
        file.fd = -1;
        if (::close(fd) != 0 && why.empty()) why = failed("cannot close");
    }
    if (why.empty() && ::renameat(dir.fd, temporary.c_str(), dir.fd, name.c_str()) != 0)
        why = failed("cannot rename");
    if (why.empty()) return "";
    ::unlinkat(dir.fd, temporary.c_str(), 0);
    return why + " (" + folder + "/" + name + ")";
}

}  // namespace safefile
