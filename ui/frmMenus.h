#pragma once

#include "Door.h"
#include "INI.h"

#include <QObject>
#include <QPoint>

#include <vector>

class QAction;
class QLabel;
class QMenu;
class QWidget;
class WindowTimer;
struct CommonDialog;
struct Program;

/// The parts of the main window the commands act on.
struct MainWindowParts {
    QWidget& window;
    QLabel& lblFileName;
    QLabel& lblFileInfo;
    WindowTimer& Timer1;
    CommonDialog& CmDialog;
};

// Owns the program's menus and never shows itself: the shortcut menu mnuTitle, and its mirror
// mnuTopOption whose check marks follow their twins'. Each item's command is its *_Click.
class frmMenus final : public QObject, public DoorMenus, public EffectChecks {
    Q_OBJECT
public:
    frmMenus(Program& program, const MainWindowParts& main);
    ~frmMenus() override;

    /// Opens the shortcut menu with its left edge at `globalPos`; either mouse button chooses.
    void popUp(const QPoint& globalPos);

    void addDoorEntry(const QString& caption) override;
    void setDoorChecked(int index, bool checked) override;
    void setEffectChecks(const ProgramState& state) override;

    void mnuFileOpen_Click();
    void mnuExit_Click();
    void mnuUseFadeIn_Click();
    void mnuUseFadeOut_Click();
    void mnuEffectUrawa_Click();
    void mnuDoor_Click(int index);
    void mnuOptions_Click();
    void mnuHelp_Click();
    void mnuAbout_Click();

    QMenu* mnuTitle;
    QAction* mnuFileOpen;
    QAction* mnuBar1;
    QAction* mnuExit;
    QAction* mnuBar2;
    QMenu* mnuTitleEffects;
    QAction* mnuUseFadeIn;
    QAction* mnuUseFadeOut;
    QAction* mnuEffectUrawa;
    QAction* mnuTopMost;
    QMenu* mnuDoors;
    std::vector<QAction*> mnuDoor;
    QAction* mnuOptions;
    QAction* mnuBar3;
    QAction* mnuHelp;
    QAction* mnuAbout;

    QMenu* mnuTopOption;
    QMenu* mnuTitleEffects2;
    QAction* mnuUseFadeIn2;
    QAction* mnuUseFadeOut2;
    QAction* mnuEffectUrawa2;
    QMenu* mnuDoors2;
    std::vector<QAction*> mnuDoor2;
    QAction* mnuBar4;
    QAction* mnuOption2;

private:
    void toggle(QAction* item, QAction* twin, std::int16_t& setting);
    SettingsTargets targets();
    void save();

    Program& program_;
    MainWindowParts main_;
};
