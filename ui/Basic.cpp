#include "Basic.h"

#include "Host.h"
#include "PictureBox.h"
#include "TaskbarHint.h"

#include <QDialog>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QRect>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <exception>

void BlitPicture(PictureBox& dest, std::int32_t x, std::int32_t y, std::int32_t width,
                 std::int32_t height, const PictureBox& src, std::int32_t srcX, std::int32_t srcY,
                 std::int32_t rop)
{
    if (rop != SRCCOPY || width <= 0 || height <= 0) return;
    QPainter painter(&dest.image());
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    // The rectangles are in the boxes' pixels; drawImage takes its source rectangle in the
    // image's device pixels.
    const qreal ratio = src.image().devicePixelRatio();
    painter.drawImage(QRectF(x, y, width, height), src.image(),
                      QRectF(srcX * ratio, srcY * ratio, width * ratio, height * ratio));
}

void SetTopMost(QWidget& form, std::int16_t flag)
{
    const bool topMost = flag == -1;
    // Changing the widget's flags would hide the window; tell the window and keep the widget's
    // record in step without re-creating it.
    form.overrideWindowFlags(topMost ? form.windowFlags() | Qt::WindowStaysOnTopHint
                                     : form.windowFlags() & ~Qt::WindowStaysOnTopHint);
    if (QWindow* window = form.windowHandle()) window->setFlag(Qt::WindowStaysOnTopHint, topMost);
}

void SetForeground(QWidget& form)
{
    form.raise();
    form.activateWindow();
}

void ShowHelp(Host& host, QWidget& mainWindow, const QString& helpFile)
{
    if (helpFile.isEmpty()) return;
    QString failure;
    try {
        host.winHelp(&mainWindow, helpFile, HELP_CONTENTS, 0);
    } catch (const std::exception& error) {
        failure = QString::fromUtf8(error.what());
    }
    if (!failure.isEmpty()) host.MsgBox(failure, MsgBoxStyle::vbOKOnly);
}

QFont gothicFont()
{
    QFont font;
    // The proportional IPA face first: the layouts were measured with a proportional Gothic,
    // and the fixed-width one overflows them ("E-Mail:" in 36 pixels).
    font.setFamilies({QStringLiteral("MS UI Gothic"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("IPAGothic"), QStringLiteral("sans-serif")});
    font.setPointSize(9);
    font.setWeight(QFont::Normal);
    return font;
}

QRect twipsRect(int left, int top, int width, int height)
{
    constexpr int twipsPerPixel = 15;
    return {left / twipsPerPixel, top / twipsPerPixel, width / twipsPerPixel, height / twipsPerPixel};
}

void showDialog(QDialog& dialog, const QWidget& mainWindow, QWidget& first)
{
    skipTaskbar(dialog);
    dialog.setWindowModality(Qt::ApplicationModal); // before it shows: the main window takes no input
    centreOnScreen(dialog, &mainWindow);
    dialog.show();
    centreOnScreen(dialog, &mainWindow); // again, now that the frame is known
    first.setFocus();
    dialog.exec();
}

void centreOnScreen(QWidget& window, const QWidget* reference)
{
    QScreen* screen = reference != nullptr ? reference->screen() : nullptr;
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
}

void fitToText(QLabel& label)
{
    label.resize(label.size().expandedTo(label.sizeHint()));
}
