#pragma once

#include <QImage>
#include <QWidget>

// A picture box with a persistent backing image: drawing goes into the image, and only a
// refresh copies it to the screen.
class PictureBox final : public QWidget {
    Q_OBJECT
public:
    PictureBox(QWidget* parent, const QSize& size);

    /// The backing image. Its size in pixels is the box's; it may hold more device pixels
    /// per pixel (its devicePixelRatio) to stay sharp on a high-density screen.
    QImage& image() { return image_; }
    const QImage& image() const { return image_; }
    /// Replaces the backing image by `picture`, drawn at its own size in pixels (its device
    /// pixels over its devicePixelRatio).
    void setPicture(const QImage& picture);
    /// Makes the backing image anew, black, with `ratio` device pixels per pixel.
    void setImageDevicePixelRatio(qreal ratio);
    /// Copies the backing image to the screen.
    void Refresh() { update(); }

signals:
    // Mouse events with the button bits (1 left, 2 right, 4 middle), the shift bits and the
    // position in pixels. From a press to its release every mouse event comes here, wherever
    // the pointer goes. A double click counts as a second press.
    void MouseDown(int Button, int Shift, float X, float Y);
    void MouseUp(int Button, int Shift, float X, float Y);
    void MouseMove(int Button, int Shift, float X, float Y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QImage image_;
};
