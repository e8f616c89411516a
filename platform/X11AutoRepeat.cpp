#include "X11AutoRepeat.h"

#include <QGuiApplication>

#include <X11/XKBlib.h>

void enableDetectableAutoRepeat()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (x11 == nullptr || x11->display() == nullptr) return;
    Bool supported = 0;
    XkbSetDetectableAutoRepeat(x11->display(), 1, &supported);
}
