#include "frmOptions.h"

#include "Basic.h"
#include "FrameStyle.h"
#include "LanguageRules.h"
#include "Program.h"
#include "WindowTimer.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include <algorithm>
#include <cmath>

namespace {

template <typename Control>
Control* place(Control* control, const QRect& geometry)
{
    control->setGeometry(geometry);
    return control;
}

QCheckBox* checkBox(QWidget* parent, const QString& caption, const QRect& geometry)
{
    return place(new QCheckBox(caption, parent), geometry);
}

// A label sized to its text from its top-left corner.
QLabel* label(QWidget* parent, const QString& caption, const QRect& geometry)
{
    auto* text = place(new QLabel(caption, parent), geometry);
    text->adjustSize();
    text->move(geometry.topLeft());
    return text;
}

void showFlag(QCheckBox* box, std::int16_t flag)
{
    box->setChecked(flag != 0);
}

std::int16_t flagOf(const QCheckBox* box)
{
    return box->isChecked() ? -1 : 0;
}

} // namespace

std::int16_t doorDelayFromText(const QString& text)
{
    const double value = Val(text);
    if (std::isnan(value) || value <= 0) return 0;
    // A longer delay than the timer can count is taken as the longest it can.
    return CInt(std::min(value, 32766.0)).value_or(0);
}

frmOptions::frmOptions(Program& program, const SettingsTargets& main)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), program_(program), main_(main)
{
    setWindowTitle(QStringLiteral("オプション"));
    setFont(gothicFont());
    setFixedSize(twipsRect(0, 0, 4215, 3975).size());

    cmdOK = place(new QPushButton(QStringLiteral("OK"), this), twipsRect(2760, 120, 1335, 375));
    cmdOK->setDefault(true);
    cmdCancel = place(new QPushButton(QStringLiteral("キャンセル"), this), twipsRect(2760, 600, 1335, 375));

    Frame1 = place(new QGroupBox(QStringLiteral("ウィンドウ(&W):"), this), twipsRect(120, 120, 2415, 1095));
    chkUsePanel = checkBox(Frame1, QStringLiteral("拡張パネルを使用(&P)"), twipsRect(240, 240, 2055, 300));
    chkUsePanel->setEnabled(false);
    chkTopMost = checkBox(Frame1, QStringLiteral("常に手前に表示(&T)"), twipsRect(240, 600, 2055, 300));
    captionOnLine(*Frame1);

    Frame2 = place(new QGroupBox(QStringLiteral("動作(&R):"), this), twipsRect(120, 1440, 3975, 2415));
    chkDoor = checkBox(Frame2, QStringLiteral("ドア閉め放送(&D)"), twipsRect(240, 240, 2415, 300));
    Label1 = label(Frame2, QStringLiteral("遅延"), twipsRect(360, 750, 360, 180));
    txtDoor = place(new QLineEdit(QStringLiteral("1300"), Frame2), twipsRect(840, 720, 735, 270));
    txtDoor->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    txtDoor->setMaxLength(5);
    txtDoor->setAttribute(Qt::WA_InputMethodEnabled, false); // digits, typed directly
    Label2 = label(Frame2, QStringLiteral("[ミリ秒]"), twipsRect(1680, 750, 555, 180));
    chkDoorCut = checkBox(Frame2, QStringLiteral("サウンドの再生中はカット(&C)"), twipsRect(360, 1080, 3375, 300));
    chkDoorATOS = checkBox(Frame2, QStringLiteral("排他再生(&A)"), twipsRect(360, 1440, 3375, 300));
    chkNoise = checkBox(Frame2, QStringLiteral("ノイズ(&N)"), twipsRect(240, 1920, 3495, 255));
    captionOnLine(*Frame2);

    // Frames and labels take no focus; the disabled panel box is passed over.
    QWidget* const order[] = {cmdOK, cmdCancel, chkUsePanel, chkTopMost, chkDoorCut,
                              txtDoor, chkDoor, chkDoorATOS, chkNoise};
    for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

    connect(chkDoor, &QCheckBox::toggled, this, &frmOptions::chkDoor_Click);
    connect(cmdOK, &QPushButton::clicked, this, &frmOptions::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmOptions::cmdCancel_Click);
}

void frmOptions::showModal()
{
    Form_Load();
    showDialog(*this, main_.window, *cmdOK);
}

void frmOptions::Form_Load()
{
    const ProgramState& s = program_.state;
    SetTopMost(main_.window, 0); // so that the dialog can come in front of it
    showFlag(chkTopMost, s.TopMost);
    {
        const QSignalBlocker quiet(chkDoor);
        showFlag(chkDoor, s.Door);
    }
    chkDoor_Click(); // whether or not the mark changed
    showFlag(chkDoorCut, s.DoorCut);
    showFlag(chkDoorATOS, s.DoorATOS);
    showFlag(chkNoise, s.Noise);
    showFlag(chkUsePanel, s.UsePanel);
    txtDoor->setText(formatInteger(main_.Timer1.Interval() - 1));
}

void frmOptions::chkDoor_Click()
{
    const bool on = chkDoor->isChecked();
    const QPalette system = QApplication::palette();
    QPalette palette = txtDoor->palette();
    const QColor background = on ? system.color(QPalette::Active, QPalette::Base)
                                 : system.color(QPalette::Active, QPalette::Button);
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::Base, background);
    txtDoor->setPalette(palette);
    txtDoor->setEnabled(on);
    chkDoorCut->setEnabled(on);
    chkDoorATOS->setEnabled(on);
}

void frmOptions::cmdOK_Click()
{
    ProgramState& s = program_.state;
    s.TopMost = flagOf(chkTopMost);
    s.Door = flagOf(chkDoor);
    s.DoorCut = flagOf(chkDoorCut);
    s.DoorATOS = flagOf(chkDoorATOS);
    s.Noise = flagOf(chkNoise);
    s.DoorDelay = doorDelayFromText(txtDoor->text());
    main_.Timer1.setInterval(s.DoorDelay + 1); // its next release starts it
    SaveSettings(program_, main_);
    SetTopMost(main_.window, s.TopMost);
    done(Accepted);
}

void frmOptions::cmdCancel_Click()
{
    SetTopMost(main_.window, program_.state.TopMost);
    done(Rejected);
}

void frmOptions::reject()
{
    cmdCancel_Click();
}
