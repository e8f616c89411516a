#pragma once

class QGroupBox;

/// Makes `frame` draw its caption on its top line, the line passing through the caption's
/// middle, as the dialogs were laid out for. Fusion puts the caption above the line instead, so
/// that the boxes on a frame's top row would sit on the line.
void captionOnLine(QGroupBox& frame);
