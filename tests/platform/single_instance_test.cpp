#include "single_instance.h"
#include "wayland.h"
#include "x_server.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

const std::string kTitle = "欢迎使用奥数! 请登录...";

// Sets an environment variable for the life of the object.
class EnvVar {
public:
    EnvVar(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~EnvVar() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

struct WindowSpec {
    const char* windowClass;        // nullptr: no WM_CLASS
    const char* netWmName;          // nullptr: no _NET_WM_NAME
    const char* wmName;             // nullptr: no WM_NAME
    bool wmNameUtf8 = false;        // WM_NAME typed UTF8_STRING instead of STRING
};

Window createWindow(Display* d, Window parent, const WindowSpec& spec)
{
    const Window w = XCreateSimpleWindow(d, parent, 10, 10, 100, 100, 0, 0, 0);
    if (spec.windowClass) {
        XClassHint hint{const_cast<char*>("aoshu"), const_cast<char*>(spec.windowClass)};
        XSetClassHint(d, w, &hint);
    }
    const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    auto setText = [&](Atom property, Atom type, const char* text) {
        XChangeProperty(d, w, property, type, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(text),
                        static_cast<int>(std::string(text).size()));
    };
    if (spec.netWmName)
        setText(XInternAtom(d, "_NET_WM_NAME", False), utf8, spec.netWmName);
    if (spec.wmName)
        setText(XA_WM_NAME, spec.wmNameUtf8 ? utf8 : XA_STRING, spec.wmName);
    XMapWindow(d, w);
    return w;
}

// One Xvfb for all lookups, with windows arranged the way a desktop may
// hold them: top level, inside a window manager's frame, one level deeper.
class X11Lookup : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        server_ = std::make_unique<XServer>();
        display_ = XOpenDisplay(server_->display().c_str());
        ASSERT_NE(display_, nullptr);
        const Window root = DefaultRootWindow(display_);
        createWindow(display_, root, {"TmainForm", kTitle.c_str(), "other name"});
        const Window frame = createWindow(display_, root, {nullptr, nullptr, nullptr});
        createWindow(display_, frame, {"Reparented", "Framed window", nullptr});
        const Window outer = createWindow(display_, root, {nullptr, nullptr, nullptr});
        const Window decoration = createWindow(display_, outer, {nullptr, nullptr, nullptr});
        createWindow(display_, decoration, {"Deep", "Deep window", nullptr});
        createWindow(display_, root, {"LegacyApp", nullptr, "Caf\xE9 title"});  // Latin-1
        createWindow(display_, root, {"Utf8WmName", nullptr, "窗口标题", true});
        createWindow(display_, root, {"NoTitle", nullptr, nullptr});
        XSync(display_, False);
    }

    static void TearDownTestSuite()
    {
        if (display_)
            XCloseDisplay(display_);
        display_ = nullptr;
        server_.reset();
    }

    void SetUp() override { display_env_.emplace("DISPLAY", server_->display().c_str()); }
    void TearDown() override { display_env_.reset(); }

    static std::unique_ptr<XServer> server_;
    static Display* display_;
    std::optional<EnvVar> display_env_;
};

std::unique_ptr<XServer> X11Lookup::server_;
Display* X11Lookup::display_ = nullptr;

struct LookupCase {
    const char* windowClass;
    std::string title;
    bool found;
};

TEST_F(X11Lookup, MatchesClassWithoutCaseAndTitleExactly)
{
    const LookupCase cases[] = {
        {"Tmainform", kTitle, true},
        {"TMAINFORM", kTitle, true},
        {"TmainForm", kTitle, true},
        {"aoshu", kTitle, false},  // the instance name is not the class
        {"TmainFor", kTitle, false},
        {"TmainForm2", kTitle, false},
        {"TmainForm", kTitle + " ", false},
        {"TmainForm", "欢迎使用奥数! 请登录..", false},
        {"TmainForm", "other name", false},  // _NET_WM_NAME wins over WM_NAME
        {"TmainForm", "", false},
        {"Reparented", "Framed window", true},
        {"Deep", "Deep window", true},
        {"LegacyApp", "Café title", true},
        {"Utf8WmName", "窗口标题", true},
        {"NoTitle", "x", false},
        {"Absent", kTitle, false},
    };
    for (const LookupCase& c : cases)
        EXPECT_EQ(instance::x11WindowExists(c.windowClass, c.title), c.found)
            << c.windowClass << " / " << c.title;
}

TEST_F(X11Lookup, AnotherInstanceUsesTheWindowWhenXIsThere)
{
    EXPECT_TRUE(instance::anotherInstanceRunning("Tmainform", kTitle));
    EXPECT_FALSE(instance::anotherInstanceRunning("Absent", kTitle));
    // No lock was taken instead of the lookup: a second answer is the same.
    EXPECT_FALSE(instance::anotherInstanceRunning("Absent", kTitle));
}

// The window a lookup by class finds: the first of the root's tree.
Window windowOfClass(Display* d, Window parent, const char* windowClass)
{
    Window root = None, up = None, *children = nullptr, found = None;
    unsigned int count = 0;
    XQueryTree(d, parent, &root, &up, &children, &count);
    for (unsigned int i = 0; i < count && found == None; ++i) {
        XClassHint hint{};
        if (XGetClassHint(d, children[i], &hint)) {
            if (std::string(hint.res_class) == windowClass) found = children[i];
            XFree(hint.res_name);
            XFree(hint.res_class);
        }
        if (found == None) found = windowOfClass(d, children[i], windowClass);
    }
    if (children) XFree(children);
    return found;
}

// A second start brings the running window to the front: through the
// window manager when it handles _NET_ACTIVE_WINDOW, else by itself.
TEST_F(X11Lookup, ASecondStartBringsTheRunningWindowToTheFront)
{
    // A stand-in window manager: it holds the root's redirection, so it
    // receives what is sent to the manager, and announces the request.
    Display* manager = XOpenDisplay(server_->display().c_str());
    ASSERT_NE(manager, nullptr);
    const Window root = DefaultRootWindow(manager);
    const Atom active = XInternAtom(manager, "_NET_ACTIVE_WINDOW", False);
    const Atom supported = XInternAtom(manager, "_NET_SUPPORTED", False);
    XSelectInput(manager, root, SubstructureRedirectMask);
    XChangeProperty(manager, root, supported, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&active), 1);
    XSync(manager, False);

    EXPECT_TRUE(instance::anotherInstanceRunning("Deep", "Deep window"));
    XEvent event{};
    bool asked = false;
    for (int tries = 0; tries < 100 && !asked; ++tries) {
        while (XPending(manager) && !asked) {
            XNextEvent(manager, &event);
            asked = event.type == ClientMessage && event.xclient.message_type == active;
        }
        if (!asked) usleep(20000);
    }
    ASSERT_TRUE(asked);
    EXPECT_EQ(event.xclient.window, windowOfClass(manager, root, "Deep"));
    EXPECT_EQ(event.xclient.data.l[0], 2);  // as a pager: not refused as focus stealing
    XDeleteProperty(manager, root, supported);
    XCloseDisplay(manager);  // the redirection ends with the connection

    // No window manager: the window is raised above its siblings and focused.
    const Window mine = windowOfClass(display_, DefaultRootWindow(display_), "TmainForm");
    EXPECT_TRUE(instance::anotherInstanceRunning("TmainForm", kTitle));
    XSync(display_, False);
    Window focus = None;
    int revert = 0;
    XGetInputFocus(display_, &focus, &revert);
    EXPECT_EQ(focus, mine);
    Window rootOut = None, up = None, *children = nullptr;
    unsigned int count = 0;
    XQueryTree(display_, DefaultRootWindow(display_), &rootOut, &up, &children, &count);
    ASSERT_GT(count, 0u);
    EXPECT_EQ(children[count - 1], mine);
    XFree(children);
}

// Two starts in the moment before the first window shows: the second
// finds no window but the first one's lock on the display.
TEST_F(X11Lookup, ASecondStartBeforeTheWindowShowsSeesTheFirst)
{
    const std::string windowClass = "Early" + std::to_string(getpid());
    EXPECT_FALSE(instance::anotherInstanceRunning(windowClass, kTitle));
    const pid_t child = fork();
    if (child == 0) {
        execl(INSTANCE_PROBE, INSTANCE_PROBE, windowClass.c_str(), kTitle.c_str(), static_cast<char*>(nullptr));
        _exit(3);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "probe status " << status;
}

// Another client creates and destroys windows as fast as it can while we
// walk the tree; the lookup must survive the BadWindow errors.
TEST_F(X11Lookup, SurvivesWindowsThatVanish)
{
    constexpr int kNoConnection = 42;
    const pid_t churner = fork();
    if (churner == 0) {
        Display* d = XOpenDisplay(server_->display().c_str());
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        std::vector<Window> alive;
        while (d && std::chrono::steady_clock::now() < end) {
            alive.push_back(createWindow(d, DefaultRootWindow(d), {"Churn", "Churn", nullptr}));
            if (alive.size() > 50) {
                XDestroyWindow(d, alive.front());
                alive.erase(alive.begin());
            }
            XSync(d, False);
        }
        _exit(d ? 0 : kNoConnection);
    }
    for (int i = 0; i < 100; ++i) {
        EXPECT_FALSE(instance::x11WindowExists("Absent", kTitle));  // walks every window
        EXPECT_TRUE(instance::x11WindowExists("Tmainform", kTitle));
    }
    int status = 0;
    waitpid(churner, &status, 0);
    // Other endings are fine: under valgrind the child exits with its error code.
    EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == kNoConnection);
}

TEST(X11LookupWithoutServer, NoDisplayMeansNotFound)
{
    {
        EnvVar display("DISPLAY", nullptr);
        EXPECT_FALSE(instance::x11WindowExists("Tmainform", kTitle));
    }
    {
        EnvVar display("DISPLAY", "");
        EXPECT_FALSE(instance::x11WindowExists("Tmainform", kTitle));
    }
    {
        const std::string unused = unusedDisplay();
        EnvVar display("DISPLAY", unused.c_str());
        EXPECT_FALSE(instance::x11WindowExists("Tmainform", kTitle));
    }
}

// Without X the guard falls back to a lock per desktop, held for the life
// of the process that took it.
class LockFallback : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = std::filesystem::temp_directory_path() /
               ("plat-lock-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir_);
        runtime_.emplace("XDG_RUNTIME_DIR", dir_.c_str());
    }
    void TearDown() override
    {
        runtime_.reset();
        std::filesystem::remove_all(dir_);
    }

    // The answer of another program started now on the given desktop.
    static bool answerOfOtherProcess(const char* windowClass, const char* wayland)
    {
        const pid_t child = fork();
        if (child == 0) {
            setenv("WAYLAND_DISPLAY", wayland, 1);
            execl(INSTANCE_PROBE, INSTANCE_PROBE, windowClass, kTitle.c_str(),
                  static_cast<char*>(nullptr));
            _exit(3);
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) <= 1) << "probe status " << status;
        return WIFEXITED(status) && WEXITSTATUS(status) == 1;
    }

    EnvVar noDisplay_{"DISPLAY", nullptr};
    EnvVar wayland_{"WAYLAND_DISPLAY", "wayland-7"};
    std::filesystem::path dir_;
    std::optional<EnvVar> runtime_;
};

TEST_F(LockFallback, SecondProcessOnTheSameDesktopSeesTheFirst)
{
    EXPECT_FALSE(answerOfOtherProcess("LockA", "wayland-7"));  // its lock ended with it
    EXPECT_FALSE(instance::anotherInstanceRunning("LockA", kTitle));
    EXPECT_FALSE(instance::anotherInstanceRunning("LockA", kTitle));  // still ours
    EXPECT_TRUE(answerOfOtherProcess("LockA", "wayland-7"));
    EXPECT_FALSE(answerOfOtherProcess("LockA", "wayland-8"));  // another desktop
    EXPECT_FALSE(answerOfOtherProcess("LockB", "wayland-7"));  // another program
}

// Without a runtime folder the lock lives in a folder of the user's own
// below $TMPDIR, which other users cannot write into.
class TmpLock : public LockFallback {
protected:
    void SetUp() override
    {
        LockFallback::SetUp();
        runtime_.reset();
        noRuntime_.emplace("XDG_RUNTIME_DIR", nullptr);
        tmpdir_.emplace("TMPDIR", dir_.c_str());
    }
    std::filesystem::path folder() const { return dir_ / ("aoshu-" + std::to_string(getuid())); }

    // Another program's answer (0 it starts, 1 it ends) and what it said on stderr.
    std::pair<int, std::string> probe(const char* windowClass)
    {
        const std::string errors = (dir_ / "errors.txt").string();
        const pid_t child = fork();
        if (child == 0) {
            freopen(errors.c_str(), "w", stderr);
            execl(INSTANCE_PROBE, INSTANCE_PROBE, windowClass, kTitle.c_str(), static_cast<char*>(nullptr));
            _exit(3);
        }
        int status = 0;
        waitpid(child, &status, 0);
        std::ifstream in(errors);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
    }

    std::optional<EnvVar> noRuntime_;
    std::optional<EnvVar> tmpdir_;
};

TEST_F(TmpLock, TheLockLivesInAPrivateFolderOfTheUser)
{
    EXPECT_FALSE(instance::anotherInstanceRunning("LockTmp", kTitle));
    EXPECT_TRUE(answerOfOtherProcess("LockTmp", "wayland-7"));
    struct stat st {};
    ASSERT_EQ(lstat(folder().c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(std::filesystem::exists(folder() / "locktmp-wayland-7.lock"));
    const auto [status, errors] = probe("LockTmp");
    EXPECT_EQ(status, 1);
    EXPECT_NE(errors.find("another copy of the program holds"), std::string::npos) << errors;
}

// A folder or a file laid there by someone else is not used: the program
// starts and says why.
TEST_F(TmpLock, AFolderOrFileLaidByOthersIsNotUsedAndTheProgramSaysWhy)
{
    namespace fs = std::filesystem;
    const struct {
        const char* name;
        std::function<void(const fs::path& folder, const fs::path& scratch)> lay;
        const char* message;
    } cases[] = {
        {"folder is a link",
         [](const fs::path& f, const fs::path& scratch) {
             fs::create_directories(scratch / "real");
             fs::permissions(scratch / "real", fs::perms::owner_all);
             fs::create_directory_symlink(scratch / "real", f);
         },
         "a link is not followed"},
        {"folder open to others",
         [](const fs::path& f, const fs::path&) {
             fs::create_directories(f);
             fs::permissions(f, fs::perms::all);
         },
         "is open to other users"},
        {"lock file is a link",
         [](const fs::path& f, const fs::path& scratch) {
             fs::create_directories(f);
             fs::permissions(f, fs::perms::owner_all);
             std::ofstream(scratch / "victim") << "x";
             fs::create_symlink(scratch / "victim", f / "lockhostile-wayland-7.lock");
         },
         "cannot open lockhostile-wayland-7.lock"},
        {"folder of another user",
         [](const fs::path& f, const fs::path&) {
             fs::create_directories(f);
             fs::permissions(f, fs::perms::owner_all);
             if (getuid() == 0 && chown(f.c_str(), 65534, 65534) != 0)
                 ADD_FAILURE() << "chown";
         },
         "belongs to another user"},
    };
    for (const auto& c : cases) {
        if (std::string(c.name) == "folder of another user" && getuid() != 0)
            continue;  // only root can give a folder away
        const fs::path scratch = dir_ / "scratch";
        fs::remove_all(folder());
        fs::remove_all(scratch);
        fs::create_directories(scratch);
        c.lay(folder(), scratch);
        const auto [status, errors] = probe("LockHostile");
        EXPECT_EQ(status, 0) << c.name;
        EXPECT_NE(errors.find(c.message), std::string::npos) << c.name << ": " << errors;
        if (fs::exists(scratch / "victim")) {
            EXPECT_EQ(fs::file_size(scratch / "victim"), 1u) << c.name;
        }
        if (fs::exists(scratch / "real")) {
            EXPECT_TRUE(fs::is_empty(scratch / "real")) << c.name;
        }
        fs::remove_all(folder());
    }
}

// On a Wayland session the program is a Wayland client (QT_QPA_PLATFORM
// unset, WAYLAND_DISPLAY set).  A second start cannot raise a window there:
// it finds the first by its lock and hands it an activation token through
// the socket beside the lock, or says on stderr why it cannot.
class WaylandSecondStart : public TmpLock {
protected:
    // The tokens the running program (this process) received.
    std::vector<std::string> received_;

    // Services the socket until a token arrives or half a second passes.
    void serve()
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        const std::size_t before = received_.size();
        while (received_.size() == before && std::chrono::steady_clock::now() < end) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            usleep(5000);
        }
    }

    EnvVar platform_{"QT_QPA_PLATFORM", nullptr};
};

TEST_F(WaylandSecondStart, HandsTheLaunchersTokenToTheRunningProgramOrSaysWhyNot)
{
    ASSERT_TRUE(ui::waylandSession());
    EXPECT_FALSE(instance::anotherInstanceRunning("WlFirst", kTitle));
    ASSERT_TRUE(instance::listenForSecondStarts("WlFirst", [this](const std::string& t) { received_.push_back(t); }));
    const struct {
        const char* token;  // XDG_ACTIVATION_TOKEN of the second start; nullptr: none
        const char* passed;  // what the running program receives; nullptr: nothing
        const char* said;
    } cases[] = {
        {"launcher-token_1:2", "launcher-token_1:2", "it was asked to come forward (xdg-activation)"},
        // No usable token of the launcher's, and no compositor to ask one of.
        {nullptr, nullptr, "cannot be brought forward from here (cannot reach the Wayland compositor)"},
        {"two words", nullptr, "cannot reach the Wayland compositor"},
        {"", nullptr, "cannot reach the Wayland compositor"},
    };
    for (const auto& c : cases) {
        EnvVar token("XDG_ACTIVATION_TOKEN", c.token);
        const auto [status, errors] = probe("WlFirst");
        serve();
        EXPECT_EQ(status, 1) << errors;
        EXPECT_NE(errors.find("already running on this desktop"), std::string::npos) << errors;
        EXPECT_NE(errors.find(c.said), std::string::npos) << errors;
        if (c.passed)
            EXPECT_EQ(received_, std::vector<std::string>{c.passed});
        else
            EXPECT_TRUE(received_.empty()) << received_.back();
        received_.clear();
    }
}

TEST_F(WaylandSecondStart, WhatIsNotATokenIsNotPassedOn)
{
    EXPECT_FALSE(instance::anotherInstanceRunning("WlJunk", kTitle));
    ASSERT_TRUE(instance::listenForSecondStarts("WlJunk", [this](const std::string& t) { received_.push_back(t); }));
    const std::string socketPath = (folder() / "wljunk-wayland-7.sock").string();
    for (const std::string& message : {std::string("\x01\x02\n"), std::string(2000, 'a') + "\n", std::string("\n"),
                                       std::string("ok-token\n")}) {
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
        ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << socketPath;
        ASSERT_EQ(write(fd, message.data(), message.size()), static_cast<ssize_t>(message.size()));
        close(fd);
        serve();
    }
    EXPECT_EQ(received_, std::vector<std::string>{"ok-token"});
}

TEST(WaylandSession, TheProgramIsAWaylandClientWhereverAWaylandDisplayIsSet)
{
    const struct {
        const char* platform;  // QT_QPA_PLATFORM before; nullptr: unset
        const char* wayland;   // WAYLAND_DISPLAY
        bool session;
        const char* chosen;  // QT_QPA_PLATFORM after preferNativeWayland
    } cases[] = {
        {nullptr, "wayland-0", true, "wayland;xcb"},
        {nullptr, nullptr, false, nullptr},
        {nullptr, "", false, nullptr},
        {"xcb", "wayland-0", false, "xcb"},          // the user's choice stands
        {"wayland", nullptr, true, "wayland"},
        {"wayland-egl", "wayland-0", true, "wayland-egl"},
        {"offscreen", "wayland-0", false, "offscreen"},
    };
    for (const auto& c : cases) {
        EnvVar platform("QT_QPA_PLATFORM", c.platform);
        EnvVar wayland("WAYLAND_DISPLAY", c.wayland);
        EXPECT_EQ(ui::waylandSession(), c.session) << (c.platform ? c.platform : "-") << " " << (c.wayland ? c.wayland : "-");
        ui::preferNativeWayland();
        const char* now = std::getenv("QT_QPA_PLATFORM");
        EXPECT_EQ(now ? std::string(now) : "-", c.chosen ? c.chosen : "-");
    }
}

}  // namespace
