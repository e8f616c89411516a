#include "PictureBox.h"

#include "InputBits.h"

#include <QMouseEvent>
#include <QPainter>
#include <QtMath>

#include <utility>

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

void PictureBox::setImageDevicePixelRatio(qreal ratio)
{
    if (!(ratio > 0.0)) ratio = 1.0;
    const QSize logical = size();
    QImage image(qCeil(logical.width() * ratio), qCeil(logical.height() * ratio), QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::black);
    image_ = std::move(image);
}

void PictureBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // An image of another density than the screen's is scaled; one of the same is copied as
    // it is.
    if (image_.devicePixelRatio() != devicePixelRatioF()) painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(0, 0, image_);
}


void PictureBox::mousePressEvent(QMouseEvent* event)
{
    const QPointF at = event->position();
    emit MouseDown(buttonBits(event->button()), shiftState(event->modifiers()), float(at.x()), float(at.y()));
}

void PictureBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    mousePressEvent(event);
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event)
{
    const QPointF at = event->position();
    emit MouseUp(buttonBits(event->button()), shiftState(event->modifiers()), float(at.x()), float(at.y()));
}

void PictureBox::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF at = event->position();
    emit MouseMove(buttonBits(event->buttons()), shiftState(event->modifiers()), float(at.x()), float(at.y()));
}
