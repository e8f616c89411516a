#pragma once

#include <QImage>
#include <QWidget>

// A picture box with a persistent backing image: drawing goes into the image, and only a
// refresh copies it to the screen.
class PictureBox final : public QWidget {
    Q_OBJECT
public:
    PictureBox(QWidget* parent, const QSize& size);

    QImage& image() { return image_; }
    const QImage& image() const { return image_; }
    /// Replaces the backing image by `picture`, drawn at its own size.
    void setPicture(const QImage& picture);
    /// Copies the backing image to the screen.
    void Refresh() { update(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
};
