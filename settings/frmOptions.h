#pragma once

#include "INI.h"

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
struct Program;

// The options dialog: top-most, the door announcement (on, delay, cut, exclusive) and the
// noise. It holds nothing of its own: it shows the program's state and the door timer, and OK
// puts the new values back and writes the settings file.
class frmOptions final : public QDialog {
    Q_OBJECT
public:
    frmOptions(Program& program, const SettingsTargets& main);

    /// Loads the dialog, shows it modally, centred on the screen, and returns once it closed.
    void showModal();

    /// Takes the main window out of the top-most band and fills the controls.
    void Form_Load();
    /// The door controls are usable exactly while chkDoor is checked; they keep their values.
    void chkDoor_Click();
    /// Stores the controls' values, sets the door timer, writes the settings and closes.
    void cmdOK_Click();
    /// Closes without storing anything; the main window gets its top-most state back.
    void cmdCancel_Click();

    QPushButton* cmdOK;
    QPushButton* cmdCancel;
    QGroupBox* Frame1;
    QCheckBox* chkUsePanel;
    QCheckBox* chkTopMost;
    QGroupBox* Frame2;
    QCheckBox* chkDoor;
    QLabel* Label1;
    QLineEdit* txtDoor;
    QLabel* Label2;
    QCheckBox* chkDoorCut;
    QCheckBox* chkDoorATOS;
    QCheckBox* chkNoise;

protected:
    /// Esc and the window system's close act as キャンセル.
    void reject() override;

private:
    Program& program_;
    SettingsTargets main_;
};

/// The door delay typed in the options dialog, in ms: its leading number rounded half to even,
/// 0 when there is none or it is negative, at most 32766 so that the timer's interval (one
/// more) still fits.
std::int16_t doorDelayFromText(const QString& text);
