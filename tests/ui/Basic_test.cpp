#include "Basic.h"
#include "FakeHost.h"
#include "PictureBox.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPainter>
#include <QWidget>
#include <QWindow>

#include <stdexcept>

namespace {

// Counts the repaints that reach the screen.
struct CountingWidget : QWidget {
    int paints = 0;
    void paintEvent(QPaintEvent*) override { ++paints; }
};

QImage pattern(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) image.setPixel(x, y, qRgb(x * 2, y * 4, (x + y) % 256));
    return image;
}

TEST(BlitPicture, CopiesOneRectangleIntoTheBackingImageOnly)
{
    QWidget parent;
    PictureBox source(&parent, QSize(96, 48));
    source.setPicture(pattern(QSize(96, 48)));
    PictureBox dest(&parent, QSize(48, 48));
    dest.image().fill(Qt::black);

    BlitPicture(dest, 0, 0, 48, 48, source, 48, 0, SRCCOPY);
    EXPECT_EQ(dest.image(), source.image().copy(48, 0, 48, 48));

    dest.image().fill(Qt::black);
    BlitPicture(dest, 10, 20, 5, 6, source, 1, 2, SRCCOPY);
    EXPECT_EQ(dest.image().pixel(10, 20), source.image().pixel(1, 2));
    EXPECT_EQ(dest.image().pixel(14, 25), source.image().pixel(5, 7));
    EXPECT_EQ(dest.image().pixel(15, 25), qRgb(0, 0, 0));
    EXPECT_EQ(dest.image().pixel(9, 20), qRgb(0, 0, 0));
}

TEST(BlitPicture, AsksForNoRepaint)
{
    CountingWidget window;
    window.resize(100, 100);
    PictureBox source(&window, QSize(96, 48));
    PictureBox dest(&window, QSize(48, 48));
    window.show();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    const int before = window.paints;

    BlitPicture(dest, 0, 0, 48, 48, source, 0, 0, SRCCOPY);
    QCoreApplication::processEvents();

    EXPECT_EQ(window.paints, before);
}

TEST(SetTopMost, OnlyMinusOneMeansTopMostAndTheWindowNeverMoves)
{
    QWidget form(nullptr, Qt::Window | Qt::FramelessWindowHint);
    form.setGeometry(40, 50, 320, 64);
    form.show();
    ASSERT_NE(form.windowHandle(), nullptr);
    const QRect geometry = form.geometry();

    struct Row {
        std::int16_t flag;
        bool topMost;
    };
    for (const Row row : {Row{-1, true}, Row{1, false}, Row{-1, true}, Row{0, false}, Row{-1, true},
                          Row{2, false}, Row{-2, false}}) {
        SetTopMost(form, row.flag);
        SCOPED_TRACE(row.flag);
        EXPECT_EQ(form.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint), row.topMost);
        EXPECT_EQ(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint), row.topMost);
        EXPECT_TRUE(form.windowFlags().testFlag(Qt::FramelessWindowHint));
        EXPECT_TRUE(form.isVisible());
        EXPECT_EQ(form.geometry(), geometry);
    }
}

TEST(SetTopMost, BeforeTheWindowExistsTheFlagIsKeptForIt)
{
    QWidget form(nullptr, Qt::Window);
    SetTopMost(form, -1);
    form.show();
    ASSERT_NE(form.windowHandle(), nullptr);
    EXPECT_TRUE(form.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST(ShowHelp, OpensTheContentsOwnedByTheMainWindow)
{
    FakeHost host;
    QWidget mainWindow;

    ShowHelp(host, mainWindow);

    ASSERT_EQ(host.helpCalls.size(), 1u);
    EXPECT_EQ(host.helpCalls[0].owner, &mainWindow);
    EXPECT_EQ(host.helpCalls[0].helpFile, QStringLiteral("TARNEK.HLP"));
    EXPECT_EQ(host.helpCalls[0].command, HELP_CONTENTS);
    EXPECT_EQ(host.helpCalls[0].data, 0);
    EXPECT_TRUE(host.messages.empty());
}

TEST(ShowHelp, EmptyNameDoesNothingAndAFailureIsShownNotPassedOn)
{
    FakeHost host;
    QWidget mainWindow;
    ShowHelp(host, mainWindow, QString());
    EXPECT_TRUE(host.helpCalls.empty());
    EXPECT_TRUE(host.messages.empty());

    host.onWinHelp = [](const FakeHost::HelpCall&) { throw std::runtime_error("ヘルプを表示できません"); };
    EXPECT_NO_THROW(ShowHelp(host, mainWindow));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].prompt, QStringLiteral("ヘルプを表示できません"));
    EXPECT_EQ(host.messages[0].style, MsgBoxStyle::vbOKOnly);
    EXPECT_EQ(host.messages[0].title, QStringLiteral("タルネク"));
}

} // namespace
