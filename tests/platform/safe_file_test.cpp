// The report text's writer: links at the file or the folder, a folder open
// to others, a full disk and a failed sync.
#include "safe_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeAll(const fs::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

mode_t modeOf(const fs::path& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st.st_mode & 07777;
}

struct Scratch {
    fs::path root;
    Scratch() {
        char pattern[] = "/tmp/safe-file-XXXXXX";
        root = ::mkdtemp(pattern);
    }
    ~Scratch() { fs::remove_all(root); }
    fs::path folder() const { return root / "cache" / "aoshu"; }
};

TEST(SafeFile, MakesAPrivateFolderAndFileAndReplacesTheFileWhole) {
    Scratch s;
    ASSERT_EQ(safefile::replaceFile(s.folder(), "last.txt", "first"), "");
    ASSERT_EQ(safefile::replaceFile(s.folder(), "last.txt", "second"), "");
    EXPECT_EQ(readAll(s.folder() / "last.txt"), "second");
    EXPECT_EQ(modeOf(s.folder()), 0700u);
    EXPECT_EQ(modeOf(s.folder() / "last.txt"), 0600u);
    EXPECT_EQ(std::distance(fs::directory_iterator(s.folder()), fs::directory_iterator()), 1);

    // A folder left open to others is made private again.
    fs::permissions(s.folder(), static_cast<fs::perms>(0777));
    ASSERT_EQ(safefile::replaceFile(s.folder(), "last.txt", "third"), "");
    EXPECT_EQ(modeOf(s.folder()), 0700u);
}

TEST(SafeFile, ALinkIsNeverFollowed) {
    Scratch s;
    const fs::path victim = s.root / "victim";
    writeAll(victim, "precious");
    fs::create_directories(s.folder());
    fs::create_symlink(victim, s.folder() / "last.txt");
    EXPECT_EQ(safefile::replaceFile(s.folder(), "last.txt", "report"), "");
    EXPECT_EQ(readAll(victim), "precious");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(s.folder() / "last.txt")));
    EXPECT_EQ(readAll(s.folder() / "last.txt"), "report");

    // The folder itself a link to another folder: nothing is written there.
    const fs::path elsewhere = s.root / "elsewhere";
    fs::create_directories(elsewhere);
    fs::create_directories(s.root / "cache2");
    fs::create_directory_symlink(elsewhere, s.root / "cache2" / "aoshu");
    EXPECT_NE(safefile::replaceFile(s.root / "cache2" / "aoshu", "last.txt", "report"), "");
    EXPECT_TRUE(fs::is_empty(elsewhere));
}

// Qt's own writer has reported success on a full disk, leaving an empty
// file: every write and the sync are checked here, and the old file stays.
TEST(SafeFile, AFullDiskOrAFailedSyncFailsAndKeepsTheOldFile) {
    const struct {
        const char* name;
        safefile::DiskCalls calls;
        const char* message;
    } cases[] = {
        {"full disk after 3 bytes",
         {[](int fd, const void* data, std::size_t size) -> ssize_t {
              if (::lseek(fd, 0, SEEK_CUR) >= 3) return errno = ENOSPC, -1;
              return ::write(fd, data, std::min<std::size_t>(size, 3));
          },
          [](int fd) { return ::fsync(fd); }},
         "No space left on device"},
        {"sync fails",
         {[](int fd, const void* data, std::size_t size) { return ::write(fd, data, size); },
          [](int) { return errno = EIO, -1; }},
         "Input/output error"},
    };
    for (const auto& c : cases) {
        Scratch s;
        ASSERT_EQ(safefile::replaceFile(s.folder(), "last.txt", "old report"), "");
        const std::string why = safefile::replaceFile(s.folder(), "last.txt", "a new, longer report", c.calls);
        EXPECT_NE(why.find(c.message), std::string::npos) << c.name << ": " << why;
        EXPECT_EQ(readAll(s.folder() / "last.txt"), "old report") << c.name;
        EXPECT_EQ(std::distance(fs::directory_iterator(s.folder()), fs::directory_iterator()), 1) << c.name;
    }
}

// The same on a real full disk: a small tmpfs mounted by the test (needs
// root; skipped where it cannot mount).
TEST(SafeFile, ARealFullDiskFailsAndKeepsTheOldFile) {
    Scratch s;
    fs::create_directories(s.folder());
    const std::string mount = "mount -t tmpfs -o size=64k,mode=0700 tmpfs '" + s.folder().string() + "' 2>/dev/null";
    if (std::system(mount.c_str()) != 0) GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    ASSERT_EQ(safefile::replaceFile(s.folder(), "last.txt", "old report"), "");
    const std::string why = safefile::replaceFile(s.folder(), "last.txt", std::string(200 * 1024, 'x'));
    EXPECT_NE(why.find("No space left on device"), std::string::npos) << why;
    EXPECT_EQ(readAll(s.folder() / "last.txt"), "old report");
    EXPECT_EQ(std::distance(fs::directory_iterator(s.folder()), fs::directory_iterator()), 1);
    std::system(("umount -l '" + s.folder().string() + "'").c_str());
}

}  // namespace
