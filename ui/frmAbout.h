#pragma once

#include <QColor>
#include <QDialog>
#include <QPoint>

#include <array>

class QLabel;
class QPushButton;
struct Program;

/// The program's version: major.minor.revision.
struct ProgramVersion {
    int Major;
    int Minor;
    int Revision;
};

/// The version this build carries.
ProgramVersion programVersion();

/// "バージョン 0.90.0129": the major number as it is, the minor with at least two digits and the
/// revision with at least four.
QString versionText(const ProgramVersion& version);

/// The web site and contact address the version dialog links to.
QString homePage();
QString contactAddress();

// The version dialog: icon, title, version, legal notice and two links. While it is open the
// main window is out of the top-most band; closing it in any way puts it back as the settings say.
class frmAbout final : public QDialog {
    Q_OBJECT
public:
    frmAbout(Program& program, QWidget& mainWindow, ProgramVersion version = programVersion());

    /// Loads the dialog, shows it modally, centred on the screen, and returns once it closed.
    void showModal();

    void Form_Load();
    /// Marks the link visited and has the desktop open its target.
    void lblURL_Click(int index);
    void cmdOK_Click();

    /// One straight line drawn on the dialog, in pixels.
    struct Line {
        QPoint from;
        QPoint to;
        QColor color;
        int width;
    };

    QLabel* picIcon;
    QLabel* lblTitle;
    QLabel* lblVersion;
    QLabel* lblDescription;
    std::array<Line, 2> Line1; // together an etched rule: [1] the grey groove, [0] its white edge
    QLabel* Label3;
    std::array<QLabel*, 2> lblURL;
    std::array<QString, 2> lblURLTag; // what a click on each link opens
    QLabel* Label4;
    QPushButton* cmdOK;

protected:
    /// Esc and the window system's close act as OK.
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    Program& program_;
    QWidget& mainWindow_;
    ProgramVersion version_;
};

/// The legal notice the version dialog shows.
inline const QString kLegalNotice = QStringLiteral("Copyright © 2026 タルネクの開発者");
