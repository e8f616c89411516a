#include "PictureBox.h"

#include <QMouseEvent>
#include <QPainter>

PictureBox::PictureBox(QWidget* parent, const QSize& size)
    : QWidget(parent), image_(size, QImage::Format_RGB32)
{
    image_.fill(Qt::black);
    setFixedSize(size);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::setPicture(const QImage& picture)
{
    image_ = picture.convertToFormat(QImage::Format_RGB32);
}

void PictureBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, image_);
}

namespace {

int bits(Qt::MouseButtons buttons)
{
    return (buttons.testFlag(Qt::LeftButton) ? 1 : 0) | (buttons.testFlag(Qt::RightButton) ? 2 : 0) |
           (buttons.testFlag(Qt::MiddleButton) ? 4 : 0);
}

int shiftBits(Qt::KeyboardModifiers modifiers)
{
    return (modifiers.testFlag(Qt::ShiftModifier) ? 1 : 0) | (modifiers.testFlag(Qt::ControlModifier) ? 2 : 0) |
           (modifiers.testFlag(Qt::AltModifier) ? 4 : 0);
}

} // namespace

void PictureBox::mousePressEvent(QMouseEvent* event)
{
    const QPointF at = event->position();
    emit MouseDown(bits(event->button()), shiftBits(event->modifiers()), float(at.x()), float(at.y()));
}

void PictureBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    mousePressEvent(event);
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event)
{
    const QPointF at = event->position();
    emit MouseUp(bits(event->button()), shiftBits(event->modifiers()), float(at.x()), float(at.y()));
}

void PictureBox::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF at = event->position();
    emit MouseMove(bits(event->buttons()), shiftBits(event->modifiers()), float(at.x()), float(at.y()));
}
