#include "PictureBox.h"

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
