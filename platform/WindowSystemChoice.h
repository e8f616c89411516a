#pragma once

#include <functional>

/// Whether to run on X11 (through XWayland) rather than Wayland: Wayland does not let a program
/// place its own window, keep it on top or move it itself, and the panel needs all three. True
/// in a Wayland session (`WAYLAND_DISPLAY` set) when the user chose no platform (neither
/// `QT_QPA_PLATFORM` nor a `-platform` argument) and `xReachable` finds an X server.
bool preferX11(int argc, const char* const* argv, const std::function<bool()>& xReachable);

/// Whether the X server that `DISPLAY` names accepts a connection.
bool xServerReachable();

/// Before the application object exists: asks Qt for the xcb platform when preferX11 says so.
void chooseWindowSystem(int argc, const char* const* argv);
