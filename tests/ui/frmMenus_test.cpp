// The menus and their commands, with the recording audio fake, a scripted host and real files.
#include "CommonDialog.h"
#include "FakeAudioLibrary.h"
#include "FakeHost.h"
#include "Program.h"
#include "WindowTimer.h"
#include "Basic.h"
#include "frmAbout.h"
#include "frmMenus.h"
#include "frmOptions.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QPushButton>
#include <QApplication>
#include <QMouseEvent>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QImage>
#include <QMenu>
#include <QScreen>
#include <QStyleOptionMenuItem>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <QWidget>

#include <algorithm>
#include <functional>
#include <utility>

namespace {

struct Menus : ::testing::Test {
    QTemporaryDir programDir;
    FakeHost host;
    FakeAudioLibrary audio;
    Program program{host, audio};
    QWidget window;
    QLabel lblFileName{&window};
    QLabel lblFileInfo{&window};
    WindowTimer Timer1{&window, 1301, false};
    CommonDialog CmDialog;
    frmMenus menus{program, MainWindowParts{window, lblFileName, lblFileInfo, Timer1, CmDialog}};

    void SetUp() override
    {
        host.programDir = programDir.path();
        audio.defaults["dsCreateDSB"] = 7;
        program.state.settingsRead = true; // as after a start-up
    }
    QString ini() const { return programDir.filePath(QStringLiteral("tarnek.ini")); }
    QByteArray stored() const
    {
        QFile f(ini());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void touch(const QString& path, const QByteArray& bytes = "RIFF....WAVE")
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    static QStringList captions(const QMenu* menu)
    {
        QStringList out;
        for (const QAction* a : menu->actions()) out << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return out;
    }
    int checkedDoor() const
    {
        int found = -1;
        for (int i = 0; i < int(menus.mnuDoor.size()); ++i) {
            EXPECT_EQ(menus.mnuDoor[i]->isChecked(), menus.mnuDoor2[i]->isChecked()) << i;
            EXPECT_EQ(menus.mnuDoor[i]->text(), menus.mnuDoor2[i]->text()) << i;
            if (menus.mnuDoor[i]->isChecked()) {
                EXPECT_EQ(found, -1) << "two checked";
                found = i;
            }
        }
        return found;
    }
};

TEST_F(Menus, TheShortcutMenuAndItsMirrorAsDesigned)
{
    EXPECT_EQ(captions(menus.mnuTitle),
              (QStringList{"開く(&O)...", "-", "終了(&X)", "-", "エフェクト(&E)", "常に手前に表示(&T)",
                           "ドア閉め放送(&D)", "オプション(&O)...", "-", "ヘルプ(&H)", "バージョン情報(&A)"}));
    EXPECT_EQ(menus.mnuTitle->defaultAction(), menus.mnuExit);
    EXPECT_FALSE(menus.mnuTitleEffects->menuAction()->isEnabled());
    EXPECT_FALSE(menus.mnuTopMost->isEnabled());
    EXPECT_EQ(captions(menus.mnuTitleEffects), (QStringList{"東京(&Y)", "立川(&C)", "浦和(&U)"}));
    EXPECT_EQ(captions(menus.mnuDoors), QStringList{"(標準)"});
    EXPECT_EQ(captions(menus.mnuTopOption), (QStringList{"エフェクト(&E)", "ドア閉め放送(&D)", "-", "オプション(&O)..."}));
    EXPECT_TRUE(menus.mnuTitleEffects2->menuAction()->isEnabled());
    EXPECT_EQ(captions(menus.mnuDoors2), QStringList{"(標準)"});
    EXPECT_EQ(checkedDoor(), 0);
    for (QAction* a : {menus.mnuUseFadeIn, menus.mnuUseFadeOut, menus.mnuEffectUrawa, menus.mnuFileOpen, menus.mnuExit})
        EXPECT_FALSE(a->isChecked());
    for (const QAction* a : menus.mnuTitle->actions()) EXPECT_TRUE(a->shortcut().isEmpty());
}

TEST_F(Menus, OpenStoresTheFilterThenLoadsOrDoesNothingOnCancel)
{
    program.state.DefExt = 2;
    menus.mnuFileOpen->trigger(); // no answer scripted: cancel
    EXPECT_EQ(host.openDialogs, 1);
    EXPECT_EQ(program.state.DefExt, 2);
    EXPECT_FALSE(QFile::exists(ini()));
    EXPECT_EQ(program.state.BellBuffer, 0);

    const QString bell = programDir.filePath(QStringLiteral("user/bell.wav"));
    touch(bell);
    host.openAnswers.push_back(FakeHost::OpenChoice{bell, 1}); // a WAVE file under the MIDI filter
    menus.mnuFileOpen->trigger();
    EXPECT_EQ(program.state.DefExt, 0);
    EXPECT_TRUE(stored().contains("DefExt=0"));
    EXPECT_EQ(program.state.BellBuffer, 7);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("bell.wav - タルネク"));
}

TEST_F(Menus, EffectToggles)
{
    program.state.EffectTokyo = 5; // whatever it held: the check mark decides
    menus.mnuUseFadeIn->trigger();
    EXPECT_EQ(program.state.EffectTokyo, -1);
    EXPECT_TRUE(menus.mnuUseFadeIn->isChecked());
    EXPECT_TRUE(menus.mnuUseFadeIn2->isChecked());
    EXPECT_TRUE(stored().contains("EffectTokyo=Yes"));
    menus.mnuUseFadeIn2->trigger(); // the mirror runs its twin's command
    EXPECT_EQ(program.state.EffectTokyo, 0);
    EXPECT_FALSE(menus.mnuUseFadeIn->isChecked());

    menus.mnuUseFadeOut->trigger();
    EXPECT_EQ(program.state.EffectTachikawa, -1);
    EXPECT_TRUE(menus.mnuUseFadeOut2->isChecked());

    QFile::remove(ini());
    menus.mnuEffectUrawa->trigger();
    EXPECT_EQ(program.state.EffectUrawa, -1);
    EXPECT_TRUE(menus.mnuEffectUrawa2->isChecked());
    menus.mnuEffectUrawa->trigger();
    EXPECT_EQ(program.state.EffectUrawa, 0);
    EXPECT_FALSE(menus.mnuEffectUrawa->isChecked());
    EXPECT_FALSE(QFile::exists(ini())); // Urawa writes nothing

    // Greyed items do nothing.
    menus.mnuTopMost->trigger();
    menus.mnuTitleEffects->menuAction()->trigger();
    EXPECT_FALSE(QFile::exists(ini()));
}

TEST_F(Menus, DoorEntriesAreBuiltSortedAndTheSavedOneLoaded)
{
    for (const char* name : {"b.wav", "A.wav", "c.wav"}) touch(programDir.filePath(QStringLiteral("Door/") + name));
    program.state.DoorBuffer = 3;
    program.state.DoorWAV = QStringLiteral("b.wav");
    BuildDoorMenus(program, menus);
    EXPECT_EQ(captions(menus.mnuDoors), (QStringList{"(標準)", "A.wav", "b.wav", "c.wav"}));
    EXPECT_EQ(captions(menus.mnuDoors2), captions(menus.mnuDoors));
    EXPECT_EQ(checkedDoor(), 2);
    EXPECT_EQ(audio.calls.front(), "dsFree(3)");
    EXPECT_EQ(program.state.DoorBuffer, 7);
}

TEST_F(Menus, ADoorNameMustMatchExactly)
{
    touch(programDir.filePath(QStringLiteral("door/C.WAV")));
    program.state.DoorBuffer = 3;
    program.state.DoorWAV = QStringLiteral("c.wav");
    BuildDoorMenus(program, menus);
    EXPECT_EQ(captions(menus.mnuDoors), (QStringList{"(標準)", "C.WAV"})); // one file, one entry
    EXPECT_EQ(checkedDoor(), 0);
    EXPECT_EQ(program.state.DoorBuffer, 3); // the standard sound stays
    EXPECT_EQ(program.state.DoorWAV, QStringLiteral("c.wav"));
}

TEST_F(Menus, ChoosingADoorEntryLoadsAndSavesEvenWhenItsFileIsGone)
{
    touch(programDir.filePath(QStringLiteral("Door/gone.wav")));
    touch(programDir.filePath(QStringLiteral("door.wav")));
    BuildDoorMenus(program, menus);
    QFile::remove(programDir.filePath(QStringLiteral("Door/gone.wav")));

    program.state.DoorBuffer = 3;
    menus.mnuDoor[1]->trigger();
    EXPECT_EQ(program.state.DoorBuffer, 0);
    EXPECT_EQ(program.state.DoorWAV, QStringLiteral("gone.wav"));
    EXPECT_EQ(checkedDoor(), 1);
    EXPECT_TRUE(stored().contains("DoorWAV=gone.wav"));
    EXPECT_NE(std::find(audio.calls.begin(), audio.calls.end(), "dsStop(3)"), audio.calls.end());

    // The checked entry again: loaded and saved again.
    QFile::remove(ini());
    menus.mnuDoor2[1]->trigger();
    EXPECT_EQ(checkedDoor(), 1);
    EXPECT_TRUE(QFile::exists(ini()));

    menus.mnuDoor[0]->trigger(); // the standard one
    EXPECT_EQ(program.state.DoorBuffer, 7);
    EXPECT_TRUE(program.state.DoorWAV.isEmpty());
    EXPECT_EQ(checkedDoor(), 0);
    EXPECT_TRUE(stored().contains("DoorWAV=\n"));
}

// What the style is told about an item: QMenu's own description of it.
struct MenuItemOption : QMenu {
    static QStyleOptionMenuItem of(const QMenu* menu, const QAction* action)
    {
        QStyleOptionMenuItem option;
        (menu->*(&MenuItemOption::initStyleOption))(&option, action);
        return option;
    }
};

TEST_F(Menus, OnlyTheChosenDoorHasAMarkAndNamesShowAsTheyAre)
{
    touch(programDir.filePath(QStringLiteral("Door/A&B.wav")));
    touch(programDir.filePath(QStringLiteral("Door/c.wav")));
    BuildDoorMenus(program, menus);
    menus.mnuDoor2[1]->trigger();
    EXPECT_EQ(program.state.DoorWAV, QStringLiteral("A&B.wav"));
    for (auto [menu, items] : {std::pair{menus.mnuDoors, &menus.mnuDoor}, std::pair{menus.mnuDoors2, &menus.mnuDoor2}}) {
        EXPECT_EQ(items->at(1)->iconText(), QStringLiteral("A&B.wav")); // no access key made of the '&'
        for (int i = 0; i < int(items->size()); ++i)
            EXPECT_EQ(MenuItemOption::of(menu, items->at(i)).checkType,
                      i == 1 ? QStyleOptionMenuItem::NonExclusive : QStyleOptionMenuItem::NotCheckable) << i;
    }
}

TEST_F(Menus, TheSettingsSetTheEffectChecks)
{
    program.state.EffectTachikawa = -1;
    program.state.EffectUrawa = 1;
    menus.setEffectChecks(program.state);
    EXPECT_FALSE(menus.mnuUseFadeIn->isChecked());
    EXPECT_TRUE(menus.mnuUseFadeOut->isChecked() && menus.mnuUseFadeOut2->isChecked());
    EXPECT_TRUE(menus.mnuEffectUrawa->isChecked() && menus.mnuEffectUrawa2->isChecked());
}

} // namespace

namespace {

// The open shortcut menu as drawn; set TARNEK_SCREENSHOTS to a folder to keep the pictures.
TEST_F(Menus, TheOpenMenuIsDrawnWithItsDefaultAndGreyedItems)
{
    touch(programDir.filePath(QStringLiteral("Door/発車.wav")));
    BuildDoorMenus(program, menus);
    menus.popUp(QPoint(10, 10));
    ASSERT_TRUE(menus.mnuTitle->isVisible());
    menus.mnuTitle->setActiveAction(menus.mnuDoors->menuAction());
    menus.mnuDoors->popup(menus.mnuTitle->mapToGlobal(menus.mnuTitle->actionGeometry(menus.mnuDoors->menuAction()).topRight()));
    const QImage menu = menus.mnuTitle->grab().toImage();
    const QImage doors = menus.mnuDoors->grab().toImage();
    EXPECT_GT(menu.height(), 8 * menus.mnuTitle->actionGeometry(menus.mnuExit).height()); // all eleven rows
    EXPECT_GE(doors.height(), menus.mnuDoors->actionGeometry(menus.mnuDoor[1]).bottom()); // both door entries
    if (const QByteArray dir = qgetenv("TARNEK_SCREENSHOTS"); !dir.isEmpty()) {
        menu.save(QDir(QString::fromLocal8Bit(dir)).filePath(QStringLiteral("menu.png")));
        doors.save(QDir(QString::fromLocal8Bit(dir)).filePath(QStringLiteral("door-menu.png")));
    }
    menus.mnuDoors->close();
    menus.mnuTitle->close();
}

} // namespace

namespace {

TEST_F(Menus, EitherMouseButtonChoosesAnItem)
{
    for (Qt::MouseButton button : {Qt::RightButton, Qt::LeftButton}) {
        QFile::remove(ini());
        menus.popUp(QPoint(10, 10));
        // The standard door entry stands in for any item that acts: its command saves.
        const QPoint door = menus.mnuTitle->actionGeometry(menus.mnuDoors->menuAction()).center();
        menus.mnuDoors->popup(menus.mnuTitle->mapToGlobal(door));
        const QPoint standard = menus.mnuDoors->actionGeometry(menus.mnuDoor[0]).center();
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(standard), QPointF(menus.mnuDoors->mapToGlobal(standard)),
                          button, button, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(standard),
                            QPointF(menus.mnuDoors->mapToGlobal(standard)), button, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(menus.mnuDoors, &press);
        QApplication::sendEvent(menus.mnuDoors, &release);
        EXPECT_TRUE(QFile::exists(ini())) << "button " << int(button); // the door command saved
        menus.mnuDoors->close();
        menus.mnuTitle->close();
    }
}

} // namespace

namespace {

// Runs `answer` on the modal dialog a command opens, from inside its modal loop.
template <typename Dialog>
bool answerModal(std::function<void()> command, std::function<void(Dialog&)> answer)
{
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) { // not modal: close it, so that the test fails rather than hangs
            for (QWidget* w : QApplication::topLevelWidgets())
                if (qobject_cast<Dialog*>(w) && w->isVisible()) w->close();
            return;
        }
        seen = true;
        answer(*dialog);
    });
    command();
    QCoreApplication::processEvents(); // a timer that found no dialog is spent
    return seen;
}

TEST_F(Menus, OptionsAndVersionOpenTheirDialogsModallyCentredAndOutOfTheWay)
{
    window.winId();
    program.state.TopMost = -1;
    SetTopMost(window, -1);
    const auto topMost = [&] { return window.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint); };
    const QPoint centre = window.screen()->availableGeometry().center();

    // Esc from the shortcut menu's item, OK from the mirror's: one dialog each time, made anew.
    EXPECT_TRUE(answerModal<frmOptions>([&] { menus.mnuOptions->trigger(); }, [&](frmOptions& d) {
        EXPECT_TRUE(d.isModal());
        EXPECT_FALSE(topMost());
        EXPECT_LE((d.frameGeometry().center() - centre).manhattanLength(), 1);
        EXPECT_EQ(d.focusWidget(), d.cmdOK);
        d.chkNoise->setChecked(true);
        QTest::keyClick(&d, Qt::Key_Escape);
    }));
    EXPECT_TRUE(topMost());
    EXPECT_EQ(program.state.Noise, 0);
    EXPECT_TRUE(stored().isEmpty());

    EXPECT_TRUE(answerModal<frmOptions>([&] { menus.mnuOption2->trigger(); }, [&](frmOptions& d) {
        EXPECT_FALSE(d.chkNoise->isChecked());
        d.chkNoise->setChecked(true);
        QTest::keyClick(&d, Qt::Key_Return);
    }));
    EXPECT_EQ(program.state.Noise, -1);
    EXPECT_TRUE(stored().contains("Noise=Yes"));
    EXPECT_TRUE(topMost());

    EXPECT_TRUE(answerModal<frmAbout>([&] { menus.mnuAbout->trigger(); }, [&](frmAbout& d) {
        EXPECT_TRUE(d.isModal());
        EXPECT_FALSE(topMost());
        EXPECT_EQ(d.windowTitle(), QStringLiteral("タルネク のバージョン情報"));
        EXPECT_LE((d.frameGeometry().center() - centre).manhattanLength(), 1);
        QTest::keyClick(&d, Qt::Key_Escape);
    }));
    EXPECT_TRUE(topMost());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

} // namespace
