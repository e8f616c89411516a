#include "TaskbarHint.h"

#include <QGuiApplication>
#include <QWidget>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

void skipTaskbar(QWidget& window)
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (x11 == nullptr || x11->display() == nullptr) return;
    Display* display = x11->display();
    const auto id = static_cast<::Window>(window.winId());
    // An unmapped window states its wishes in the property itself; Qt keeps atoms it does not
    // manage when it adds its own at mapping.
    Atom skip = XInternAtom(display, "_NET_WM_STATE_SKIP_TASKBAR", 0);
    XChangeProperty(display, id, XInternAtom(display, "_NET_WM_STATE", 0), XA_ATOM, 32, PropModeAppend,
                    reinterpret_cast<unsigned char*>(&skip), 1);
    XFlush(display);
}
