// The options dialog on real widgets, with the recording audio fake, a scripted host and a real
// settings file in a temporary program directory.
#include "Basic.h"
#include "SettingsFixture.h"
#include "frmOptions.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyleOptionGroupBox>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <memory>

namespace {

struct Options : Settings {
    std::unique_ptr<frmOptions> dialog;

    Options() { program.state.settingsRead = true; } // as after a start-up

    // Opens the dialog as the menu does, but without its modal loop.
    frmOptions& open()
    {
        dialog = std::make_unique<frmOptions>(program, targets);
        dialog->Form_Load();
        dialog->show();
        return *dialog;
    }
    static QColor system(QPalette::ColorRole role) { return QApplication::palette().color(QPalette::Active, role); }
    // The colour the box is painted with, away from its frame and its right-aligned text.
    static QColor drawnBackground(QLineEdit* box)
    {
        return box->grab().toImage().pixelColor(box->width() / 4, box->height() / 2);
    }
};

TEST_F(Options, OpeningWithTheDoorOffShowsTheStoredValuesOnGreyedControls)
{
    ProgramState& s = program.state;
    s.TopMost = -1;
    s.Door = 0;
    s.DoorCut = -1;
    s.DoorATOS = -1;
    s.Noise = 0;
    s.UsePanel = -1;
    SetTopMost(window, -1);
    frmOptions& d = open();

    EXPECT_FALSE(topMost()); // out of the top-most band while the dialog is open
    EXPECT_TRUE(d.chkTopMost->isChecked());
    EXPECT_FALSE(d.chkDoor->isChecked());
    EXPECT_FALSE(d.chkNoise->isChecked());
    EXPECT_TRUE(d.chkUsePanel->isChecked());
    EXPECT_FALSE(d.chkUsePanel->isEnabled());
    for (QWidget* greyed : std::initializer_list<QWidget*>{d.txtDoor, d.chkDoorCut, d.chkDoorATOS})
        EXPECT_FALSE(greyed->isEnabled()) << greyed->objectName().toStdString();
    EXPECT_TRUE(d.chkDoorCut->isChecked()); // disabled, still showing their marks
    EXPECT_TRUE(d.chkDoorATOS->isChecked());
    EXPECT_EQ(d.txtDoor->text(), QStringLiteral("1300"));
    EXPECT_EQ(d.txtDoor->palette().color(QPalette::Disabled, QPalette::Base), system(QPalette::Button));
    EXPECT_EQ(drawnBackground(d.txtDoor), system(QPalette::Button));

    // A disabled box's mark still counts on OK.
    d.cmdOK_Click();
    EXPECT_EQ(s.DoorCut, -1);
    EXPECT_EQ(s.DoorATOS, -1);
    EXPECT_EQ(s.Door, 0);
}

TEST_F(Options, TheDoorBoxEnablesAndGreysTheDelayAndItsOptions)
{
    program.state.Door = -1;
    frmOptions& d = open();
    ASSERT_TRUE(d.txtDoor->isEnabled());
    EXPECT_EQ(drawnBackground(d.txtDoor), system(QPalette::Base));

    QTest::mouseClick(d.chkDoor, Qt::LeftButton);
    EXPECT_FALSE(d.chkDoor->isChecked());
    for (QWidget* w : std::initializer_list<QWidget*>{d.txtDoor, d.chkDoorCut, d.chkDoorATOS}) EXPECT_FALSE(w->isEnabled());
    EXPECT_EQ(drawnBackground(d.txtDoor), system(QPalette::Button));

    QTest::mouseClick(d.chkDoor, Qt::LeftButton);
    EXPECT_TRUE(d.chkDoor->isChecked());
    for (QWidget* w : std::initializer_list<QWidget*>{d.txtDoor, d.chkDoorCut, d.chkDoorATOS}) EXPECT_TRUE(w->isEnabled());
    EXPECT_EQ(drawnBackground(d.txtDoor), system(QPalette::Base));
    EXPECT_NE(system(QPalette::Base), system(QPalette::Button)); // the check above can tell them apart
}

TEST_F(Options, TheDelayBoxShowsTheDoorTimersIntervalLessOne)
{
    for (auto [interval, text] : {std::pair{1301, "1300"}, std::pair{1, "0"}, std::pair{32767, "32766"}}) {
        Timer1.setInterval(interval);
        EXPECT_EQ(open().txtDoor->text(), QString::fromLatin1(text)) << interval;
    }
}

TEST_F(Options, TheDelayBoxTakesFiveCharactersTypedDirectlyAndAlignsThemRight)
{
    program.state.Door = -1;
    frmOptions& d = open();
    d.txtDoor->clear();
    QTest::keyClicks(d.txtDoor, QStringLiteral("1234567"));
    EXPECT_EQ(d.txtDoor->text(), QStringLiteral("12345"));
    EXPECT_FALSE(d.txtDoor->testAttribute(Qt::WA_InputMethodEnabled));
    EXPECT_TRUE(d.txtDoor->alignment().testFlag(Qt::AlignRight));
}

TEST_F(Options, OkTakesTheDelaysLeadingNumberRoundedHalfToEvenNeverBelowZeroOrPastTheTimer)
{
    const struct {
        const char* text;
        std::int16_t delay;
    } rows[] = {{"-5", 0}, {"", 0}, {"12ab", 12}, {"2.5", 2}, {"3.5", 4}, {" 700", 700}, {"-0.4", 0},
                {"99999", 32766}, {"32767", 32766}, {"32766", 32766}, {"9e99", 32766}, {"abc", 0}};
    for (const auto& row : rows) {
        Timer1.setEnabled(false);
        frmOptions& d = open();
        d.txtDoor->setText(QString::fromLatin1(row.text));
        d.cmdOK_Click();
        EXPECT_EQ(program.state.DoorDelay, row.delay) << row.text;
        EXPECT_EQ(Timer1.Interval(), row.delay + 1) << row.text;
        EXPECT_FALSE(Timer1.Enabled()) << "OK never starts the door timer";
        EXPECT_TRUE(stored().contains("DoorDelay=" + QByteArray::number(row.delay) + "\n")) << row.text;
        EXPECT_FALSE(d.isVisible());
        EXPECT_EQ(d.result(), QDialog::Accepted);
    }
}

TEST_F(Options, OkStoresEveryBoxWritesTheFileAndSetsTheTopMostStateAsChosen)
{
    ProgramState& s = program.state;
    s.TopMost = -1;
    s.DoorWAV = QStringLiteral("発車.wav");
    SetTopMost(window, -1);
    frmOptions& d = open();
    d.chkTopMost->setChecked(false);
    d.chkDoor->setChecked(true);
    d.chkDoorCut->setChecked(true);
    d.chkDoorATOS->setChecked(false);
    d.chkNoise->setChecked(true);
    d.txtDoor->setText(QStringLiteral("250"));
    QTest::keyClick(&d, Qt::Key_Return); // the default button

    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(s.TopMost, 0);
    EXPECT_EQ(s.Door, -1);
    EXPECT_EQ(s.DoorCut, -1);
    EXPECT_EQ(s.DoorATOS, 0);
    EXPECT_EQ(s.Noise, -1);
    EXPECT_EQ(s.DoorDelay, 250);
    EXPECT_FALSE(topMost());
    const QByteArray text = stored();
    for (const char* line : {"TopMost=No\n", "Door=Yes\n", "DoorCut=Yes\n", "DoorATOS=No\n", "Noise=Yes\n",
                             "DoorDelay=250\n", "DoorWAV=発車.wav\n"})
        EXPECT_TRUE(text.contains(line)) << line << "\n" << text.toStdString();

    // Checked again: back in the band.
    open().chkTopMost->setChecked(true);
    dialog->cmdOK_Click();
    EXPECT_EQ(s.TopMost, -1);
    EXPECT_TRUE(topMost());
    EXPECT_TRUE(stored().contains("TopMost=Yes\n"));
}

TEST_F(Options, CancelEscAndTheWindowSystemsCloseChangeNothingButTheTopMostBand)
{
    ProgramState& s = program.state;
    s.TopMost = -1;
    s.Door = -1;
    s.DoorDelay = 900;
    s.DoorATOS = -1;
    Timer1.setInterval(901);
    SaveSettings(program, targets);
    const QByteArray before = stored();
    const ProgramState was = s;
    const auto same = [&] {
        return s.TopMost == was.TopMost && s.Door == was.Door && s.DoorDelay == was.DoorDelay &&
               s.DoorCut == was.DoorCut && s.DoorATOS == was.DoorATOS && s.Noise == was.Noise &&
               s.UsePanel == was.UsePanel && s.DoorWAV == was.DoorWAV;
    };
    const std::function<void(frmOptions&)> ways[] = {
        [](frmOptions& d) { QTest::mouseClick(d.cmdCancel, Qt::LeftButton); },
        [](frmOptions& d) { QTest::keyClick(&d, Qt::Key_Escape); },
        [](frmOptions& d) { d.close(); },
    };
    for (const auto& closeIt : ways) {
        frmOptions& d = open();
        EXPECT_FALSE(topMost());
        d.chkTopMost->setChecked(false);
        d.chkDoor->setChecked(false);
        d.chkNoise->setChecked(true);
        d.txtDoor->setText(QStringLiteral("5"));
        closeIt(d);
        EXPECT_FALSE(d.isVisible());
        EXPECT_TRUE(same());
        EXPECT_EQ(Timer1.Interval(), 901);
        EXPECT_EQ(stored(), before);
        EXPECT_TRUE(topMost()); // as the unchanged setting says
    }
    // With the setting off, closing leaves the window out of the band.
    s.TopMost = 0;
    open();
    dialog->cmdCancel_Click();
    EXPECT_FALSE(topMost());
}

TEST_F(Options, ThePanelBoxNeverChangesItsSetting)
{
    for (std::int16_t panel : {std::int16_t(0), std::int16_t(-1)}) {
        program.state.UsePanel = panel;
        frmOptions& d = open();
        QTest::mouseClick(d.chkUsePanel, Qt::LeftButton);
        EXPECT_EQ(d.chkUsePanel->isChecked(), panel != 0); // disabled: a click does nothing
        d.chkUsePanel->setChecked(panel == 0);             // even a changed mark is not read
        d.cmdOK_Click();
        EXPECT_EQ(program.state.UsePanel, panel);
        EXPECT_TRUE(stored().contains(panel ? "UsePanel=Yes\n" : "UsePanel=No\n"));
    }
}

TEST_F(Options, EveryControlSitsAtItsTwipsOverFifteenWithItsCaption)
{
    frmOptions& d = open();
    EXPECT_EQ(d.windowTitle(), QStringLiteral("オプション"));
    EXPECT_EQ(d.size(), QSize(281, 265)); // 4215 × 3975 twips
    EXPECT_EQ(d.minimumSize(), d.maximumSize());
    EXPECT_FALSE(d.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(d.windowFlags().testFlag(Qt::WindowSystemMenuHint));
    EXPECT_FALSE(d.windowFlags().testFlag(Qt::WindowMinMaxButtonsHint));
    EXPECT_TRUE(d.cmdOK->isDefault());
    EXPECT_EQ(d.font().pointSize(), 9);

    const struct {
        QWidget* control;
        QWidget* inside;
        QString caption;
        QRect twips;
    } rows[] = {
        {d.cmdOK, &d, "OK", {2760, 120, 1335, 375}},
        {d.cmdCancel, &d, "キャンセル", {2760, 600, 1335, 375}},
        {d.Frame1, &d, "ウィンドウ(&W):", {120, 120, 2415, 1095}},
        {d.chkUsePanel, d.Frame1, "拡張パネルを使用(&P)", {240, 240, 2055, 300}},
        {d.chkTopMost, d.Frame1, "常に手前に表示(&T)", {240, 600, 2055, 300}},
        {d.Frame2, &d, "動作(&R):", {120, 1440, 3975, 2415}},
        {d.chkDoor, d.Frame2, "ドア閉め放送(&D)", {240, 240, 2415, 300}},
        {d.txtDoor, d.Frame2, "1300", {840, 720, 735, 270}},
        {d.chkDoorCut, d.Frame2, "サウンドの再生中はカット(&C)", {360, 1080, 3375, 300}},
        {d.chkDoorATOS, d.Frame2, "排他再生(&A)", {360, 1440, 3375, 300}},
        {d.chkNoise, d.Frame2, "ノイズ(&N)", {240, 1920, 3495, 255}},
    };
    for (const auto& row : rows) {
        const QString name = row.caption;
        EXPECT_EQ(row.control->parentWidget(), row.inside) << name.toStdString();
        EXPECT_EQ(row.control->geometry(), QRect(row.twips.x() / 15, row.twips.y() / 15, row.twips.width() / 15,
                                                 row.twips.height() / 15)) << name.toStdString();
        QString shown;
        if (auto* b = qobject_cast<QAbstractButton*>(row.control)) shown = b->text();
        if (auto* g = qobject_cast<QGroupBox*>(row.control)) shown = g->title();
        if (auto* e = qobject_cast<QLineEdit*>(row.control)) shown = e->text();
        EXPECT_EQ(shown, row.caption);
    }
    // The two labels are sized to their text from their corners: "遅延", the box, "[ミリ秒]".
    EXPECT_EQ(d.Label1->text(), QStringLiteral("遅延"));
    EXPECT_EQ(d.Label2->text(), QStringLiteral("[ミリ秒]"));
    EXPECT_EQ(d.Label1->pos(), QPoint(24, 50));
    EXPECT_EQ(d.Label2->pos(), QPoint(112, 50));
    for (QLabel* l : {d.Label1, d.Label2}) {
        EXPECT_EQ(l->size(), l->sizeHint());
        EXPECT_EQ(l->focusPolicy(), Qt::NoFocus);
    }
    EXPECT_LE(d.Label1->geometry().right(), d.txtDoor->geometry().left());
    EXPECT_LE(d.Label2->geometry().right(), d.Frame2->width());
    EXPECT_EQ(d.Frame1->focusPolicy(), Qt::NoFocus);

    // Set TARNEK_SCREENSHOTS to a folder to keep the picture.
    if (const QByteArray dir = qgetenv("TARNEK_SCREENSHOTS"); !dir.isEmpty())
        d.grab().save(QDir(QString::fromLocal8Bit(dir)).filePath(QStringLiteral("options.png")));
}

TEST_F(Options, TabGoesThroughTheControlsInTheirOrderPassingOverTheDisabledOne)
{
    program.state.Door = -1;
    frmOptions& d = open();
    d.activateWindow();
    d.cmdOK->setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    std::vector<QWidget*> visited{QApplication::focusWidget()};
    for (int i = 0; i < 8; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.push_back(QApplication::focusWidget());
    }
    EXPECT_EQ(visited, (std::vector<QWidget*>{d.cmdOK, d.cmdCancel, d.chkTopMost, d.chkDoorCut, d.txtDoor,
                                              d.chkDoor, d.chkDoorATOS, d.chkNoise, d.cmdOK}));
}

TEST_F(Options, EachFrameDrawsItsCaptionOnItsTopLineAboveItsFirstRow)
{
    frmOptions& d = open();
    for (auto [frame, firstRow] : {std::pair{d.Frame1, d.chkUsePanel}, std::pair{d.Frame2, d.chkDoor}}) {
        QStyleOptionGroupBox option;
        option.initFrom(frame);
        option.text = frame->title();
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        const QStyle* style = frame->style();
        const QRect caption = style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, frame);
        const QRect line = style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxFrame, frame);
        EXPECT_NEAR(caption.center().y(), line.top(), 2) << frame->title().toStdString();
        EXPECT_LT(line.top(), firstRow->y()) << frame->title().toStdString();
    }
}

} // namespace
