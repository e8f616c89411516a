// The switch and the door timers, driven through real Qt events off-screen.
#include "FakeAudioLibrary.h"
#include "FakeHost.h"
#include "PictureBox.h"
#include "Program.h"
#include "WindowTimer.h"
#include "frmMain.h"
#include "frmMenus.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <memory>

using ::testing::ElementsAre;

namespace {

struct Switch : ::testing::Test {
    QTemporaryDir programDir;
    FakeHost host;
    FakeAudioLibrary audio;
    Program program{host, audio};
    std::unique_ptr<frmMain> form;

    void SetUp() override
    {
        host.programDir = programDir.path();
        form = std::make_unique<frmMain>(program);
        form->Load();
        program.state.BellBuffer = 11;
        program.state.DoorBuffer = 12;
        program.state.NoiseBuffer = 13;
        audio.calls.clear();
    }

    int count(const std::string& call) const { return int(std::count(audio.calls.begin(), audio.calls.end(), call)); }
    QImage cell(int x) const
    {
        return QImage(QStringLiteral(":/switch.png")).copy(x, 0, 48, 48).convertToFormat(QImage::Format_RGB32);
    }
    bool showsPressed() const { return form->picDest->image() == cell(48); }
    bool showsReleased() const { return form->picDest->image() == cell(0); }

    void mouse(QWidget& target, QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons held)
    {
        QMouseEvent event(type, at, target.mapToGlobal(at), button, held, Qt::NoModifier);
        QApplication::sendEvent(&target, &event);
    }
    void click(QPointF at, Qt::MouseButton button = Qt::LeftButton)
    {
        mouse(*form->picDest, QEvent::MouseButtonPress, at, button, button);
        mouse(*form->picDest, QEvent::MouseButtonRelease, at, button, Qt::NoButton);
    }
    void key(QEvent::Type type, bool repeat = false)
    {
        QKeyEvent event(type, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), repeat);
        QApplication::sendEvent(form->picDest, &event); // the switch has the focus; the window sees its keys
    }
};

TEST_F(Switch, OnlyTheRoundButtonPresses)
{
    mouse(*form->picDest, QEvent::MouseButtonPress, {24.0 + 16.0, 24.0}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(form->ON_Flag, 0);
    EXPECT_TRUE(audio.calls.empty());
    mouse(*form->picDest, QEvent::MouseButtonRelease, {40.0, 24.0}, Qt::LeftButton, Qt::NoButton);

    mouse(*form->picDest, QEvent::MouseButtonPress, {24.0 + 15.9, 24.0}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(form->ON_Flag, -1);
    EXPECT_TRUE(showsPressed());
    EXPECT_EQ(count("dsPlayLooping(11)"), 1);

    // Released far outside the window: released all the same.
    mouse(*form->picDest, QEvent::MouseButtonRelease, {500.0, -300.0}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(form->ON_Flag, 0);
    EXPECT_TRUE(showsReleased());
    EXPECT_TRUE(form->Timer1->Enabled());
    EXPECT_EQ(audio.calls.back(), "dsStop(11)");
}

TEST_F(Switch, AHeldKeyWithRepeatsStartsAndStopsOnce)
{
    key(QEvent::KeyPress);
    for (int i = 0; i < 20; ++i) { // X11 repeats: release and press pairs, marked as repeats
        key(QEvent::KeyRelease, true);
        key(QEvent::KeyPress, true);
    }
    EXPECT_TRUE(showsPressed());
    key(QEvent::KeyRelease);
    EXPECT_EQ(count("dsPlayLooping(11)"), 1);
    EXPECT_EQ(count("dsStop(11)"), 2); // once in the start, once in the stop
    EXPECT_TRUE(showsReleased());
    EXPECT_TRUE(form->Timer1->Enabled());
}

TEST_F(Switch, AKeyPressThenAClickReleasesOnTheMouseUp)
{
    key(QEvent::KeyPress);
    mouse(*form->picDest, QEvent::MouseButtonPress, {24, 24}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(count("dsPlayLooping(11)"), 1); // the mouse-down does nothing
    mouse(*form->picDest, QEvent::MouseButtonRelease, {24, 24}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(form->ON_Flag, 0);
    key(QEvent::KeyPress, true); // the key is still down: its next repeat presses again
    key(QEvent::KeyPress);
    EXPECT_EQ(count("dsPlayLooping(11)"), 2);
    key(QEvent::KeyRelease);
    EXPECT_EQ(form->ON_Flag, 0);
}

TEST_F(Switch, ADragFromACornerMovesTheWindowAndLeavesTheSwitchAlone)
{
    form->move(200, 100);
    // The pointer's path on the screen, from the picture's top-left corner; each event comes in
    // the picture's coordinates of the moment, as the window moves along.
    const QPoint grab = form->pos() + form->picDest->pos() + QPoint(2, 2);
    auto local = [&](QPoint onScreen) { return QPointF(onScreen - form->pos() - form->picDest->pos()); };
    mouse(*form->picDest, QEvent::MouseButtonPress, local(grab), Qt::LeftButton, Qt::LeftButton);
    for (const QPoint step : {QPoint(2, 1), QPoint(9, 5), QPoint(20, 10)})
        mouse(*form->picDest, QEvent::MouseMove, local(grab + step), Qt::NoButton, Qt::LeftButton);
    mouse(*form->picDest, QEvent::MouseButtonRelease, local(grab + QPoint(20, 10)), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(form->pos(), QPoint(220, 110));
    EXPECT_EQ(form->ON_Flag, 0);
    EXPECT_TRUE(audio.calls.empty());

    // A press that began on the button never moves the window.
    mouse(*form->picDest, QEvent::MouseButtonPress, {24, 24}, Qt::LeftButton, Qt::LeftButton);
    mouse(*form->picDest, QEvent::MouseMove, {2, 2}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(form->pos(), QPoint(220, 110));
}

TEST_F(Switch, ARightClickDrawsTheReleasedSwitchAndLeavesTheBell)
{
    key(QEvent::KeyPress);
    mouse(*form->picDest, QEvent::MouseButtonPress, {24, 24}, Qt::RightButton, Qt::RightButton);
    EXPECT_TRUE(showsPressed()); // a right press alone does nothing
    EXPECT_FALSE(form->menus().mnuTitle->isVisible());
    mouse(*form->picDest, QEvent::MouseButtonRelease, {24, 24}, Qt::RightButton, Qt::NoButton);
    EXPECT_TRUE(showsReleased());
    EXPECT_TRUE(form->menus().mnuTitle->isVisible()); // the shortcut menu opens on the release
    form->menus().mnuTitle->close();
    EXPECT_EQ(form->ON_Flag, -1);
    EXPECT_EQ(count("dsStop(11)"), 1); // only the start's
    key(QEvent::KeyRelease);
    EXPECT_EQ(count("dsStop(11)"), 2);
}

TEST_F(Switch, OnlyADoubleClickOnTheBackgroundCloses)
{
    mouse(*form->lblFileInfo, QEvent::MouseButtonDblClick, {3, 3}, Qt::LeftButton, Qt::LeftButton);
    mouse(*form->picDest, QEvent::MouseButtonDblClick, {2, 2}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_FALSE(host.endedWith);
    mouse(*form, QEvent::MouseButtonDblClick, {200, 60}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(host.endedWith, 0);
}

TEST_F(Switch, TheRightButtonOnTheBackgroundOrALabelOpensTheMenu)
{
    for (QWidget* target : {static_cast<QWidget*>(form.get()), static_cast<QWidget*>(form->lblFileName)}) {
        mouse(*target, QEvent::MouseButtonPress, {2, 2}, Qt::RightButton, Qt::RightButton);
        EXPECT_TRUE(form->menus().mnuTitle->isVisible());
        form->menus().mnuTitle->close();
        mouse(*target, QEvent::MouseButtonRelease, {2, 2}, Qt::RightButton, Qt::NoButton);
    }
    mouse(*form, QEvent::MouseButtonPress, {2, 2}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_FALSE(form->menus().mnuTitle->isVisible());
}

TEST_F(Switch, ExitAndHelpCommands)
{
    form->menus().mnuHelp->trigger();
    ASSERT_EQ(host.helpCalls.size(), 1u);
    EXPECT_EQ(host.helpCalls[0].helpFile, QStringLiteral("TARNEK.HLP"));
    form->menus().mnuExit->trigger();
    EXPECT_EQ(host.endedWith, 0);
    EXPECT_TRUE(QFile::exists(QDir(programDir.path()).filePath(QStringLiteral("tarnek.ini")))); // written on the way out
}

struct Door : Switch {
    void tick()
    {
        audio.calls.clear();
        form->Timer1_Timer();
    }
};

TEST_F(Door, TheAnnouncementFollowsTheSettings)
{
    ProgramState& s = program.state;
    s.Door = -1;
    s.DoorATOS = -1;
    audio.script("dsGetBufferMSec", {2000});
    form->Timer1->setEnabled(true);
    tick();
    EXPECT_FALSE(form->Timer1->Enabled());
    EXPECT_THAT(audio.calls, ElementsAre("dsIsPlaying(12)", "dsPlay(12)", "dsGetBufferMSec(12)"));
    EXPECT_TRUE(form->tmrVolReset->Enabled());
    EXPECT_EQ(form->tmrVolReset->Interval(), 2500);

    // Not exclusive: an announcement still playing is left alone.
    s.DoorATOS = 0;
    audio.script("dsIsPlaying", {1});
    tick();
    EXPECT_THAT(audio.calls, ElementsAre("dsIsPlaying(12)", "dsGetBufferMSec(12)"));

    // DoorCut: a bell still sounding skips the announcement.
    s.DoorCut = -1;
    audio.script("dsIsPlaying", {1, 0});
    tick();
    EXPECT_THAT(audio.calls, ElementsAre("dsIsPlaying(11)", "dsIsPlayingMusicSegment(0)", "dsGetBufferMSec(12)"));
    tick();
    EXPECT_THAT(audio.calls, ElementsAre("dsIsPlaying(11)", "dsIsPlayingMusicSegment(0)", "dsIsPlaying(12)",
                                         "dsPlay(12)", "dsGetBufferMSec(12)"));

    // Urawa: the volumes come back first; without Door no announcement, the reset still armed.
    s.EffectUrawa = -1;
    s.Door = 0;
    tick();
    EXPECT_THAT(audio.calls, ElementsAre("dsSetVolume(11,0)", "dsSetMasterVolume(0)", "dsGetBufferMSec(12)"));
    EXPECT_EQ(form->tmrVolReset->Interval(), 500);
}

TEST_F(Door, TheVolumeResetPlaysTheNoiseAndDisarms)
{
    program.state.Noise = -1;
    form->tmrVolReset->setEnabled(true);
    form->tmrVolReset_Timer();
    EXPECT_THAT(audio.calls, ElementsAre("dsPlayEx(13,0,0,0)", "dsSetMasterVolume(0)", "dsSetVolume(11,0)"));
    EXPECT_FALSE(form->tmrVolReset->Enabled());
    program.state.Noise = 0;
    audio.calls.clear();
    form->tmrVolReset_Timer();
    EXPECT_THAT(audio.calls, ElementsAre("dsSetMasterVolume(0)", "dsSetVolume(11,0)"));
}

TEST_F(Door, TicksLeftOverFromAnEarlierReleaseLeaveAWaitingReleaseAlone)
{
    ProgramState& s = program.state;
    s.Door = -1;
    s.DoorATOS = -1;
    s.Noise = -1;
    s.EffectUrawa = -1; // also with Tachikawa, which wins: the door tick then restores too
    for (const std::int16_t tachikawa : {std::int16_t(0), std::int16_t(-1)}) {
        s.EffectTachikawa = tachikawa;
        const std::string turnedDown = tachikawa == -1 ? "dsSetVolume(11,-1000)" : "dsSetVolume(11,-10000)";
        key(QEvent::KeyPress);
        audio.calls.clear();
        audio.script("dsGetBufferMSec", {2000}); // the bell's pass; the position is 0
        bool ticked = false;
        host.onDoEvents = [&] {
            if (ticked) return;
            ticked = true;
            form->Timer1_Timer();
            form->tmrVolReset_Timer();
        };
        key(QEvent::KeyRelease);
        host.onDoEvents = nullptr;
        // The announcement and the noise as always; the volumes only at the release's end.
        EXPECT_THAT(audio.calls, ElementsAre("dsPlayEx(13,0,0,0)", turnedDown, "dsGetBufferMSec(11)",
                                             "dsGetPositionMSec(11)", "dsIsPlaying(12)", "dsPlay(12)",
                                             "dsGetBufferMSec(12)", "dsPlayEx(13,0,0,0)", "dsStop(11)",
                                             "dsSetVolume(11,0)"));
        EXPECT_TRUE(form->Timer1->Enabled());
    }
    // Once the release is over the door tick restores the volumes again.
    tick();
    EXPECT_EQ(audio.calls.front(), "dsSetVolume(11,0)");
}

TEST_F(Door, AReleaseArmsTheDoorTimerWhichTicksOnItsOwn)
{
    program.state.Door = -1;
    program.state.DoorDelay = 0; // the interval the settings gave: 1 ms
    key(QEvent::KeyPress);
    key(QEvent::KeyRelease);
    ASSERT_TRUE(form->Timer1->Enabled());
    QElapsedTimer waited;
    waited.start();
    while (form->Timer1->Enabled() && waited.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    EXPECT_FALSE(form->Timer1->Enabled());
    EXPECT_EQ(count("dsPlay(12)"), 1);
}

} // namespace
