#pragma once

/// On X11, asks the server to send held keys as repeated presses without releases.
/// Does nothing on other window systems.
void enableDetectableAutoRepeat();
