#include "data_place.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace app {
namespace {

const char* const kDatabase = "kelvma.dat";

// Whether this process may write p.  Root may write anything, so for root a
// file or folder that grants nobody write permission (the package installs
// its database read-only) counts as not writable: otherwise root's homework
// record would go into the file every user's copy is made from.
bool writable(const fs::path& p) {
    struct stat st {};
    if (access(p.c_str(), W_OK) != 0 || stat(p.c_str(), &st) != 0)
        return false;
    return geteuid() != 0 || (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

std::string reason(const std::string& what, const fs::path& p, int error) {
    return what + " " + p.string() + ": " + std::strerror(error);
}

bool isAbsolute(const QByteArray& path) { return !path.isEmpty() && QDir::isAbsolutePath(QFile::decodeName(path)); }

// Closes a descriptor when it goes out of scope.
struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0)
            close(fd);
    }
};

// Copies from into the open descriptor out and flushes it to disk.
std::string copyInto(const fs::path& from, int out, const fs::path& outName) {
    Fd in{open(from.c_str(), O_RDONLY | O_CLOEXEC)};
    if (in.fd < 0)
        return reason("cannot read", from, errno);
    char buffer[1 << 16];
    for (;;) {
        ssize_t n = read(in.fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return reason("cannot read", from, errno);
        if (n == 0)
            break;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = write(out, buffer + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w < 0)
                return reason("cannot write", outName, errno);
            done += w;
        }
    }
    if (fsync(out) != 0)
        return reason("cannot write", outName, errno);
    return {};
}

// Gives temp the name target unless target exists; returns errno, 0 on success.
int renameNoReplace(const fs::path& temp, const fs::path& target) {
    if (renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without the flag: a hard link never replaces either.
    if (link(temp.c_str(), target.c_str()) != 0)
        return errno;
    unlink(temp.c_str());
    return 0;
}

}  // namespace

void ignoreRelativeXdgDirs() {
    for (const char* name : {"XDG_DATA_HOME", "XDG_CACHE_HOME"})
        if (qEnvironmentVariableIsSet(name) && !isAbsolute(qgetenv(name))) qunsetenv(name);
}

fs::path userDataFolder() {
    if (!isAbsolute(qgetenv("XDG_DATA_HOME")) && !isAbsolute(qgetenv("HOME"))) return {};
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (!QDir::isAbsolutePath(data)) return {};  // a relative XDG_DATA_HOME not set aside
    return fs::path(QFile::encodeName(data).toStdString()) / "aoshu";
}

std::string provideUserDatabase(const fs::path& installed, const fs::path& folder) {
    const fs::path dat = folder / "dat";
    const fs::path target = dat / kDatabase;
    std::error_code ec;
    if (fs::exists(target, ec))
        return {};
    fs::create_directories(dat, ec);
    if (ec)
        return reason("cannot create", dat, ec.value());

    std::string name = (dat / (std::string(kDatabase) + ".tmp-XXXXXX")).string();
    Fd out{mkostemp(name.data(), O_CLOEXEC)};
    if (out.fd < 0)
        return reason("cannot create a file in", dat, errno);
    const fs::path temp = name;
    std::string problem = copyInto(installed, out.fd, temp);
    if (problem.empty()) {
        int error = renameNoReplace(temp, target);
        if (error != 0 && error != EEXIST)  // EEXIST: another start made it first; keep that one
            problem = reason("cannot create", target, error);
    }
    unlink(temp.c_str());  // left over after an error, or a link to the file kept
    if (problem.empty()) {
        Fd folderFd{open(dat.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
        if (folderFd.fd >= 0)
            fsync(folderFd.fd);  // the new name reaches the disk too
    }
    return problem;
}

DataPlace chooseDataFolder(const fs::path& programDir) {
    const fs::path dat = programDir / "dat";
    const fs::path installed = dat / kDatabase;
    std::error_code ec;
    const bool hasDat = fs::is_directory(dat, ec);
    const bool hasFile = fs::exists(installed, ec);
    if (!hasDat || (writable(dat) && (!hasFile || writable(installed))))
        return {programDir, {}};

    const fs::path folder = userDataFolder();
    if (folder.empty())  // a folder that holds no database, so that opening it fails
        return {fs::path("/nonexistent/aoshu"), "neither XDG_DATA_HOME nor HOME names an absolute folder"};
    return {folder, provideUserDatabase(installed, folder)};
}

}  // namespace app
