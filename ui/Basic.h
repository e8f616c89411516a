#pragma once

#include <QString>

#include <cstdint>

class Host;
class QDialog;
class QFont;
class QLabel;
class QRect;
class PictureBox;
class QWidget;

// Raster operation of a plain copy.
inline constexpr std::int32_t SRCCOPY = 0x00CC0020;

/// The help file the program carries; opened as given, without a directory.
inline const QString kHelpFile = QStringLiteral("TARNEK.HLP");

/// Copies a width × height rectangle of `src` at (srcX, srcY) into `dest`'s backing image at
/// (x, y). Draws only into the image: the caller refreshes. Only SRCCOPY draws; other
/// operations are not supported and leave the image as it is.
void BlitPicture(PictureBox& dest, std::int32_t x, std::int32_t y, std::int32_t width,
                 std::int32_t height, const PictureBox& src, std::int32_t srcX, std::int32_t srcY,
                 std::int32_t rop);

/// Puts `form` into the top-most band when `flag` is -1 exactly, and takes it out for any other
/// value. Never moves, resizes or hides it.
void SetTopMost(QWidget& form, std::int16_t flag);

/// Brings `form` to the foreground.
void SetForeground(QWidget& form);

/// Opens the help file at its contents, owned by the main window. A failure is shown in a
/// message box and never passed on.
void ShowHelp(Host& host, QWidget& mainWindow, const QString& helpFile = kHelpFile);

/// The program's text face: "MS UI Gothic" 9 pt where it exists, else the IPA P Gothic or IPA
/// Gothic, else the system's sans serif.
QFont gothicFont();

/// A rectangle given in twips (1/1440 inch) as the pixels of a 96-dpi screen: 15 twips a pixel.
QRect twipsRect(int left, int top, int width, int height);

/// Shows `dialog` modally for the whole program, centred on the screen of `mainWindow`, off the
/// taskbar, with the focus on `first`; returns once it has closed.
void showDialog(QDialog& dialog, const QWidget& mainWindow, QWidget& first);

/// Centres a top-level window on the screen that `reference` is on (the primary screen when it
/// has none).
void centreOnScreen(QWidget& window, const QWidget* reference);

/// Lets a label grow from its top-left corner when its text needs more room than it has: the
/// designed sizes were measured with a face this system may not have.
void fitToText(QLabel& label);
