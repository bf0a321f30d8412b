// The whole-file lock with a timeout that the database's conversion and
// merge take.
#include "file_lock.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

TEST(FileLock, WaitsForAnotherHolderOnlyAsLongAsItMay) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("locked").toStdString();
    std::ofstream(path) << "x";
    // Each open is a holder of its own, as another process would be.
    const int holder = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const int other = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    using filelock::Kind;
    using filelock::Outcome;
    const struct {
        Kind held, wanted;
        Outcome outcome;
    } cases[] = {
        {Kind::Shared, Kind::Shared, Outcome::Held},
        {Kind::Shared, Kind::Exclusive, Outcome::TimedOut},
        {Kind::Exclusive, Kind::Shared, Outcome::TimedOut},
        {Kind::Exclusive, Kind::Exclusive, Outcome::TimedOut},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(filelock::lockWithin(holder, c.held, std::chrono::milliseconds(0)), Outcome::Held);
        const auto began = std::chrono::steady_clock::now();
        EXPECT_EQ(filelock::lockWithin(other, c.wanted, std::chrono::milliseconds(120)), c.outcome);
        const auto waited = std::chrono::steady_clock::now() - began;
        if (c.outcome == Outcome::TimedOut) EXPECT_GE(waited, std::chrono::milliseconds(120));
        ::flock(holder, LOCK_UN);
        ::flock(other, LOCK_UN);
    }
    // Let go meanwhile: taken while waiting.
    ASSERT_EQ(filelock::lockWithin(holder, Kind::Exclusive, std::chrono::milliseconds(0)), Outcome::Held);
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ::flock(holder, LOCK_UN);
    });
    EXPECT_EQ(filelock::lockWithin(other, Kind::Exclusive, std::chrono::seconds(5)), Outcome::Held);
    release.join();
    EXPECT_EQ(filelock::lockWithin(-1, Kind::Shared, std::chrono::seconds(5)), Outcome::Failed);
    ::close(holder);
    ::close(other);
}
