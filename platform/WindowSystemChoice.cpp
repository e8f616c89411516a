#include "WindowSystemChoice.h"

#include <X11/Xlib.h>

#include <cstdlib>
#include <cstring>

namespace {

bool isSet(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

} // namespace

bool preferX11(int argc, const char* const* argv, const std::function<bool()>& xReachable)
{
    if (!isSet("WAYLAND_DISPLAY") || isSet("QT_QPA_PLATFORM")) return false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "-platform") == 0 || std::strcmp(arg, "--platform") == 0 ||
            std::strncmp(arg, "-platform=", 10) == 0 || std::strncmp(arg, "--platform=", 11) == 0)
            return false;
    }
    return isSet("DISPLAY") && xReachable();
}

bool xServerReachable()
{
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return false;
    XCloseDisplay(display);
    return true;
}

void chooseWindowSystem(int argc, const char* const* argv)
{
    if (preferX11(argc, argv, xServerReachable)) setenv("QT_QPA_PLATFORM", "xcb", 1);
}
