// Game controllers as the switch, with SDL's virtual controllers standing in for switch boxes.
#include "FakeAudioLibrary.h"
#include "FakeHost.h"
#include "GameControllers.h"
#include "PictureBox.h"
#include "Program.h"
#include "WindowTimer.h"
#include "frmMain.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QTemporaryDir>

#include <SDL.h>

#include <memory>
#include <string>
#include <vector>

namespace {

struct Controllers : ::testing::Test {
    QTemporaryDir programDir;
    FakeHost host;
    FakeAudioLibrary audio;
    Program program{host, audio};
    GameControllers controllers;
    std::unique_ptr<frmMain> form;

    void SetUp() override
    {
        ASSERT_TRUE(controllers.started());
        host.programDir = programDir.path();
        form = std::make_unique<frmMain>(program);
        form->Load();
        form->listenTo(controllers);
        program.state.BellBuffer = 11;
        program.state.DoorBuffer = 12;
        program.state.NoiseBuffer = 13;
        audio.calls.clear();
    }

    bool showsPressed() const
    {
        return form->picDest->image()
               == QImage(QStringLiteral(":/switch.png")).copy(48, 0, 48, 48).convertToFormat(QImage::Format_RGB32);
    }

    SDL_Joystick* plugIn()
    {
        const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 2, 8, 1);
        controllers.readEvents();
        return SDL_JoystickOpen(index);
    }
    void unplug(SDL_Joystick* pad)
    {
        for (int index = 0; index < SDL_NumJoysticks(); ++index)
            if (SDL_JoystickGetDeviceInstanceID(index) == SDL_JoystickInstanceID(pad)) SDL_JoystickDetachVirtual(index);
        controllers.readEvents();
        SDL_JoystickClose(pad);
    }
    void button(SDL_Joystick* pad, int number, bool down)
    {
        SDL_JoystickSetVirtualButton(pad, number, down ? 1 : 0);
        controllers.readEvents();
    }
    void key(QEvent::Type type, Qt::Key which = Qt::Key_Space)
    {
        QKeyEvent event(type, which, Qt::NoModifier);
        QApplication::sendEvent(form->picDest, &event);
    }
    // What the switch did, then ready for the next round.
    std::vector<std::string> takeCalls()
    {
        std::vector<std::string> calls;
        calls.swap(audio.calls);
        form->Timer1->setEnabled(false);
        return calls;
    }
};

TEST_F(Controllers, AButtonDoesWhatAKeyDoesWhileAnotherWindowHasTheFocus)
{
    QWidget elsewhere;
    elsewhere.show();
    QApplication::setActiveWindow(&elsewhere);
    ASSERT_FALSE(form->isActiveWindow());

    key(QEvent::KeyPress);
    key(QEvent::KeyRelease);
    const std::vector<std::string> byKey = takeCalls();
    ASSERT_FALSE(byKey.empty());

    SDL_Joystick* pad = plugIn();
    ASSERT_EQ(controllers.count(), 1);
    button(pad, 5, true);
    EXPECT_EQ(form->ON_Flag, -1);
    EXPECT_TRUE(showsPressed());
    // Sticks and hats are not the switch.
    SDL_JoystickSetVirtualAxis(pad, 0, 32000);
    SDL_JoystickSetVirtualHat(pad, 0, SDL_HAT_UP);
    controllers.readEvents();
    SDL_JoystickSetVirtualAxis(pad, 0, 0);
    SDL_JoystickSetVirtualHat(pad, 0, SDL_HAT_CENTERED);
    controllers.readEvents();
    EXPECT_EQ(form->ON_Flag, -1);
    button(pad, 5, false);
    EXPECT_EQ(form->ON_Flag, 0);
    EXPECT_FALSE(showsPressed());
    EXPECT_TRUE(form->Timer1->Enabled()) << "the door announcement follows";
    EXPECT_EQ(takeCalls(), byKey);
    unplug(pad);
}

TEST_F(Controllers, OverlappingButtonsOfOneOrTwoControllersFollowTheKeyRules)
{
    // The first release ends the bell; the other key's release finds nothing to release.
    key(QEvent::KeyPress, Qt::Key_A);
    key(QEvent::KeyPress, Qt::Key_B);
    key(QEvent::KeyRelease, Qt::Key_A);
    EXPECT_EQ(form->ON_Flag, 0);
    key(QEvent::KeyRelease, Qt::Key_B);
    const std::vector<std::string> byKeys = takeCalls();

    SDL_Joystick* first = plugIn();
    SDL_Joystick* second = plugIn();
    ASSERT_EQ(controllers.count(), 2);
    for (SDL_Joystick* other : {first, second}) {
        button(first, 0, true);
        button(other, 3, true);
        button(first, 0, false);
        EXPECT_EQ(form->ON_Flag, 0);
        button(other, 3, false);
        EXPECT_EQ(takeCalls(), byKeys);
    }
    // A key and a button together, the same way.
    key(QEvent::KeyPress);
    button(second, 1, true);
    key(QEvent::KeyRelease);
    button(second, 1, false);
    EXPECT_EQ(takeCalls(), byKeys);
    unplug(first);
    unplug(second);
}

TEST_F(Controllers, UnpluggedWhileHeldReleasesAndAControllerPluggedInLaterWorks)
{
    SDL_Joystick* pad = plugIn();
    button(pad, 2, true);
    ASSERT_EQ(form->ON_Flag, -1);
    unplug(pad);
    EXPECT_EQ(controllers.count(), 0);
    EXPECT_EQ(form->ON_Flag, 0);
    EXPECT_FALSE(showsPressed());
    EXPECT_EQ(audio.calls.back(), "dsStop(11)");
    EXPECT_TRUE(form->Timer1->Enabled());
    takeCalls();

    SDL_Joystick* next = plugIn();
    EXPECT_EQ(controllers.count(), 1);
    button(next, 7, true);
    EXPECT_EQ(form->ON_Flag, -1);
    button(next, 7, false);
    EXPECT_EQ(form->ON_Flag, 0);
    unplug(next);
}

TEST_F(Controllers, APressWhileOurDialogIsOpenGoesNowhereAndAReleaseAlwaysReleases)
{
    SDL_Joystick* pad = plugIn();
    button(pad, 0, true);
    ASSERT_EQ(form->ON_Flag, -1);
    {
        QDialog dialog(form.get());
        dialog.setModal(true);
        dialog.show();
        button(pad, 0, false);
        EXPECT_EQ(form->ON_Flag, 0) << "released under the dialog";
        takeCalls();
        button(pad, 0, true);
        EXPECT_EQ(form->ON_Flag, 0) << "a key would have gone to the dialog";
        EXPECT_TRUE(audio.calls.empty());
        button(pad, 0, false);
    }
    button(pad, 0, true);
    EXPECT_EQ(form->ON_Flag, -1);
    unplug(pad);
    EXPECT_EQ(form->ON_Flag, 0);
}

} // namespace
