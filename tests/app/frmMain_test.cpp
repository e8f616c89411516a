#include "FakeAudioLibrary.h"
#include "FakeHost.h"
#include "PictureBox.h"
#include "Program.h"
#include "WindowTimer.h"
#include "frmMain.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QWindow>

#include <memory>

using ::testing::ElementsAre;

namespace {

const QString kNoSound = QStringLiteral(
    "DirectSoundが使えません。\r\n\r\n"
    "サウンド機能とDirectXが正しくインストールされていないか、他のアプリケーションがサウンドを再生中です。");

struct Fixture : ::testing::Test {
    FakeHost host;
    FakeAudioLibrary audio;
    Program program{host, audio};
    std::unique_ptr<frmMain> form = std::make_unique<frmMain>(program);

    QImage releasedCell() const
    {
        return QImage(QStringLiteral(":/switch.png")).copy(0, 0, 48, 48).convertToFormat(QImage::Format_RGB32);
    }
};

using StartUp = Fixture;
using ShutDown = Fixture;
using MainWindow = Fixture;

TEST_F(StartUp, RetryTriesTheDeviceAgainUntilItOpens)
{
    audio.script("dsInit2", {0, 0, 7});
    host.answers = {MsgBoxResult::vbRetry, MsgBoxResult::vbRetry};

    form->Load();

    EXPECT_EQ(audio.callsOf("dsInit2"), (std::vector<std::string>{"dsInit2(2)", "dsInit2(2)", "dsInit2(2)"}));
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[0].prompt, kNoSound);
    EXPECT_EQ(host.messages[0].style, MsgBoxStyle::vbRetryCancel | MsgBoxStyle::vbExclamation);
    EXPECT_EQ(host.messages[0].title, QStringLiteral("タルネク"));
    EXPECT_THAT(audio.names(), ElementsAre("dsInit2", "dsInit2", "dsInit2", "dsInitMusic", "dsSetGlobalFocus"));
    EXPECT_EQ(audio.calls.back(), "dsSetGlobalFocus(-1)");
    EXPECT_FALSE(host.endedWith);
    EXPECT_TRUE(form->isVisible());
}

TEST_F(StartUp, CancelEndsTheProgramWithoutWindowOrShutdown)
{
    audio.script("dsInit2", {0, 0});
    host.answers = {MsgBoxResult::vbRetry, MsgBoxResult::vbCancel};

    form->Load();

    ASSERT_EQ(host.messages.size(), 3u);
    EXPECT_EQ(host.messages[2].prompt, QStringLiteral("タルネクを起動できませんでした。"));
    EXPECT_EQ(host.messages[2].style, MsgBoxStyle::vbOKOnly | MsgBoxStyle::vbCritical);
    EXPECT_EQ(host.endedWith, 1);
    EXPECT_FALSE(form->isVisible());
    EXPECT_THAT(audio.names(), ElementsAre("dsInit2", "dsInit2"));
}

TEST_F(StartUp, NoMusicShowsItsMessageStopsAndStillShowsTheReleasedSwitch)
{
    audio.script("dsInitMusic", {0});

    form->Load();

    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].prompt, QStringLiteral("DirectMusicが使えません。"));
    EXPECT_EQ(host.messages[0].style, MsgBoxStyle::vbOKOnly);
    EXPECT_EQ(host.pointers, std::vector<MousePointer>{MousePointer::Default});
    EXPECT_THAT(audio.names(), ElementsAre("dsInit2", "dsInitMusic"));
    EXPECT_FALSE(host.endedWith);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->picDest->image(), releasedCell());
}

TEST_F(ShutDown, FreesTheSoundsClosesTheLibraryAndEnds)
{
    form->Load();
    program.state.FadeActive = -1;
    program.state.DoorBuffer = 11;
    program.state.BellBuffer = 12;
    program.state.NoiseBuffer = 13;
    program.state.BellSegment = 14;
    audio.calls.clear();

    form->close();

    EXPECT_THAT(audio.calls, ElementsAre("dsFree(11)", "dsFree(12)", "dsFree(13)", "dsFreeMusicSegment(14)",
                                         "dsQuitMusic()", "dsQuit()"));
    EXPECT_EQ(program.state.FadeActive, 0);
    EXPECT_EQ(program.state.DoorBuffer, 0);
    EXPECT_EQ(program.state.BellSegment, 0);
    EXPECT_EQ(host.endedWith, 0);
}

TEST_F(MainWindow, IsAFramelessPanelShowingTheReleasedSwitch)
{
    form->Load();

    EXPECT_EQ(form->size(), QSize(320, 64));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("タルネク"));
    EXPECT_TRUE(form->windowFlags().testFlag(Qt::FramelessWindowHint));
    ASSERT_NE(form->windowHandle(), nullptr);
    EXPECT_TRUE(form->windowHandle()->flags().testFlag(Qt::FramelessWindowHint));
    EXPECT_FALSE(form->windowIcon().isNull());

    EXPECT_EQ(form->picDest->geometry(), QRect(8, 8, 48, 48));
    EXPECT_EQ(form->picDest->image(), releasedCell());
    // What reaches the screen is the backing image.
    EXPECT_EQ(form->picDest->grab().toImage().convertToFormat(QImage::Format_RGB32), releasedCell());
    EXPECT_FALSE(form->picSrc->isVisible());
    EXPECT_EQ(form->picDest->cursor().hotSpot(), QPoint(5, 0));

    EXPECT_EQ(form->lblFileName->pos(), QPoint(64, 8));
    EXPECT_EQ(form->lblFileName->text(), QString());
    EXPECT_EQ(form->lblFileInfo->geometry(), QRect(64, 32, 249, 28));
    EXPECT_EQ(form->lblFileInfo->text(), QStringLiteral("-"));
    EXPECT_EQ(form->lblFileInfo->palette().color(QPalette::WindowText), QColor(255, 255, 255));
    EXPECT_EQ(form->lblFileInfo->font().pointSize(), 9);

    EXPECT_EQ(form->Timer1->Interval(), 1301);
    EXPECT_FALSE(form->Timer1->Enabled());
    EXPECT_EQ(form->tmrVolReset->Interval(), 0);
    EXPECT_FALSE(form->tmrVolReset->Enabled());
}

} // namespace
