#include "app/LockKeyState.h"

#include <QGuiApplication>

#if defined(VELOMIRE_HAVE_XKB)
#include <QtGui/qguiapplication_platform.h>
// After the Qt headers: Xlib defines macros (None, Bool) that Qt's names would collide with.
#include <X11/XKBlib.h>
#elif defined(_WIN32)
#include <windows.h>
#endif

namespace velomire::app {

std::optional<LockKeys> QueryLockKeys() {
#if defined(VELOMIRE_HAVE_XKB)
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display) {
        return std::nullopt;
    }
    // Find each indicator by name: their bit positions differ between keyboard layouts.
    auto isOn = [display](const char* name) {
        const Atom atom = XInternAtom(display, name, True);
        Bool on = False;
        if (atom == None || !XkbGetNamedIndicator(display, atom, nullptr, &on, nullptr, nullptr)) {
            return false;
        }
        return on == True;
    };
    return LockKeys{isOn("Caps Lock"), isOn("Num Lock"), isOn("Scroll Lock")};
#elif defined(_WIN32)
    // The low bit of a toggle key's state is its indicator.
    auto isOn = [](int key) { return (GetKeyState(key) & 1) != 0; };
    return LockKeys{isOn(VK_CAPITAL), isOn(VK_NUMLOCK), isOn(VK_SCROLL)};
#else
    return std::nullopt;
#endif
}

} // namespace velomire::app
