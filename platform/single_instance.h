// "Is the program already running on this desktop?"
#pragma once

#include <functional>
#include <string>

namespace instance {

// On X11 (DISPLAY set and reachable): true when a top-level window whose
// WM_CLASS class part equals windowClass without regard to case, and whose
// title (_NET_WM_NAME, else WM_NAME) equals titleUtf8, exists on that display,
// or when another process holds the lock of that display, which covers a
// second start before the first one's window shows.  The window found is
// brought to the front and given the focus (through the window manager's
// _NET_ACTIVE_WINDOW when it has one), so a second start shows the program.
// On a Wayland session (ui::waylandSession()) and elsewhere: takes a lock
// per display (Wayland display or session) and returns true when another
// process already holds it.  There a second start cannot raise a window
// itself: it hands the running program an activation token (the
// launcher's, or one the compositor gives) through a socket beside the
// lock, and says on stderr what came of it, or why it cannot.
// A lock taken is held until the process ends.
bool anotherInstanceRunning(const std::string& windowClass, const std::string& titleUtf8);

// The running program's side, once the application object exists: calls
// comeForward with each token a second start hands over.  False, doing
// nothing, unless this process holds the lock of a Wayland session.
bool listenForSecondStarts(const std::string& windowClass, std::function<void(const std::string& token)> comeForward);

// The X11 lookup alone; false when no X display can be opened.
bool x11WindowExists(const std::string& windowClass, const std::string& titleUtf8);

}  // namespace instance
