// Converting the data file in its place, so that whenever the process ends
// (a crash, a kill, a full disk) the path holds either the untouched Jet
// file or the whole converted file.
#include "jet_convert.h"

#include "datam.h"
#include "file_lock.h"
#include "jet_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <iostream>

namespace data {
namespace {

std::string systemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// A file descriptor closed on scope exit.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

std::string folderOf(const std::string& path) {
    std::string folder = std::filesystem::path(path).parent_path().string();
    return folder.empty() ? "." : folder;
}

void syncFolder(const std::string& folder) {
    Descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0 || ::fsync(fd.get()) != 0) throw DataError(systemError("cannot sync the folder " + folder));
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Makes sure a new file can be created in the folder before any work is done.
void checkWritable(const std::string& folder, const std::string& probe) {
    Descriptor fd(::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (fd.get() < 0)
        throw DataError(systemError("the folder " + folder + " cannot be written, so the Jet 4.0 file there "
                                    "cannot be converted; it is left as it was"));
    ::unlink(probe.c_str());
}

// Copies the file byte for byte to a new file target (which must not exist)
// and syncs it.  Returns false when target exists.
bool copyFile(const std::string& source, const std::string& target) {
    Descriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) throw DataError(systemError("cannot read " + source));
    Descriptor out(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (out.get() < 0) {
        if (errno == EEXIST) return false;
        throw DataError(systemError("cannot create " + target));
    }
    try {
        char buffer[1 << 16];
        for (;;) {
            ssize_t n = ::read(in.get(), buffer, sizeof buffer);
            if (n < 0) throw DataError(systemError("cannot read " + source));
            if (n == 0) break;
            for (ssize_t done = 0; done < n;) {
                ssize_t w = ::write(out.get(), buffer + done, static_cast<std::size_t>(n - done));
                if (w < 0) throw DataError(systemError("cannot write " + target));
                done += w;
            }
        }
        if (::fsync(out.get()) != 0) throw DataError(systemError("cannot sync " + target));
    } catch (...) {
        ::unlink(target.c_str());
        throw;
    }
    return true;
}

// Keeps the Jet file under path + ".jet4", or ".jet4.1", ".jet4.2", ...: a
// second name for the same file where the file system allows it, otherwise
// a copy.  An existing backup is never replaced; one that already is this
// very file (left by a conversion that was interrupted) is used again.
std::string keepBackup(const std::string& path, const struct stat& jet) {
    for (int n = 0; n < 1000; ++n) {
        std::string name = path + ".jet4" + (n ? "." + std::to_string(n) : "");
        if (::link(path.c_str(), name.c_str()) == 0) return name;
        if (errno == EEXIST) {
            struct stat existing {};
            if (::stat(name.c_str(), &existing) == 0 && sameFile(existing, jet)) return name;
            continue;
        }
        if (errno == EPERM || errno == EOPNOTSUPP || errno == EMLINK || errno == EXDEV) {
            if (copyFile(path, name)) return name;
            continue;
        }
        throw DataError(systemError("cannot keep the Jet file as " + name));
    }
    throw DataError("cannot keep the Jet file: " + path + ".jet4 to .jet4.999 all exist");
}

// Takes the conversion lock, polling: a process that holds it for longer
// than wait (a stuck or stopped program) must not stop this one for good.
void waitForLock(int fd, const std::string& path, std::chrono::milliseconds wait) {
    switch (filelock::lockWithin(fd, filelock::Kind::Exclusive, wait)) {
    case filelock::Outcome::Held:
        return;
    case filelock::Outcome::Failed:
        throw DataError(systemError("cannot lock " + path));
    case filelock::Outcome::TimedOut:
        throw DataError("另一个程序正在转换数据文件，请稍后再打开。\n" + path + " stays locked by another process "
                        "converting it (waited " + std::to_string(wait.count() / 1000) + " s)");
    }
}

std::string rowSummary(const JetConversion& conversion) {
    std::string text;
    for (const JetTableRows& t : conversion.tables)
        text += (text.empty() ? "" : ", ") + t.table + " " + std::to_string(t.rows);
    return text;
}

}  // namespace

bool convertDataFileInPlace(const std::string& path, const std::string& password,
                            std::chrono::milliseconds lockWait) {
    DetectedFormat detected = detectFileFormat(path);
    if (detected.format == FileFormat::SQLite) return false;
    if (detected.format != FileFormat::Jet4)
        throw DataError(path + " is " + detected.description +
                        "; the program opens its own database files and converts Jet 4.0 ones");
    checkJetPassword(path, password);

    // One conversion at a time: a second process waits here, then finds the
    // converted file.
    Descriptor jet(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (jet.get() < 0) throw DataError(systemError("cannot read " + path));
    waitForLock(jet.get(), path, lockWait);
    struct stat locked {}, current {};
    if (::fstat(jet.get(), &locked) != 0) throw DataError(systemError("cannot read " + path));
    if (::stat(path.c_str(), &current) != 0 || !sameFile(locked, current))
        return convertDataFileInPlace(path, password, lockWait);

    const std::string folder = folderOf(path);
    const std::string temporary = path + ".converting";
    // What an interrupted conversion left behind is of no use.
    if (::unlink(temporary.c_str()) != 0 && errno != ENOENT)
        throw DataError(systemError("the folder " + folder + " cannot be written, so the Jet 4.0 file there "
                                    "cannot be converted; it is left as it was (" + temporary + ")"));
    checkWritable(folder, temporary);

    std::cerr << path << ": a Jet 4.0 file; converting it into the program's database\n";
    JetConversion conversion = convertJetFile(path, temporary, password);
    try {
        ::chmod(temporary.c_str(), locked.st_mode & 0777);
        const std::string backup = keepBackup(path, locked);
        syncFolder(folder);
        if (::rename(temporary.c_str(), path.c_str()) != 0) throw DataError(systemError("cannot replace " + path));
        // The new file is in place now; a failure to sync the folder must not
        // report the conversion as failed.
        try {
            syncFolder(folder);
        } catch (const DataError& e) {
            std::cerr << e.what() << "\n";
        }
        std::cerr << path << ": converted (rows: " << rowSummary(conversion) << "); the Jet file is kept as "
                  << backup << "\n";
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
    return true;
}

}  // namespace data
