// The conversion at start-up in a process of its own (jet_open_probe):
// killed at random moments, on a full disk, in a folder it cannot write.
#include "jet_fixtures.h"
#include "test_db.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A program folder whose dat/kelvma.dat starts as a copy of a file.
struct ProgramFolder {
    testdb::TempDir dir;
    explicit ProgramFolder(const std::string& source) {
        fs::create_directories(dat());
        fs::copy_file(source, file());
    }
    std::string dat() const { return dir.path() + "/dat"; }
    std::string file() const { return dat() + "/kelvma.dat"; }
    std::set<std::string> names() const {
        std::set<std::string> found;
        for (const auto& entry : fs::directory_iterator(dat())) found.insert(entry.path().filename().string());
        return found;
    }
};

// The probe opening a program folder; stdout comes through a pipe, stderr
// goes to a file beside dat/.
class Probe {
public:
    explicit Probe(const ProgramFolder& folder, std::vector<std::string> options = {})
        : errors_(folder.dir.path() + "/probe-errors.txt") {
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0) throw std::runtime_error("pipe failed");
        std::vector<std::string> args = {JET_OPEN_PROBE, folder.dir.path()};
        args.insert(args.end(), options.begin(), options.end());
        pid_ = fork();
        if (pid_ == 0) {
            dup2(pipeEnds[1], 1);
            int err = open(errors_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(err, 2);
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(pipeEnds[1]);
        out_ = pipeEnds[0];
    }
    ~Probe() {
        if (pid_ > 0 && status_ < 0) {
            ::kill(pid_, SIGKILL);
            wait();
        }
        close(out_);
    }

    // Reads stdout up to the line, or to the end.
    bool waitFor(const std::string& line) {
        std::string current;
        char c;
        while (read(out_, &c, 1) == 1) {
            output_ += c;
            if (c != '\n') {
                current += c;
            } else if (current == line) {
                return true;
            } else {
                current.clear();
            }
        }
        return false;
    }
    void kill() { ::kill(pid_, SIGKILL); }
    // The wait status of the ended process.
    int wait() {
        waitFor("");
        waitpid(pid_, &status_, 0);
        return status_;
    }
    bool succeeded() const { return WIFEXITED(status_) && WEXITSTATUS(status_) == 0; }
    const std::string& output() const { return output_; }
    std::string errors() const { return testdb::readFile(errors_); }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int status_ = -1;
    std::string errors_;
    std::string output_;
};

const char* const kFull = "kelvma-full.mdb";

TEST(JetKill, AKilledConversionLeavesTheJetFileOrTheWholeNewOne) {
    SKIP_WITHOUT_JET_FIXTURES();
    const std::string jet = testdb::readFile(jetfixtures::path(kFull));

    // How long the open takes with a conversion, to spread the kills over it.
    ProgramFolder timing(jetfixtures::path(kFull));
    Probe first(timing);
    ASSERT_TRUE(first.waitFor("opening"));
    const auto start = std::chrono::steady_clock::now();
    first.wait();
    const auto took =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    ASSERT_TRUE(first.succeeded()) << first.errors();
    ASSERT_NE(first.output().find("opened 266"), std::string::npos);

    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    std::uniform_int_distribution<long long> delay(0, took.count() * 11 / 10);
    const int kills = 24;
    int untouched = 0, converted = 0, finishedFirst = 0;
    for (int i = 0; i < kills; ++i) {
        SCOPED_TRACE("kill " + std::to_string(i) + ", seed " + std::to_string(seed));
        ProgramFolder folder(jetfixtures::path(kFull));
        {
            Probe probe(folder);
            ASSERT_TRUE(probe.waitFor("opening"));
            std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
            probe.kill();
            probe.wait();
            if (probe.succeeded()) ++finishedFirst;
        }
        const std::string now = testdb::readFile(folder.file());
        if (now == jet) {
            ++untouched;
        } else {
            ++converted;
            EXPECT_EQ(testdb::scalar(folder.file(), "PRAGMA integrity_check"), "ok");
            EXPECT_EQ(testdb::scalar(folder.file(), "SELECT count(*) FROM b1"), "266");
            EXPECT_EQ(testdb::scalar(folder.file(), "SELECT count(*) FROM b6"), "96");
            EXPECT_EQ(testdb::readFile(folder.file() + ".jet4"), jet);
        }

        // The next start opens the database, converted, with the Jet file kept.
        Probe next(folder);
        next.wait();
        EXPECT_TRUE(next.succeeded()) << next.errors();
        EXPECT_NE(next.output().find("opened 266"), std::string::npos);
        EXPECT_EQ(folder.names(), (std::set<std::string>{"kelvma.dat", "kelvma.dat.jet4"}));
        EXPECT_EQ(testdb::readFile(folder.file() + ".jet4"), jet);
    }
    std::cout << "conversion " << took.count() / 1000 << " ms; " << kills << " kills: Jet file untouched "
              << untouched << ", converted file " << converted << " (of which finished before the kill "
              << finishedFirst << ")\n";
}

TEST(JetStartUp, AFullDiskLeavesTheJetFile) {
    SKIP_WITHOUT_JET_FIXTURES();
    ProgramFolder folder(jetfixtures::path(kFull));
    const std::string jet = testdb::readFile(folder.file());
    {
        // The new file may not grow beyond a megabyte.
        Probe probe(folder, {"--file-limit=1000000"});
        probe.wait();
        EXPECT_FALSE(probe.succeeded());
        EXPECT_NE(probe.errors().find("cannot write"), std::string::npos) << probe.errors();
    }
    EXPECT_EQ(testdb::readFile(folder.file()), jet);
    EXPECT_EQ(folder.names(), std::set<std::string>{"kelvma.dat"});

    Probe again(folder);
    again.wait();
    EXPECT_TRUE(again.succeeded()) << again.errors();
}

TEST(JetStartUp, AFolderThatCannotBeWrittenIsNamedAndTheJetFileStays) {
    SKIP_WITHOUT_JET_FIXTURES();
    ProgramFolder folder(jetfixtures::path("small.mdb"));
    const std::string jet = testdb::readFile(folder.file());
    fs::permissions(folder.dir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                           fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(folder.file(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                       fs::perms::others_read);
    fs::permissions(folder.dat(), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                      fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    // root may write anywhere: the probe then runs as nobody.
    std::vector<std::string> options;
    if (geteuid() == 0) options.push_back("--as-nobody");
    {
        Probe probe(folder, options);
        probe.wait();
        EXPECT_FALSE(probe.succeeded());
        EXPECT_NE(probe.errors().find("the folder " + folder.dat() + " cannot be written"), std::string::npos)
            << probe.errors();
    }
    fs::permissions(folder.dat(), fs::perms::owner_all);
    EXPECT_EQ(testdb::readFile(folder.file()), jet);
    EXPECT_EQ(folder.names(), std::set<std::string>{"kelvma.dat"});
}

}  // namespace
