#include "single_instance.h"

#include "wayland.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <set>

namespace instance {
namespace {

// Below the root: top-level windows (1), their children when a window
// manager has reparented them into a frame (2), and one level more for
// managers that nest a decoration window between frame and client (3).
constexpr int kSearchDepth = 3;

// Windows may be destroyed by their owners while we look at them; the
// resulting BadWindow errors are expected and must not end the program
// (Xlib's default handler exits).
int ignoreXError(Display*, XErrorEvent*)
{
    return 0;
}

bool equalsIgnoringAsciiCase(const char* a, const std::string& b)
{
    std::size_t i = 0;
    for (; a[i] != '\0' && i < b.size(); ++i) {
        auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return a[i] == '\0' && i == b.size();
}

struct Query {
    Display* display;
    Atom netWmName;
    Atom utf8String;
    const std::string& windowClass;
    const std::string& titleUtf8;
};

bool classMatches(const Query& q, Window window)
{
    XClassHint hint{};
    if (!XGetClassHint(q.display, window, &hint))
        return false;
    const bool match = hint.res_class && equalsIgnoringAsciiCase(hint.res_class, q.windowClass);
    if (hint.res_name)
        XFree(hint.res_name);
    if (hint.res_class)
        XFree(hint.res_class);
    return match;
}

std::optional<std::string> netWmName(const Query& q, Window window)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(q.display, window, q.netWmName, 0, 1 << 16, False, q.utf8String,
                           &type, &format, &count, &remaining, &data) != Success)
        return std::nullopt;
    std::optional<std::string> text;
    if (type == q.utf8String && format == 8)
        text = std::string(reinterpret_cast<char*>(data), count);
    if (data)
        XFree(data);
    return text;
}

// WM_NAME in whatever encoding it was stored (STRING is Latin-1,
// COMPOUND_TEXT, UTF8_STRING), converted to UTF-8.
std::optional<std::string> wmName(const Query& q, Window window)
{
    XTextProperty property{};
    if (!XGetWMName(q.display, window, &property) || !property.value)
        return std::nullopt;
    std::optional<std::string> text;
    char** list = nullptr;
    int count = 0;
    if (Xutf8TextPropertyToTextList(q.display, &property, &list, &count) >= Success && list) {
        text = count > 0 ? std::string(list[0]) : std::string();
        XFreeStringList(list);
    }
    XFree(property.value);
    return text;
}

bool titleMatches(const Query& q, Window window)
{
    std::optional<std::string> title = netWmName(q, window);
    if (!title)
        title = wmName(q, window);
    return title && *title == q.titleUtf8;
}

// The matching window, or None.
Window searchTree(const Query& q, Window parent, int depth)
{
    Window root = None, parentOut = None;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(q.display, parent, &root, &parentOut, &children, &count))
        return None;
    Window found = None;
    for (unsigned int i = 0; i < count && found == None; ++i) {
        if (classMatches(q, children[i]) && titleMatches(q, children[i]))
            found = children[i];
        else if (depth > 1)
            found = searchTree(q, children[i], depth - 1);
    }
    if (children)
        XFree(children);
    return found;
}

bool windowManagerSupports(Display* display, Atom feature)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    const Atom supported = XInternAtom(display, "_NET_SUPPORTED", False);
    bool found = false;
    if (XGetWindowProperty(display, DefaultRootWindow(display), supported, 0, 4096, False, XA_ATOM, &type,
                           &format, &count, &remaining, &data) == Success &&
        type == XA_ATOM && format == 32 && data) {
        const auto* atoms = reinterpret_cast<const Atom*>(data);
        for (unsigned long i = 0; i < count && !found; ++i) found = atoms[i] == feature;
    }
    if (data)
        XFree(data);
    return found;
}

// Brings the running program's window to the front with the focus: asks
// the window manager (as a pager would, which focus-stealing prevention
// lets through), or without one raises and focuses the window itself.
void activate(Display* display, Window window)
{
    const Atom active = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    if (!windowManagerSupports(display, active)) {
        XMapRaised(display, window);
        XSetInputFocus(display, window, RevertToParent, CurrentTime);
        return;
    }
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = active;
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;  // source: a pager, on the user's request
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
}

// nullopt when no X display can be reached.
std::optional<bool> lookOnX11(const std::string& windowClass, const std::string& titleUtf8, bool activateFound)
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name)
        return std::nullopt;
    Display* display = XOpenDisplay(name);
    if (!display)
        return std::nullopt;
    XErrorHandler previous = XSetErrorHandler(ignoreXError);
    const Query query{display, XInternAtom(display, "_NET_WM_NAME", False),
                      XInternAtom(display, "UTF8_STRING", False), windowClass, titleUtf8};
    const Window found = searchTree(query, DefaultRootWindow(display), kSearchDepth);
    if (found != None && activateFound)
        activate(display, found);
    XSync(display, False);  // let errors of the walk arrive while we still ignore them
    XSetErrorHandler(previous);
    XCloseDisplay(display);
    return found != None;
}

std::string fileNamePart(std::string text)
{
    for (char& c : text) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
        else if (!plain)
            c = '_';
    }
    return text;
}

// The desktop a lock belongs to: the X display when there is one, else the
// Wayland display or the login session.
std::string desktopName(bool onX11)
{
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* session = std::getenv("XDG_SESSION_ID");
    if (onX11 && display && *display)
        return std::string("x") + display;
    return wayland && *wayland   ? std::string(wayland)
           : session && *session ? std::string("session-") + session
                                 : std::string("default");
}

// The folder of the locks: $XDG_RUNTIME_DIR, which is the user's own, or
// else a folder of this user's in $TMPDIR (/tmp), which others can write
// into: made 0700, and used only when it is a folder (not a link) owned by
// this user that no one else can write.  Returns its descriptor, or -1 with
// why set.
bool runtimeDirSet()
{
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    return runtimeDir && *runtimeDir;
}

std::string lockFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    return runtimeDirSet() ? std::string(std::getenv("XDG_RUNTIME_DIR"))
                           : std::string(tmp && *tmp ? tmp : "/tmp") + "/aoshu-" + std::to_string(getuid());
}

int openLockFolder(std::string& why)
{
    const bool own = runtimeDirSet();
    const std::string dir = lockFolder();
    if (!own && mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        why = "cannot make " + dir + ": " + std::strerror(errno);
        return -1;
    }
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0) {
        why = "cannot open the folder " + dir + " (a link is not followed): " + std::strerror(errno);
    } else if (st.st_uid != getuid()) {
        why = dir + " belongs to another user";
    } else if ((st.st_mode & (own ? 022 : 077)) != 0) {
        why = dir + " is open to other users";
    } else {
        return fd;
    }
    if (fd >= 0)
        close(fd);
    return -1;
}

// Each lock is held until the process ends; the kernel releases it then.
// A lock that cannot be taken is said on stderr; when it is another
// program's, the answer is yes, otherwise the program rather runs twice
// than never.
// The name of the lock, and of the socket beside it, without the ending.
std::string lockName(const std::string& windowClass, bool onX11)
{
    return fileNamePart(windowClass) + "-" + fileNamePart(desktopName(onX11));
}

// Whether this process holds a lock (the one the socket belongs with).
bool& lockTaken()
{
    static bool taken = false;
    return taken;
}

bool lockHeldElsewhere(const std::string& windowClass, bool onX11)
{
    static std::set<std::string> held;
    const std::string name = lockName(windowClass, onX11) + ".lock";
    std::string why;
    const int dir = openLockFolder(why);
    int fd = -1;
    struct stat st {};
    if (dir >= 0) {
        fd = openat(dir, name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        close(dir);
        if (fd < 0)
            why = "cannot open " + name + ": " + std::strerror(errno);
        else if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != getuid())
            why = name + " is not a file of this user";
    }
    const std::string key = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    if (why.empty() && held.count(key)) {
        close(fd);
        return false;
    }
    if (why.empty() && flock(fd, LOCK_EX | LOCK_NB) == 0) {
        held.insert(key);
        lockTaken() = true;
        return false;
    }
    const bool busy = why.empty() && errno == EWOULDBLOCK;
    if (why.empty())
        why = busy ? "another copy of the program holds " + name : "cannot lock " + name + ": " + std::strerror(errno);
    if (fd >= 0)
        close(fd);
    std::fprintf(stderr, "aoshu: single-instance lock: %s%s\n", why.c_str(),
                 busy ? "; this start ends" : "; starting all the same");
    return busy;
}

// The socket through which a second start on a Wayland desktop reaches the
// running program: beside the lock, in the checked folder.  Empty when the
// folder does not pass the checks or the path is too long for a socket.
std::string socketPath(const std::string& windowClass)
{
    std::string why;
    const int dir = openLockFolder(why);
    if (dir < 0)
        return {};
    close(dir);
    const std::string path = lockFolder() + "/" + lockName(windowClass, false) + ".sock";
    return path.size() < sizeof(sockaddr_un{}.sun_path) ? path : std::string();
}

sockaddr_un socketAddress(const std::string& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return address;
}

// True when the whole token reached the running program.
bool handOver(const std::string& windowClass, const std::string& token, std::string& why)
{
    const std::string path = socketPath(windowClass);
    const int fd = path.empty() ? -1 : socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        why = path.empty() ? "no safe place for its socket" : std::strerror(errno);
        return false;
    }
    const sockaddr_un address = socketAddress(path);
    const std::string message = token + "\n";
    bool sent = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                send(fd, message.data(), message.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(message.size());
    if (!sent)
        why = std::string(path) + ": " + std::strerror(errno);
    close(fd);
    return sent;
}

// A second start on a Wayland desktop: another process cannot raise a
// window there, only hand the running program a token for the compositor.
void askToComeForward(const std::string& windowClass)
{
    std::string why;
    const std::optional<std::string> token = ui::activationToken("", why);
    if (!token) {
        std::fprintf(stderr,
                     "aoshu: the program is already running on this desktop and cannot be brought forward from "
                     "here (%s); switch to its window with the desktop's window list\n",
                     why.c_str());
    } else if (!handOver(windowClass, *token, why)) {
        std::fprintf(stderr,
                     "aoshu: the program is already running on this desktop but could not be asked to come "
                     "forward (%s)\n",
                     why.c_str());
    } else {
        std::fprintf(stderr,
                     "aoshu: the program is already running on this desktop; it was asked to come forward "
                     "(xdg-activation), which the desktop may grant or refuse\n");
    }
}

// Reads one token from a second start: it writes it whole and closes, so
// a short wait is enough; a client that says nothing is dropped.
std::string readToken(int fd)
{
    std::string text;
    char buffer[256];
    pollfd wait{fd, POLLIN, 0};
    while (text.size() <= 1100 && text.find('\n') == std::string::npos && poll(&wait, 1, 200) > 0) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text.substr(0, text.find('\n'));
}

}  // namespace

bool listenForSecondStarts(const std::string& windowClass, std::function<void(const std::string&)> comeForward)
{
    if (!lockTaken() || !ui::waylandSession() || !QCoreApplication::instance())
        return false;
    const std::string path = socketPath(windowClass);
    if (path.empty())
        return false;
    unlink(path.c_str());  // left by a program that ended without removing it: the lock is ours
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const sockaddr_un address = socketAddress(path);
    if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 4) != 0) {
        std::fprintf(stderr, "aoshu: a second start cannot reach this program (%s: %s)\n", path.c_str(),
                     std::strerror(errno));
        if (fd >= 0)
            close(fd);
        return false;
    }
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [fd, comeForward = std::move(comeForward)] {
        const int client = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            return;
        const std::string token = readToken(client);
        close(client);
        if (ui::plausibleToken(token))
            comeForward(token);
    });
    QObject::connect(notifier, &QObject::destroyed, [fd, path] {
        close(fd);
        unlink(path.c_str());
    });
    return true;
}

bool x11WindowExists(const std::string& windowClass, const std::string& titleUtf8)
{
    return lookOnX11(windowClass, titleUtf8, false).value_or(false);
}

bool anotherInstanceRunning(const std::string& windowClass, const std::string& titleUtf8)
{
    if (ui::waylandSession()) {
        if (!lockHeldElsewhere(windowClass, false))
            return false;
        askToComeForward(windowClass);
        return true;
    }
    // Two starts within the moment before the first window appears both
    // find no window; the lock per X display tells them apart.
    if (std::optional<bool> onX11 = lookOnX11(windowClass, titleUtf8, true))
        return *onX11 || lockHeldElsewhere(windowClass, true);
    return lockHeldElsewhere(windowClass, false);
}

}  // namespace instance
