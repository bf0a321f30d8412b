#include "upgrade_start.h"

#include "datam.h"
#include "file_lock.h"
#include "jet_file.h"
#include "upgrade.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>

namespace fs = std::filesystem;

namespace data::upgrade {
namespace {

// An exclusive flock on the copy itself, taken with a timeout.  SQLite's
// own locks are fcntl locks, which flock does not touch.  A program that
// waited on a copy the merge has since replaced finds the new one by name.
class MergeLock {
public:
    MergeLock(const std::string& path, int seconds) {
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) return;
        held_ = filelock::lockWithin(fd_, filelock::Kind::Exclusive, std::chrono::seconds(seconds)) ==
                filelock::Outcome::Held;
    }
    ~MergeLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    MergeLock(const MergeLock&) = delete;
    MergeLock& operator=(const MergeLock&) = delete;
    bool held() const { return held_; }

private:
    int fd_ = -1;
    bool held_ = false;
};

std::string stamp() {
    char text[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

// Renames copy (and its log) aside and puts a fresh copy of source in its place.
StartResult setAside(const std::string& source, const std::string& copy, const std::string& why) {
    const std::string aside = copy + ".damaged-" + stamp();
    std::error_code ec;
    fs::rename(copy, aside, ec);
    if (ec)
        return {false, "你的作业记录文件已损坏，也无法移开：" + copy, why + "; cannot rename it: " + ec.message()};
    for (const char* log : {"-wal", "-shm"})
        if (fs::exists(copy + log)) fs::rename(copy + log, aside + log, ec);
    // Under another name first, so that a kill leaves no half copy in its place.
    const std::string fresh = copy + ".fresh";
    fs::remove(fresh, ec);
    fs::copy_file(source, fresh, ec);
    if (!ec) fs::permissions(fresh, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add, ec);
    if (!ec) fs::rename(fresh, copy, ec);
    return {false, "你的作业记录文件已损坏，已另存为 " + aside + "，程序换上了一份新的题库。",
            why + "; kept as " + aside + (ec ? "; a fresh copy could not be made: " + ec.message() : "")};
}

// The start after a merge succeeded when the merged copy passes its checks:
// the backup of the copy before it is of no more use.
void checkCopy(const std::string& copy, const std::string& password) {
    checkDatabase(copy, password, false);
    ::unlink((copy + ".old").c_str());
}

bool isJet(const std::string& path) {
    try {
        return detectFileFormat(path).format == FileFormat::Jet4;
    } catch (const std::exception&) {
        return false;
    }
}

// A shared lock on the copy, taken once a merge (an exclusive lock, held
// for a moment) is done.  Not on a Jet 4.0 file: its conversion, about to
// run, locks it for itself and puts a new file in its place.
InUse holdInUse(const std::string& copy) {
    if (isJet(copy)) return {};
    const int fd = ::open(copy.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    if (filelock::lockWithin(fd, filelock::Kind::Shared, std::chrono::seconds(10)) != filelock::Outcome::Held) {
        ::close(fd);
        return {};
    }
    return InUse(fd);
}

bool sameVersions(const std::string& source, const std::string& copy) {
    try {
        return detectFileFormat(copy).format != FileFormat::Jet4 && readVersion(copy) == readVersion(source);
    } catch (const std::exception&) {
        return false;  // the checks under the lock say what is wrong
    }
}

StartResult upgradeLocked(const std::string& source, const std::string& copy, const std::string& password,
                          bool consumeSource, int lockSeconds);

}  // namespace

InUse::~InUse() {
    if (fd_ >= 0) ::close(fd_);
}

InUse& InUse::operator=(InUse&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

StartResult upgradeAtStart(const std::string& source, const std::string& copy, const std::string& password,
                           bool consumeSource, int lockSeconds) {
    StartResult result = upgradeLocked(source, copy, password, consumeSource, lockSeconds);
    result.inUse = holdInUse(copy);
    return result;
}

namespace {

StartResult upgradeLocked(const std::string& source, const std::string& copy, const std::string& password,
                          bool consumeSource, int lockSeconds) {
    std::error_code ec;
    if (!fs::exists(copy, ec)) return {};
    if (!fs::exists(source, ec)) {
        if (fs::exists(copy + ".old", ec)) {
            try {
                checkCopy(copy, password);
            } catch (const std::exception&) {
                // The connection reports the copy; the backup stays.
            }
        }
        return {};
    }
    // A Jet 4.0 file carries no content version: the copy made from it (and
    // converted) is all there is to have of it.
    if (isJet(source)) return {};
    // With nothing to merge, a program using the copy elsewhere need not
    // be waited for.
    MergeLock lock(copy, sameVersions(source, copy) ? 0 : lockSeconds);
    if (!lock.held())
        return {false, "", copy + ": another program is using or updating it; this one goes on with it as it is"};
    ContentVersion installed;
    try {
        installed = readVersion(source);  // the whole check comes with a merge
    } catch (const std::exception& e) {
        return {false, "安装的题库文件已损坏，程序继续使用你原来的数据。请重新安装。", e.what()};
    }
    try {
        // A Jet 4.0 file has no versions: it is converted and merged.
        if (detectFileFormat(copy).format != FileFormat::Jet4 && readVersion(copy) == installed) {
            // A copy of the user's is checked on every start; the file beside the
            // program only after a merge (the connection checks it anyway).
            if (!consumeSource || fs::exists(copy + ".old")) checkCopy(copy, password);
            if (consumeSource) ::unlink(source.c_str());
            return {};
        }
    } catch (const std::exception& e) {
        return setAside(source, copy, e.what());
    }
    try {
        const auto t0 = std::chrono::steady_clock::now();
        const MergeCounts n = mergeRecord(source, copy, copy, password);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        if (consumeSource) ::unlink(source.c_str());
        char detail[256];
        std::snprintf(detail, sizeof detail,
                      "merged the new content into %s in %.0f ms (%lld questions, %lld kept for the last report, "
                      "%lld gradings, %lld answers); the old copy is kept as %s.old",
                      copy.c_str(), ms, n.questions, n.keptQuestions, n.gradings, n.answers, copy.c_str());
        return {true, "", detail};
    } catch (const InstalledDamaged& e) {
        return {false, "安装的题库文件已损坏，程序继续使用你原来的数据。请重新安装。", e.what()};
    } catch (const CopyDamaged& e) {
        return setAside(source, copy, e.what());
    } catch (const std::exception& e) {
        return {false, "题库更新没有成功，程序继续使用你原来的数据。", e.what()};
    }
}

}  // namespace

}  // namespace data::upgrade
