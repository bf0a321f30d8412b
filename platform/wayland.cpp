#include "wayland.h"

#include "xdg-activation-v1-client.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>
#include <qpa/qplatformnativeinterface.h>

#include <wayland-client.h>

#include <poll.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

namespace ui {
namespace {

// How long a second start waits for the compositor's token.
constexpr int kTokenWaitMs = 2000;

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

struct Globals {
    xdg_activation_v1* activation = nullptr;
};

void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t)
{
    auto* globals = static_cast<Globals*>(data);
    if (!globals->activation && std::strcmp(interface, xdg_activation_v1_interface.name) == 0)
        globals->activation =
            static_cast<xdg_activation_v1*>(wl_registry_bind(registry, name, &xdg_activation_v1_interface, 1));
}

void onGlobalRemoved(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kRegistryListener{onGlobal, onGlobalRemoved};

void onTokenDone(void* data, xdg_activation_token_v1*, const char* token)
{
    *static_cast<std::string*>(data) = token ? token : "";
}

const xdg_activation_token_v1_listener kTokenListener{onTokenDone};

// Reads and dispatches the display's events until done() holds or the time
// is up.  False when the time ran out or the connection failed.
bool dispatchUntil(wl_display* display, const std::function<bool()>& done, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        while (wl_display_prepare_read(display) != 0)
            if (wl_display_dispatch_pending(display) < 0)
                return false;
        wl_display_flush(display);
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        pollfd fd{wl_display_get_fd(display), POLLIN, 0};
        if (left <= 0 || poll(&fd, 1, static_cast<int>(left)) <= 0) {
            wl_display_cancel_read(display);
            return false;
        }
        if (wl_display_read_events(display) < 0 || wl_display_dispatch_pending(display) < 0)
            return false;
    }
    return true;
}

// Asks the compositor of an open connection for a token; empty on failure.
std::string requestToken(wl_display* display, xdg_activation_v1* activation, const std::string& appId)
{
    std::string token;
    xdg_activation_token_v1* request = xdg_activation_v1_get_activation_token(activation);
    xdg_activation_token_v1_add_listener(request, &kTokenListener, &token);
    if (!appId.empty())
        xdg_activation_token_v1_set_app_id(request, appId.c_str());
    xdg_activation_token_v1_commit(request);
    dispatchUntil(display, [&token] { return !token.empty(); }, kTokenWaitMs);
    xdg_activation_token_v1_destroy(request);
    return token;
}

void whenFullScreenRefused(QWidget& window, Qt::WindowStates previous, Qt::WindowStates now)
{
    // Only on leaving full screen: a refused maximization must not ask again.
    if ((previous & Qt::WindowFullScreen) && !(now & (Qt::WindowFullScreen | Qt::WindowMaximized)))
        window.setWindowState(Qt::WindowMaximized);
}

}  // namespace

bool waylandSession()
{
    const std::string platform = environment("QT_QPA_PLATFORM");
    if (!platform.empty())
        return platform.rfind("wayland", 0) == 0;
    return !environment("WAYLAND_DISPLAY").empty();
}

void preferNativeWayland()
{
    if (environment("QT_QPA_PLATFORM").empty() && !environment("WAYLAND_DISPLAY").empty())
        setenv("QT_QPA_PLATFORM", "wayland;xcb", 1);
}

bool onWayland()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

bool fillScreenOnWayland(QWidget& window)
{
    if (!onWayland())
        return false;
    QWindow* handle = window.windowHandle();
    if (handle && !handle->property("aoshuFollowsStates").toBool()) {
        handle->setProperty("aoshuFollowsStates", true);
        auto previous = std::make_shared<Qt::WindowStates>(handle->windowStates());
        QObject::connect(handle, &QWindow::windowStateChanged, &window, [&window, previous, handle] {
            const Qt::WindowStates now = handle->windowStates();
            whenFullScreenRefused(window, *previous, now);
            *previous = now;
        });
    }
    if (!(window.windowState() & Qt::WindowFullScreen))
        window.setWindowState(Qt::WindowFullScreen);
    return true;
}

std::optional<std::string> activationToken(const std::string& appId, std::string& why)
{
    const std::string launcher = environment("XDG_ACTIVATION_TOKEN");
    if (plausibleToken(launcher))
        return launcher;
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        why = "cannot reach the Wayland compositor";
        return std::nullopt;
    }
    Globals globals;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, &globals);
    std::optional<std::string> token;
    if (wl_display_roundtrip(display) < 0)
        why = "the Wayland compositor did not answer";
    else if (!globals.activation)
        why = "the Wayland compositor offers no xdg-activation";
    else if (std::string t = requestToken(display, globals.activation, appId); plausibleToken(t))
        token = t;
    else
        why = "the Wayland compositor gave no activation token";
    if (globals.activation)
        xdg_activation_v1_destroy(globals.activation);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return token;
}

bool activateWithToken(QWindow* window, const std::string& token)
{
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    if (!window || !native || !onWayland() || !plausibleToken(token))
        return false;
    auto* display = static_cast<wl_display*>(native->nativeResourceForIntegration("wl_display"));
    auto* surface = static_cast<wl_surface*>(native->nativeResourceForWindow("surface", window));
    if (!display || !surface)
        return false;
    // Qt reads this connection on its own queue; our objects get a queue of
    // their own, so that our round trip dispatches only them.
    wl_event_queue* queue = wl_display_create_queue(display);
    auto* wrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper), queue);
    wl_registry* registry = wl_display_get_registry(wrapper);
    Globals globals;
    wl_registry_add_listener(registry, &kRegistryListener, &globals);
    wl_display_roundtrip_queue(display, queue);
    const bool offered = globals.activation != nullptr;
    if (offered) {
        xdg_activation_v1_activate(globals.activation, token.c_str(), surface);
        xdg_activation_v1_destroy(globals.activation);
    }
    wl_registry_destroy(registry);
    wl_proxy_wrapper_destroy(wrapper);
    wl_display_flush(display);
    wl_event_queue_destroy(queue);
    return offered;
}

bool plausibleToken(const std::string& token)
{
    if (token.empty() || token.size() > 1024)
        return false;
    for (char c : token)
        if (c < 0x21 || c > 0x7e)
            return false;
    return true;
}

}  // namespace ui
