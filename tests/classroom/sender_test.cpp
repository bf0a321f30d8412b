// The sender against a real server: many machines at once, a server that
// stops in the middle of the sends and comes back, a refused grading, a
// wrong password, an unknown login and no server at all.  Each machine is a
// local file with an outbox.
#include "class_fixture.h"
#include "outbox.h"
#include "pg.h"
#include "sender.h"
#include "shared_server.h"
#include "upload.h"
#include "sqlite.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <algorithm>
#include <atomic>
#include <functional>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

using namespace classroom;
using namespace classroom::testing;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// A machine's database: just the outbox, with these entries unsent.
std::string machine(const fs::path& dir, int n, const std::vector<data::outbox::Entry>& entries) {
    const std::string file = (dir / ("m" + std::to_string(n) + ".dat")).string();
    data::Database db;
    db.open(file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    data::outbox::addMissingTable(db.handle());
    data::Statement insert(db.handle(), "INSERT INTO class_outbox (id, entry, written) VALUES (?, ?, 'now')");
    for (const auto& e : entries) {
        insert.reset();
        insert.bind(1, e.id).bind(2, data::outbox::toText(e));
        insert.step();
    }
    return file;
}

// One machine per pupil of the class, each with its pupil's homeworks
// unsent, and a sender for each (batch entries per upload).
struct Machines {
    std::vector<std::string> files;
    std::vector<std::unique_ptr<Sender>> senders;
};

Sender::Options options(const std::string& file, const std::string& uri);

Machines machines(const fs::path& dir, const std::string& prefix, const std::string& cls, int pupils, int homeworks,
                  int batch) {
    Machines m;
    for (int p = 1; p <= pupils; ++p) {
        std::vector<data::outbox::Entry> entries;
        char pupil[16];
        std::snprintf(pupil, sizeof pupil, "学生%02d", p);
        for (int h = 1; h <= homeworks; ++h)
            entries.push_back(MakeEntry(PupilLogin(prefix, p), cls, pupil, h, 2461000, h % 21));
        m.files.push_back(machine(dir, p, entries));
        auto o = options(m.files.back(), SharedServer().uriFor(PupilLogin(prefix, p)));
        o.batch = batch;
        m.senders.push_back(std::make_unique<Sender>(o));
    }
    return m;
}

long long unsentIn(const std::string& file) {
    data::Database db;
    db.open(file, SQLITE_OPEN_READONLY);
    sqlite3_busy_timeout(db.handle(), 5000);
    return data::outbox::unsentCount(db.handle());
}

long long serverCount(Connection& admin, const std::string& sql, const std::string& cls) {
    return admin.exec(sql, {cls}).integer(0, 0);
}

// Runs the event loop until done() or the time is up.
bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

struct TempDir {
    fs::path path = fs::temp_directory_path() / ("aoshu-sender-" + std::to_string(::getpid()));
    TempDir() { fs::create_directories(path); }
    ~TempDir() { fs::remove_all(path); }
};

Sender::Options options(const std::string& file, const std::string& uri) {
    Sender::Options o;
    o.databaseFile = file;
    o.server = uri;
    o.poll = 100ms;
    o.firstRetry = 100ms;
    o.longestRetry = 400ms;
    return o;
}

class FakeClock : public SenderClock {
public:
    time_point now() const override { return t; }
    std::atomic<time_point> t{time_point{} + std::chrono::hours(1)};
};

}  // namespace

TEST(Sender, FortyMachinesAtOnceEachHomeworkArrivesOnce) {
    constexpr int kPupils = 40, kHomeworks = 3;
    const std::string cls = "五年级一班";
    Connection admin = MakeClass("snd", cls, kPupils);
    TempDir dir;
    auto [files, senders] = machines(dir.path, "snd", cls, kPupils, kHomeworks, 100);
    std::vector<int> shown(kPupils, -2);
    QObject ui;  // the receiver, on this thread
    for (int p = 1; p <= kPupils; ++p)
        QObject::connect(senders[p - 1].get(), &Sender::pending, &ui, [&shown, p](int n) { shown[p - 1] = n; });
    for (auto& s : senders) s->start();
    EXPECT_TRUE(waitFor([&] { return std::all_of(shown.begin(), shown.end(), [](int n) { return n == 0; }); }, 30s));
    for (const std::string& f : files) EXPECT_EQ(unsentIn(f), 0);
    EXPECT_EQ(serverCount(admin, "SELECT count(*) FROM aoshu.homeworks WHERE class = $1", cls), kPupils * kHomeworks);
    EXPECT_EQ(serverCount(admin, "SELECT count(*) FROM aoshu.answers WHERE class = $1", cls), kPupils * kHomeworks * 20);
}

TEST(Sender, AServerStoppedInTheMiddleGetsEveryHomeworkOnce) {
    constexpr int kPupils = 4, kHomeworks = 30, kTakenBefore = 10;
    const std::string cls = "五年级二班";
    Connection admin = MakeClass("stp", cls, kPupils);
    TempDir dir;
    auto [files, senders] = machines(dir.path, "stp", cls, kPupils, kHomeworks, 3);
    // The server took each machine's first homeworks before the machine
    // could mark them sent (a program ended right after the upload).
    for (int p = 1; p <= kPupils; ++p) {
        char pupil[16];
        std::snprintf(pupil, sizeof pupil, "学生%02d", p);
        std::vector<data::outbox::Entry> first;
        for (int h = 1; h <= kTakenBefore; ++h)
            first.push_back(MakeEntry(PupilLogin("stp", p), cls, pupil, h, 2461000, h % 21));
        Connection pupilLogin = ConnectAs(PupilLogin("stp", p));
        Upload(pupilLogin, first);
    }
    // Every send gets stuck in the server; then the server stops under them.
    {
        Transaction hold(admin);
        admin.exec("LOCK TABLE aoshu.homeworks IN EXCLUSIVE MODE");
        for (auto& s : senders) s->start();
        Connection watch = OpenServer(SharedServer().superuserUri());
        EXPECT_TRUE(waitFor(
            [&] {
                return watch.exec("SELECT count(*) FROM pg_stat_activity WHERE wait_event_type = 'Lock' AND "
                                  "usename LIKE 'stp%'").integer(0, 0) == kPupils;
            },
            20s));
        SharedServer().stop();
    }
    long long unsent = 0;
    for (const std::string& f : files) unsent += unsentIn(f);
    EXPECT_EQ(unsent, kPupils * kHomeworks);
    std::this_thread::sleep_for(600ms);  // the senders fail and back off meanwhile
    SharedServer().start();
    EXPECT_TRUE(waitFor(
        [&] {
            long long left = 0;
            for (const std::string& f : files) left += unsentIn(f);
            return left == 0;
        },
        60s));
    Connection again = OpenServer(SharedServer().superuserUri());
    const std::string homeworks = "SELECT count(*) FROM aoshu.homeworks WHERE class = $1";
    EXPECT_EQ(serverCount(again, homeworks, cls), kPupils * kHomeworks);
    EXPECT_EQ(serverCount(again, "SELECT count(*) FROM aoshu.answers WHERE class = $1", cls), kPupils * kHomeworks * 20);
    for (auto& s : senders) EXPECT_GE(s->attempts(), 1 + kHomeworks / 3);
}

TEST(Sender, AGradingTheServerRefusesDoesNotHoldBackTheOthers) {
    const std::string cls = "五年级四班";
    Connection admin = MakeClass("ref", cls, 2);
    TempDir dir;
    // Pupil 2's grading on pupil 1's machine comes first; the server
    // refuses it to pupil 1's login.
    std::vector<data::outbox::Entry> entries{MakeEntry(PupilLogin("ref", 2), cls, "学生02", 1, 2461000, 10)};
    for (int h = 1; h <= 4; ++h) entries.push_back(MakeEntry(PupilLogin("ref", 1), cls, "学生01", h, 2461000, 12));
    const std::string file = machine(dir.path, 1, entries);
    Sender sender(options(file, SharedServer().uriFor(PupilLogin("ref", 1))));
    sender.start();
    const std::string homeworks = "SELECT count(*) FROM aoshu.homeworks WHERE class = $1";
    EXPECT_TRUE(waitFor([&] { return serverCount(admin, homeworks, cls) == 4; }, 10s));
    EXPECT_TRUE(waitFor([&] { return unsentIn(file) == 1; }, 5s));
    EXPECT_TRUE(sender.stop(1s));
}

TEST(Sender, AWrongPasswordAnUnknownLoginOrNoServerKeepEveryEntryAndRetryByTheClock) {
    const std::string cls = "五年级三班";
    Connection admin = MakeClass("off", cls, 2);
    TempDir dir;
    const auto entry = MakeEntry(PupilLogin("off", 1), cls, "学生01", 1, 2461000, 20);
    // Pupil 1 logs in over TCP with a password; its password file holds a wrong one.
    const fs::path hba = fs::path(SharedServer().folder()) / "data" / "pg_hba.conf";
    std::string rules;
    {
        std::ifstream in(hba);
        rules.assign(std::istreambuf_iterator<char>(in), {});
    }
    {
        std::ofstream out(hba, std::ios::trunc);
        out << "host all " << PupilLogin("off", 1) << " 127.0.0.1/32 scram-sha-256\n" << rules;
    }
    admin.exec("ALTER ROLE " + QuoteIdentifier(PupilLogin("off", 1)) + " PASSWORD 'right-one'");
    admin.exec("SELECT pg_reload_conf()");
    const std::string passfile = (dir.path / "pgpass").string();
    std::ofstream(passfile) << "127.0.0.1:" << SharedServer().port() << ":postgres:" << PupilLogin("off", 1)
                            << ":wrong-one\n";
    fs::permissions(passfile, fs::perms::owner_read | fs::perms::owner_write);
    struct Case {
        const char* name;
        std::string uri;
    };
    const Case cases[] = {
        {"a login the server does not know", SharedServer().uriFor("nobody_here")},
        {"a pupil writing another pupil's homework", SharedServer().uriFor(PupilLogin("off", 2))},
        {"no server on the port", "postgresql://off@127.0.0.1:1/postgres"},
        {"a wrong password in the password file",
         SharedServer().uriFor(PupilLogin("off", 1), true) + "?passfile=" + passfile},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = machine(dir.path, ++n, {entry});
        FakeClock clock;
        auto o = options(file, c.uri);
        o.clock = &clock;
        o.firstRetry = 10s;
        o.longestRetry = 60s;
        Sender sender(o);
        int shown = -2;
        QString problem;
        QObject ui;
        QObject::connect(&sender, &Sender::pending, &ui, [&](int count) { shown = count; });
        QObject::connect(&sender, &Sender::serverState, &ui, [&](const QString& p) { problem = p; });
        sender.start();
        ASSERT_TRUE(waitFor([&] { return shown == 1 && !problem.isEmpty(); }, 10s));
        // The fake clock stands still: no new try, however often it looks.
        std::this_thread::sleep_for(400ms);
        EXPECT_EQ(sender.attempts(), 1);
        clock.t = clock.now() + 10s;
        EXPECT_TRUE(waitFor([&] { return sender.attempts() == 2; }, 5s));
        std::this_thread::sleep_for(500ms);  // the try (counted as it starts) fails meanwhile
        clock.t = clock.now() + 19s;  // the second wait is 20 s
        std::this_thread::sleep_for(400ms);
        EXPECT_EQ(sender.attempts(), 2);
        clock.t = clock.now() + 1s;
        EXPECT_TRUE(waitFor([&] { return sender.attempts() == 3; }, 5s));
        EXPECT_TRUE(sender.stop(1s));
        EXPECT_EQ(unsentIn(file), 1);
        EXPECT_EQ(shown, 1);
    }
    std::ofstream(hba, std::ios::trunc) << rules;
    admin.exec("SELECT pg_reload_conf()");
}

// A server that takes the connection and never answers: the sender is
// stuck in its call, and stopping it still takes no more than the wait given.
TEST(Sender, StoppingDoesNotWaitForAServerThatNeverAnswers) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    TempDir dir;
    const std::string file =
        machine(dir.path, 1, {MakeEntry("silent", "五年级五班", "学生01", 1, 2461000, 20)});
    auto sender = std::make_unique<Sender>(
        options(file, "postgresql://silent@127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/postgres"));
    int emitted = 0;
    QObject ui;
    QObject::connect(sender.get(), &Sender::pending, &ui, [&](int) { ++emitted; });
    sender->start();
    ASSERT_TRUE(waitFor([&] { return sender->attempts() == 1 && emitted == 0; }, 5s));
    std::this_thread::sleep_for(200ms);  // inside the connection call by now
    const auto before = std::chrono::steady_clock::now();
    EXPECT_FALSE(sender->stop(800ms));
    sender.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1500ms);
    waitFor([] { return false; }, 300ms);
    EXPECT_EQ(emitted, 0) << "a signal after the stop";
    ::close(listener);
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
