#include "frmMenus.h"

#include "AudioLibrary.h"
#include "Basic.h"
#include "CommonDialog.h"
#include "Host.h"
#include "Program.h"
#include "Sound.h"
#include "VbDSound.h"
#include "frmAbout.h"
#include "frmOptions.h"

#include <QDir>
#include <QMenu>
#include <QWidget>

namespace {

QAction* item(QMenu* menu, const QString& caption, bool checkable = false)
{
    QAction* action = menu->addAction(caption);
    action->setCheckable(checkable);
    return action;
}

// A door announcement's entry: its file name as it is, with no access key taken from an '&'.
QAction* doorItem(QMenu* menu, const QString& fileName)
{
    QAction* action = menu->addAction(QString(fileName).replace(QLatin1Char('&'), QStringLiteral("&&")));
    action->setData(fileName);
    return action;
}

// Only the chosen announcement is checkable: Fusion draws an empty box beside every checkable
// item, and the list would look like a set of choices to tick.
void choose(QAction* action, bool chosen)
{
    if (chosen) action->setCheckable(true);
    action->setChecked(chosen);
    if (!chosen) action->setCheckable(false);
}

} // namespace

frmMenus::frmMenus(Program& program, const MainWindowParts& main) : program_(program), main_(main)
{
    mnuTitle = new QMenu(QStringLiteral("ショートカット メニュー(&M)"));
    mnuFileOpen = item(mnuTitle, QStringLiteral("開く(&O)..."));
    mnuBar1 = mnuTitle->addSeparator();
    mnuExit = item(mnuTitle, QStringLiteral("終了(&X)"));
    mnuTitle->setDefaultAction(mnuExit); // drawn bold
    mnuBar2 = mnuTitle->addSeparator();
    mnuTitleEffects = mnuTitle->addMenu(QStringLiteral("エフェクト(&E)"));
    mnuTitleEffects->menuAction()->setEnabled(false);
    mnuUseFadeIn = item(mnuTitleEffects, QStringLiteral("東京(&Y)"), true);
    mnuUseFadeOut = item(mnuTitleEffects, QStringLiteral("立川(&C)"), true);
    mnuEffectUrawa = item(mnuTitleEffects, QStringLiteral("浦和(&U)"), true);
    mnuTopMost = item(mnuTitle, QStringLiteral("常に手前に表示(&T)"));
    mnuTopMost->setEnabled(false);
    mnuDoors = mnuTitle->addMenu(QStringLiteral("ドア閉め放送(&D)"));
    mnuOptions = item(mnuTitle, QStringLiteral("オプション(&O)..."));
    mnuBar3 = mnuTitle->addSeparator();
    mnuHelp = item(mnuTitle, QStringLiteral("ヘルプ(&H)"));
    mnuAbout = item(mnuTitle, QStringLiteral("バージョン情報(&A)"));

    mnuTopOption = new QMenu(QStringLiteral("オプション"));
    mnuTitleEffects2 = mnuTopOption->addMenu(QStringLiteral("エフェクト(&E)"));
    mnuUseFadeIn2 = item(mnuTitleEffects2, QStringLiteral("東京(&Y)"), true);
    mnuUseFadeOut2 = item(mnuTitleEffects2, QStringLiteral("立川(&C)"), true);
    mnuEffectUrawa2 = item(mnuTitleEffects2, QStringLiteral("浦和(&U)"), true);
    mnuDoors2 = mnuTopOption->addMenu(QStringLiteral("ドア閉め放送(&D)"));
    mnuBar4 = mnuTopOption->addSeparator();
    mnuOption2 = item(mnuTopOption, QStringLiteral("オプション(&O)..."));

    mnuDoor.push_back(item(mnuDoors, QStringLiteral("(標準)")));
    mnuDoor2.push_back(item(mnuDoors2, QStringLiteral("(標準)")));
    choose(mnuDoor[0], true);
    choose(mnuDoor2[0], true);
    connect(mnuDoor[0], &QAction::triggered, this, [this] { mnuDoor_Click(0); });
    connect(mnuDoor2[0], &QAction::triggered, this, [this] { mnuDoor_Click(0); });

    // Menus keep their own check marks when an item is chosen; the commands set them.
    auto command = [this](QAction* action, void (frmMenus::*handler)()) {
        connect(action, &QAction::triggered, this, [this, action, handler] {
            if (action->isCheckable()) action->setChecked(!action->isChecked()); // undo Qt's own toggle
            (this->*handler)();
        });
    };
    command(mnuFileOpen, &frmMenus::mnuFileOpen_Click);
    command(mnuExit, &frmMenus::mnuExit_Click);
    command(mnuUseFadeIn, &frmMenus::mnuUseFadeIn_Click);
    command(mnuUseFadeIn2, &frmMenus::mnuUseFadeIn_Click);
    command(mnuUseFadeOut, &frmMenus::mnuUseFadeOut_Click);
    command(mnuUseFadeOut2, &frmMenus::mnuUseFadeOut_Click);
    command(mnuEffectUrawa, &frmMenus::mnuEffectUrawa_Click);
    command(mnuEffectUrawa2, &frmMenus::mnuEffectUrawa_Click);
    command(mnuOptions, &frmMenus::mnuOptions_Click);
    command(mnuOption2, &frmMenus::mnuOptions_Click);
    command(mnuHelp, &frmMenus::mnuHelp_Click);
    command(mnuAbout, &frmMenus::mnuAbout_Click);
}

frmMenus::~frmMenus()
{
    delete mnuTitle;
    delete mnuTopOption;
}

void frmMenus::popUp(const QPoint& globalPos)
{
    // Shown without a nested event loop: the command runs when an item is chosen.
    mnuTitle->popup(globalPos);
}

void frmMenus::addDoorEntry(const QString& caption)
{
    const int index = int(mnuDoor.size());
    for (auto [menu, items] : {std::pair{mnuDoors, &mnuDoor}, std::pair{mnuDoors2, &mnuDoor2}}) {
        QAction* entry = doorItem(menu, caption);
        choose(entry, items->front()->isChecked());
        connect(entry, &QAction::triggered, this, [this, index] { mnuDoor_Click(index); }); // sets the marks
        items->push_back(entry);
    }
}

void frmMenus::setDoorChecked(int index, bool checked)
{
    if (index < 0 || index >= int(mnuDoor.size())) return;
    choose(mnuDoor[index], checked);
    choose(mnuDoor2[index], checked);
}

void frmMenus::setEffectChecks(const ProgramState& s)
{
    mnuUseFadeIn->setChecked(s.EffectTokyo != 0);
    mnuUseFadeIn2->setChecked(s.EffectTokyo != 0);
    mnuUseFadeOut->setChecked(s.EffectTachikawa != 0);
    mnuUseFadeOut2->setChecked(s.EffectTachikawa != 0);
    mnuEffectUrawa->setChecked(s.EffectUrawa != 0);
    mnuEffectUrawa2->setChecked(s.EffectUrawa != 0);
}

SettingsTargets frmMenus::targets()
{
    return SettingsTargets{main_.window, main_.Timer1, main_.CmDialog, this};
}

void frmMenus::save()
{
    SaveSettings(program_, targets());
}

void frmMenus::mnuFileOpen_Click()
{
    // A cancel ends the command: nothing stored, written or loaded.
    if (!program_.host.ShowOpen(main_.CmDialog)) return;
    program_.state.DefExt = static_cast<std::int16_t>(main_.CmDialog.FilterIndex - 1);
    save();
    LoadBell(program_, BellDisplay{main_.window, main_.lblFileName, main_.lblFileInfo}, main_.CmDialog.FileName);
}

void frmMenus::mnuExit_Click()
{
    main_.window.close(); // the window's unload frees the sounds, writes the settings and ends
    program_.host.endProgram(0);
}

void frmMenus::toggle(QAction* action, QAction* twin, std::int16_t& setting)
{
    // The check mark, not the setting, decides.
    const bool on = !action->isChecked();
    action->setChecked(on);
    twin->setChecked(on);
    setting = on ? -1 : 0;
    save();
}

void frmMenus::mnuUseFadeIn_Click()
{
    toggle(mnuUseFadeIn, mnuUseFadeIn2, program_.state.EffectTokyo);
}

void frmMenus::mnuUseFadeOut_Click()
{
    toggle(mnuUseFadeOut, mnuUseFadeOut2, program_.state.EffectTachikawa);
}

void frmMenus::mnuEffectUrawa_Click()
{
    std::int16_t& urawa = program_.state.EffectUrawa;
    urawa = static_cast<std::int16_t>(~urawa);
    mnuEffectUrawa->setChecked(urawa == -1);
    mnuEffectUrawa2->setChecked(urawa == -1);
    // Not written now: the next save takes it along.
}

void frmMenus::mnuDoor_Click(int index)
{
    ProgramState& s = program_.state;
    if (index < 0 || index >= int(mnuDoor.size())) return;
    program_.audio.dsStop(s.DoorBuffer);
    program_.audio.dsFree(s.DoorBuffer);
    const QString programDir = program_.host.programDirectory();
    if (index != 0) {
        const QString caption = mnuDoor[index]->data().toString(); // the file name, unescaped
        s.DoorBuffer = LoadWave(program_, QDir(doorDirectory(programDir)).filePath(caption), 1);
        s.DoorWAV = caption;
    } else {
        s.DoorBuffer = LoadWave(program_, QDir(programDir).filePath(QStringLiteral("door.wav")), 1);
        s.DoorWAV.clear();
    }
    for (int i = 0; i < int(mnuDoor.size()); ++i) setDoorChecked(i, false);
    setDoorChecked(index, true);
    save();
}

void frmMenus::mnuOptions_Click()
{
    frmOptions dialog(program_, targets()); // made anew for every opening
    dialog.showModal();
}

void frmMenus::mnuHelp_Click()
{
    ShowHelp(program_.host, main_.window);
}

void frmMenus::mnuAbout_Click()
{
    frmAbout dialog(program_, main_.window);
    dialog.showModal();
}
