#pragma once

#include <optional>

namespace velomire::app {

struct LockKeys {
    bool caps = false;
    bool num = false;
    bool scroll = false;
};

// The state of the three lock keys for the status bar's indicators, read from the X server's
// keyboard extension. Nothing on other platforms or without a display (offscreen, Wayland).
std::optional<LockKeys> QueryLockKeys();

} // namespace velomire::app
