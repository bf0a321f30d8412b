// "Is the program already running on this desktop?"
#pragma once

#include <string>

namespace instance {

// On X11 (DISPLAY set and reachable): true when a top-level window whose
// WM_CLASS class part equals windowClass without regard to case, and whose
// title (_NET_WM_NAME, else WM_NAME) equals titleUtf8, exists on that display,
// or when another process holds the lock of that display, which covers a
// second start before the first one's window shows.  The window found is
// brought to the front and given the focus (through the window manager's
// _NET_ACTIVE_WINDOW when it has one), so a second start shows the program.
// Elsewhere: takes a lock per display (Wayland display or session) and
// returns true when another process already holds it.
// A lock taken is held until the process ends.
bool anotherInstanceRunning(const std::string& windowClass, const std::string& titleUtf8);

// The X11 lookup alone; false when no X display can be opened.
bool x11WindowExists(const std::string& windowClass, const std::string& titleUtf8);

}  // namespace instance
