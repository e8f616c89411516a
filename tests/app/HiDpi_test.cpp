// The panel on a high-density screen: drawn from the pictures of twice the resolution, pixel for
// pixel, while the button still answers in the panel's own pixels. The screen has two device
// pixels per pixel unless the run sets QT_SCALE_FACTOR itself (the densities that scale the
// pictures are run that way too).
#include "Basic.h"
#include "FakeAudioLibrary.h"
#include "FakeHost.h"
#include "PictureBox.h"
#include "Program.h"
#include "frmMain.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

// Qt reads the factor when the application is made, after the static initialisation.
const bool kScaled = [] {
    if (qEnvironmentVariableIsEmpty("QT_SCALE_FACTOR")) qputenv("QT_SCALE_FACTOR", "2");
    return true;
}();

QImage rgb(const QImage& image) { return image.convertToFormat(QImage::Format_RGB32); }

// The largest difference of one channel between two images of the same size.
int largestDifference(const QImage& a, const QImage& b)
{
    int largest = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            largest = std::max({largest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                std::abs(qBlue(p) - qBlue(q))});
        }
    return largest;
}

double meanDifference(const QImage& a, const QImage& b)
{
    double sum = 0.0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * a.width() * a.height());
}

struct HiDpi : ::testing::Test {
    QTemporaryDir programDir;
    FakeHost host;
    FakeAudioLibrary audio;
    Program program{host, audio};
    std::unique_ptr<frmMain> form;
    qreal screenRatio = 1.0;
    qreal artRatio = 1.0; // the pictures' density: 2 from 1.5 up

    void SetUp() override
    {
        ASSERT_TRUE(kScaled);
        host.programDir = programDir.path();
        form = std::make_unique<frmMain>(program);
        form->Load();
        program.state.BellBuffer = 11;
        audio.calls.clear();
        screenRatio = form->devicePixelRatioF();
        artRatio = screenRatio >= 1.5 ? 2.0 : 1.0;
    }

    QImage art(const char* name) const
    {
        return rgb(QImage(artRatio == 2.0 ? QStringLiteral(":/%1@2x.png").arg(QLatin1String(name))
                                          : QStringLiteral(":/%1.png").arg(QLatin1String(name))));
    }
    QImage cell(int index) const
    {
        const int side = int(48 * artRatio);
        return art("switch").copy(index * side, 0, side, side);
    }
    // A rectangle of the panel's pixels in the device pixels of `image`.
    static QRect device(const QRect& r, qreal ratio)
    {
        return QRect(qRound(r.x() * ratio), qRound(r.y() * ratio), qRound(r.width() * ratio), qRound(r.height() * ratio));
    }
    // Presses and releases the left button at `at` in the window, through the window system's
    // path from device pixels to the panel's pixels.
    void press(QPoint at) { QTest::mousePress(form->windowHandle(), Qt::LeftButton, Qt::NoModifier, at); }
    void release(QPoint at) { QTest::mouseRelease(form->windowHandle(), Qt::LeftButton, Qt::NoModifier, at); }
};

TEST_F(HiDpi, TheButtonAnswersInThePanelsPixels)
{
    ASSERT_NE(form->windowHandle(), nullptr);
    const QPoint centre = form->picDest->pos() + QPoint(24, 24);

    press(centre);
    EXPECT_EQ(form->ON_Flag, -1);
    EXPECT_EQ(std::count(audio.calls.begin(), audio.calls.end(), "dsPlayLooping(11)"), 1);
    EXPECT_EQ(rgb(form->picDest->image()), cell(1));
    EXPECT_EQ(form->picDest->image().devicePixelRatio(), artRatio);
    release(centre);
    EXPECT_EQ(form->ON_Flag, 0);
    EXPECT_EQ(rgb(form->picDest->image()), cell(0));

    audio.calls.clear(); // the door timer of the release may run meanwhile: only the bell counts
    press(centre + QPoint(16, 0)); // on the rim: not the button
    EXPECT_EQ(form->ON_Flag, 0);
    EXPECT_EQ(std::count(audio.calls.begin(), audio.calls.end(), "dsPlayLooping(11)"), 0);
    release(centre + QPoint(16, 0));

    press(centre + QPoint(0, 15));
    EXPECT_EQ(form->ON_Flag, -1);
    release(centre + QPoint(0, 15));
}

TEST_F(HiDpi, ThePanelIsDrawnFromThePicturesOfItsDensity)
{
    const QImage shot = rgb(form->grab().toImage());
    ASSERT_EQ(shot.size(), QSize(qRound(320 * screenRatio), qRound(64 * screenRatio)));
    const QRect button = device(form->picDest->geometry(), screenRatio);
    QImage plate = art("plate");
    QImage released = cell(0);

    if (screenRatio == artRatio) {
        // Pixel for pixel: nothing scaled.
        EXPECT_EQ(shot.copy(button), released);
        const QRect labels[] = {device(form->lblFileName->geometry(), screenRatio),
                                device(form->lblFileInfo->geometry(), screenRatio)};
        int wrong = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) {
                const QPoint at(x, y);
                if (button.contains(at) || labels[0].contains(at) || labels[1].contains(at)) continue;
                if (shot.pixel(at) != plate.pixel(at)) ++wrong;
            }
        EXPECT_EQ(wrong, 0);

        press(form->picDest->pos() + QPoint(24, 24));
        EXPECT_EQ(rgb(form->grab().toImage()).copy(button), cell(1));
        release(form->picDest->pos() + QPoint(24, 24));
    } else {
        // Scaled to the screen: the whole picture in the right place, near what a smooth scaling
        // of the picture gives; the other cell of the sheet is far from it.
        const QImage expected = released.scaled(button.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QImage other = cell(1).scaled(button.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const double near = meanDifference(shot.copy(button), expected);
        EXPECT_LT(near, 3.0);
        EXPECT_GT(meanDifference(shot.copy(button), other), 2.0 * near + 2.0);
        // The bevel's corners and the plate's far end, away from the labels.
        const QImage plateScaled = plate.scaled(shot.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QRect corner = device(QRect(296, 0, 24, 64), screenRatio);
        EXPECT_LT(largestDifference(shot.copy(corner), plateScaled.copy(corner)), 24);
        EXPECT_LT(meanDifference(shot.copy(corner), plateScaled.copy(corner)), 2.0);
    }
}

// The boxes' rectangles are in pixels whatever the images' density.
TEST(HiDpiBlit, CopiesTheRectangleInTheBoxesPixels)
{
    QWidget parent;
    PictureBox source(&parent, QSize(96, 48));
    QImage pattern(192, 96, QImage::Format_RGB32);
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 192; ++x) pattern.setPixel(x, y, qRgb(x, y * 2, (x * 7 + y) % 256));
    pattern.setDevicePixelRatio(2);
    source.setPicture(pattern);
    PictureBox dest(&parent, QSize(48, 48));
    dest.setImageDevicePixelRatio(2);
    ASSERT_EQ(dest.image().size(), QSize(96, 96));

    BlitPicture(dest, 0, 0, 48, 48, source, 48, 0, SRCCOPY);
    EXPECT_EQ(dest.image(), source.image().copy(96, 0, 96, 96));

    dest.image().fill(Qt::black);
    BlitPicture(dest, 10, 20, 5, 6, source, 1, 2, SRCCOPY);
    const QImage& image = dest.image();
    EXPECT_EQ(image.copy(20, 40, 10, 12), source.image().copy(2, 4, 10, 12));
    EXPECT_EQ(image.pixel(19, 40), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(30, 40), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(20, 39), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(20, 52), qRgb(0, 0, 0));
}

} // namespace
