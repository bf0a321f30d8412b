// Where the database lives: beside the program when its dat/ folder is
// writable, else a per-user copy of the installed file.  The choice runs in
// a child process as an ordinary user (root may write anywhere, so a child
// of a root test run gives up root for "nobody"); the checks look at the
// files afterwards.
#include "data_place.h"
#include "data_upgrade.h"
#include "form_fixture.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const uid_t kNobody = 65534;

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeAll(const fs::path& p, const std::string& bytes) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
}

// The parts of the environment that name the user's data folder.
struct UserDirs {
    std::string xdgDataHome;  // unset when empty
    std::string home;         // unset when empty
};

// chooseDataFolder in this process with the given environment, put back
// afterwards.
app::DataPlace chooseIn(const fs::path& programDir, const UserDirs& dirs) {
    const std::pair<const char*, std::string> wanted[] = {{"XDG_DATA_HOME", dirs.xdgDataHome}, {"HOME", dirs.home}};
    std::vector<std::pair<const char*, QByteArray>> before;
    for (const auto& [name, value] : wanted) {
        before.emplace_back(name, qEnvironmentVariableIsSet(name) ? qgetenv(name) : QByteArray());
        value.empty() ? qunsetenv(name) : qputenv(name, QByteArray::fromStdString(value));
    }
    app::ignoreRelativeXdgDirs();
    app::DataPlace place = app::chooseDataFolder(programDir);
    for (const auto& [name, value] : before) value.isNull() ? qunsetenv(name) : qputenv(name, value);
    return place;
}

// chooseDataFolder in a child process that runs as an ordinary user, in the
// given environment, as the program's start prepares it.
app::DataPlace chooseAsUser(const fs::path& programDir, const UserDirs& dirs) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        throw std::runtime_error("pipe");
    pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0))
            _exit(3);
        app::DataPlace place = chooseIn(programDir, dirs);
        std::string out = place.folder.string() + '\n' + place.problem;
        _exit(write(pipeFds[1], out.data(), out.size()) == static_cast<ssize_t>(out.size()) ? 0 : 4);
    }
    close(pipeFds[1]);
    std::string out;
    char buffer[4096];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        out.append(buffer, static_cast<size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("the child choosing the data folder failed");
    const auto newline = out.find('\n');
    return {fs::path(out.substr(0, newline)), out.substr(newline + 1)};
}

// A program folder with dat/kelvma.dat and an empty home folder, in a
// temporary folder that an ordinary user may enter.
class DataPlaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        root = tmp.path().toStdString();
        fs::permissions(root, fs::perms(0755));
        program = root / "program";
        home = root / "home";
        writeAll(program / "dat" / "kelvma.dat", kInstalled);
        fs::create_directories(home);
        fs::permissions(home, fs::perms(0777));  // the ordinary user's own
        makeProgramFolder(false);
    }
    void TearDown() override { makeProgramFolder(true); }

    // An installed program: nobody but its owner (root) may write there;
    // run as an ordinary user, not even that.
    void makeProgramFolder(bool writableForAll) {
        std::error_code ignored;  // gone in some tests
        fs::permissions(program / "dat", fs::perms(writableForAll ? 0777 : 0555), ignored);
        fs::permissions(program / "dat" / "kelvma.dat", fs::perms(writableForAll ? 0666 : 0444), ignored);
    }

    UserDirs dirs() const { return {"", home.string()}; }
    fs::path defaultUserFolder() const { return home / ".local" / "share" / "aoshu"; }

    const std::string kInstalled = "installed database bytes";
    QTemporaryDir tmp;
    fs::path root, program, home;
};

TEST_F(DataPlaceTest, WritableProgramFolderKeepsTheDatabaseBesideTheProgram) {
    makeProgramFolder(true);
    app::DataPlace place = chooseAsUser(program, dirs());
    EXPECT_EQ(place.folder, program);
    EXPECT_EQ(place.problem, "");
    EXPECT_FALSE(fs::exists(home / ".local"));
}

// Run in this process, as root when the tests run as root: a database that
// grants nobody write permission is the installed one, never written to.
TEST_F(DataPlaceTest, ReadOnlyDatabaseIsNotWrittenEvenByRoot) {
    makeProgramFolder(true);
    fs::permissions(program / "dat" / "kelvma.dat", fs::perms(0444));
    app::DataPlace place = chooseIn(program, dirs());
    EXPECT_EQ(place.folder, defaultUserFolder());
    EXPECT_EQ(readAll(place.folder / "dat" / "kelvma.dat"), kInstalled);
}

TEST_F(DataPlaceTest, ProgramFolderWithoutDatKeepsTheProgramFolder) {
    makeProgramFolder(true);
    fs::remove_all(program / "dat");
    EXPECT_EQ(chooseAsUser(program, dirs()).folder, program);
    EXPECT_FALSE(fs::exists(home / ".local"));
}

struct UserFolderCase {
    const char* what;
    std::string xdgDataHome;  // "@" stands for the test's root folder
    std::string expected;     // relative to the root folder
};

void PrintTo(const UserFolderCase& c, std::ostream* os) { *os << c.what; }

class UserFolder : public DataPlaceTest, public ::testing::WithParamInterface<UserFolderCase> {};

TEST_P(UserFolder, FirstStartCopiesTheInstalledDatabaseThere) {
    const UserFolderCase& c = GetParam();
    std::string xdg = c.xdgDataHome;
    if (xdg.starts_with("@")) {
        xdg = root.string() + xdg.substr(1);
        fs::create_directories(xdg);
        fs::permissions(xdg, fs::perms(0777));
    }
    app::DataPlace place = chooseAsUser(program, {xdg, home.string()});
    EXPECT_EQ(place.problem, "");
    EXPECT_EQ(place.folder, root / c.expected);
    EXPECT_EQ(readAll(place.folder / "dat" / "kelvma.dat"), kInstalled);
    // Only the database: no temporary file is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(place.folder / "dat"), fs::directory_iterator()), 1);
}

INSTANTIATE_TEST_SUITE_P(
    DataPlace, UserFolder,
    ::testing::Values(UserFolderCase{"XdgUnsetUsesLocalShare", "", "home/.local/share/aoshu"},
                      UserFolderCase{"XdgAbsolute", "@/xdg", "xdg/aoshu"},
                      UserFolderCase{"XdgRelativeIsIgnored", "relative/data", "home/.local/share/aoshu"}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(DataPlaceTest, LaterStartsAndUpdatesKeepTheUsersOwnFile) {
    ASSERT_EQ(chooseAsUser(program, dirs()).problem, "");
    const fs::path mine = defaultUserFolder() / "dat" / "kelvma.dat";
    writeAll(mine, "my homework record");
    // An update installs a different database.
    makeProgramFolder(true);
    writeAll(program / "dat" / "kelvma.dat", "updated database");
    makeProgramFolder(false);

    app::DataPlace place = chooseAsUser(program, dirs());
    EXPECT_EQ(place.folder, defaultUserFolder());
    EXPECT_EQ(readAll(mine), "my homework record");
    EXPECT_EQ(readAll(program / "dat" / "kelvma.dat"), "updated database");
}

TEST_F(DataPlaceTest, TwoUsersEachGetTheirOwnCopy) {
    const fs::path otherHome = root / "other";
    fs::create_directories(otherHome);
    fs::permissions(otherHome, fs::perms(0777));
    app::DataPlace first = chooseAsUser(program, dirs());
    writeAll(first.folder / "dat" / "kelvma.dat", "first user's record");
    app::DataPlace second = chooseAsUser(program, {"", otherHome.string()});
    EXPECT_EQ(second.folder, otherHome / ".local" / "share" / "aoshu");
    EXPECT_EQ(readAll(second.folder / "dat" / "kelvma.dat"), kInstalled);
}

TEST_F(DataPlaceTest, CopyThatCannotBeMadeIsReportedAndLeavesNothing) {
    // The data folder's place is taken by a file.
    writeAll(home / ".local" / "share", "not a folder");
    fs::permissions(home / ".local", fs::perms(0777));
    app::DataPlace place = chooseAsUser(program, dirs());
    EXPECT_EQ(place.folder, defaultUserFolder());
    EXPECT_NE(place.problem.find("cannot create"), std::string::npos) << place.problem;

    place = chooseAsUser(program, {"", ""});
    EXPECT_NE(place.problem.find("XDG_DATA_HOME nor HOME"), std::string::npos) << place.problem;
    EXPECT_FALSE(fs::exists(place.folder));
}

TEST_F(DataPlaceTest, UnreadableInstalledDatabaseIsReported) {
    fs::permissions(program / "dat" / "kelvma.dat", fs::perms(0));
    app::DataPlace place = chooseAsUser(program, dirs());
    EXPECT_NE(place.problem.find("cannot read"), std::string::npos) << place.problem;
    EXPECT_FALSE(fs::exists(defaultUserFolder() / "dat" / "kelvma.dat"));
    EXPECT_EQ(std::distance(fs::directory_iterator(defaultUserFolder() / "dat"), fs::directory_iterator()), 0);
}

// The window on the chosen folder: a damaged per-user database gives the
// database error box at start-up and stays as it was.
class DamagedUserDatabase : public ProgramTest {};

// The start-up sets a damaged copy aside, says where it is, and starts on a
// fresh copy of the installed database.
TEST_F(DamagedUserDatabase, IsSetAsideAndTheProgramStartsOnAFreshCopy) {
    QTemporaryDir tmp;
    const fs::path root = tmp.path().toStdString();
    fs::permissions(root, fs::perms(0755));
    const fs::path program = root / "program", home = root / "home";
    fs::create_directories(program / "dat");
    fs::copy_file(SEED_DATABASE, program / "dat" / "kelvma.dat");
    fs::permissions(program / "dat", fs::perms(0555));
    // The user's copy, cut to a third of its length.
    const fs::path mine = home / ".local" / "share" / "aoshu" / "dat" / "kelvma.dat";
    const std::string damaged = readAll(SEED_DATABASE).substr(0, fs::file_size(SEED_DATABASE) / 3);
    writeAll(mine, damaged);
    fs::permissions(home, fs::perms(0777));

    app::DataPlace place = chooseAsUser(program, {"", home.string()});
    fs::permissions(program / "dat", fs::perms(0755));  // chosen; let the folder be removed later
    ASSERT_EQ(place.folder, home / ".local" / "share" / "aoshu");
    const std::string notice = app::upgradeDatabase(program, place.folder);
    fs::path aside;
    for (const auto& entry : fs::directory_iterator(mine.parent_path()))
        if (entry.path().filename().string().starts_with("kelvma.dat.damaged-")) aside = entry.path();
    ASSERT_FALSE(aside.empty());
    EXPECT_TRUE(readAll(aside) == damaged);
    EXPECT_NE(notice.find(aside.string()), std::string::npos) << notice;
    EXPECT_TRUE(readAll(mine) == readAll(SEED_DATABASE));
    create();
    datam->programDir = place.folder.string();
    form->show();
    tick(2);
    EXPECT_TRUE(messageBoxes.empty());
}

}  // namespace
