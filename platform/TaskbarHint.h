#pragma once

class QWidget;

/// Keeps a top-level window off the desktop's taskbar, where the window system lets a program
/// ask for that (X11). Call before the window is first shown: it makes the native window.
void skipTaskbar(QWidget& window);
