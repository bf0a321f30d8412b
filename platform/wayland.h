// The program on a Wayland desktop: running there as a native client,
// filling the screen the way the compositor allows, and the activation
// tokens (xdg-activation) through which a second start brings the running
// window forward.
#pragma once

#include <optional>
#include <string>

class QWidget;
class QWindow;

namespace ui {

// True when the program runs as a Wayland client: QT_QPA_PLATFORM names
// wayland first, or it is unset and WAYLAND_DISPLAY is set.  Decided from
// the environment alone, so that the single-instance guard can ask before
// the application object exists.
bool waylandSession();

// On a Wayland session without a QT_QPA_PLATFORM of the user's, asks Qt
// for its Wayland plugin first, falling back to X11 (XWayland) when that
// plugin is missing or cannot connect.  Call before the application object.
void preferNativeWayland();

// True when the application object runs on Qt's Wayland plugin.
bool onWayland();

// On Wayland, asks the compositor to show the window full screen and, when
// it refuses, maximized (the work area); the layout follows whatever size
// the compositor gives.  Returns false elsewhere, doing nothing.
bool fillScreenOnWayland(QWidget& window);

// A second start's token for the running window: the launcher's
// (XDG_ACTIVATION_TOKEN) or one asked of the compositor.  nullopt when the
// compositor offers no xdg-activation or cannot be reached; why says which.
std::optional<std::string> activationToken(const std::string& appId, std::string& why);

// Asks the compositor to bring the window forward with a token from a
// second start; the compositor decides.  False when it offers no
// xdg-activation or the window has no surface yet.
bool activateWithToken(QWindow* window, const std::string& token);

// A token as the protocol carries it: 1 to 1024 printable ASCII
// characters.  Anything else that arrives is not passed on.
bool plausibleToken(const std::string& token);

}  // namespace ui
