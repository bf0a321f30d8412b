#include "single_instance.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
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

std::string lockPath(const std::string& windowClass, std::string desktop)
{
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    std::string dir = runtimeDir && *runtimeDir ? runtimeDir : "/tmp";
    if (!(runtimeDir && *runtimeDir))  // /tmp is shared between users
        desktop += "-uid" + std::to_string(getuid());
    return dir + "/" + fileNamePart(windowClass) + "-" + fileNamePart(desktop) + ".lock";
}

// Each lock is held until the process ends; the kernel releases it then.
bool lockHeldElsewhere(const std::string& windowClass, bool onX11)
{
    static std::set<std::string> held;
    const std::string path = lockPath(windowClass, desktopName(onX11));
    if (held.count(path))
        return false;
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;  // cannot tell; better to run twice than never
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool busy = errno == EWOULDBLOCK;
        close(fd);
        return busy;
    }
    held.insert(path);
    return false;
}

}  // namespace

bool x11WindowExists(const std::string& windowClass, const std::string& titleUtf8)
{
    return lookOnX11(windowClass, titleUtf8, false).value_or(false);
}

bool anotherInstanceRunning(const std::string& windowClass, const std::string& titleUtf8)
{
    // Two starts within the moment before the first window appears both
    // find no window; the lock per X display tells them apart.
    if (std::optional<bool> onX11 = lookOnX11(windowClass, titleUtf8, true))
        return *onX11 || lockHeldElsewhere(windowClass, true);
    return lockHeldElsewhere(windowClass, false);
}

}  // namespace instance
