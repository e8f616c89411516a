#pragma once

#include "CommonDialog.h"
#include "INI.h"

#include <QWidget>

#include <cstdint>
#include <memory>

class GameControllers;
class QLabel;
class frmMenus;
class QMimeData;
class PictureBox;
class WindowTimer;
struct Program;

// The main window: the switch panel. Loading it starts the program, unloading it ends it.
class frmMain final : public QWidget {
    Q_OBJECT
public:
    explicit frmMain(Program& program);
    ~frmMain() override;

    /// The menus, made on first use.
    frmMenus& menus();

    /// Runs the start-up and shows the window unless the start-up ended the program.
    void Load();

    /// The start-up, before the window is shown. Returns false when the program was ended.
    bool Form_Load();
    /// The shutdown; `Cancel` is never set.
    void Form_Unload(std::int16_t& Cancel);

    /// Any key presses the switch; its repeats find it pressed and do nothing.
    void Form_KeyDown(int KeyCode, int Shift);
    /// Any key's release releases the switch.
    void Form_KeyUp(int KeyCode, int Shift);

    /// Every button of every game controller becomes a key, whichever window has the focus.
    void listenTo(GameControllers& controllers);
    /// A controller's button pressed: a key pressed, unless a dialog or menu of ours is open,
    /// where a key would have gone.
    void Controllers_ButtonDown();
    /// A controller's button released, or its controller unplugged while held: a key released.
    void Controllers_ButtonUp();
    /// A left double click on the window background closes the program.
    void Form_DblClick();

    /// The left button on the round button (distance < 16 from (24, 24)) presses the switch.
    void picDest_MouseDown(int Button, int Shift, float X, float Y);
    /// The left button's release releases it, wherever it happens; the right button's release
    /// draws the released switch and opens the shortcut menu.
    void picDest_MouseUp(int Button, int Shift, float X, float Y);
    /// The left button held off the round button while released moves the window.
    void picDest_MouseMove(int Button, int Shift, float X, float Y);

    /// The door delay is over: the announcement, as the settings say.
    void Timer1_Timer();
    /// The announcement is over: the closing noise and full volumes again.
    void tmrVolReset_Timer();

    /// Right button (2): the pop-up menu.
    void Form_MouseDown(int Button, int Shift, int X, int Y);
    /// Left button (1) held: the window moves with the mouse.
    void Form_MouseMove(int Button, int Shift, int X, int Y);
    /// Effect (1 copy) stays only when the data lists files of this machine; the names are not examined.
    void Form_OLEDragOver(const QMimeData& Data, int& Effect, int Button, int Shift, int X, int Y, int State);
    /// Opens every dropped .mid, .wav and .sgt file, in the list's order.
    void Form_OLEDragDrop(const QMimeData& Data, int& Effect, int Button, int Shift, int X, int Y);

    /// Opens a bell file given its full path.
    void DropFile(const QString& strFN);

    PictureBox* picDest;
    PictureBox* picSrc;
    QLabel* lblFileName;
    QLabel* lblFileInfo;
    WindowTimer* Timer1;
    WindowTimer* tmrVolReset;
    CommonDialog CmDialog;
    std::int16_t ON_Flag = 0; // -1 while the switch is held down

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void acceptDrag(QDropEvent& event);
    void drawSwitch(bool pressed);

    SettingsTargets settingsTargets();

    Program& program_;
    std::unique_ptr<frmMenus> menus_;
    QPoint moveGrab_;         // where the button went down, in window coordinates
    bool systemMove_ = false; // the window system is moving the window for this drag
    bool following_ = false;  // the window follows the mouse for this drag
    QImage background_;
};

/// The command line as the file to open: taken whole; a leading double quote takes the first
/// and the last character away. Empty when nothing is left to open.
QString commandLineFile(const QString& commandLine);
