#include "frmMain.h"

#include "AudioLibrary.h"
#include "Basic.h"
#include "Door.h"
#include "FileNames.h"
#include "GameControllers.h"
#include "Host.h"
#include "INI.h"
#include "InputBits.h"
#include "PictureBox.h"
#include "Program.h"
#include "Sound.h"
#include "VbDSound.h"
#include "WindowTimer.h"
#include "frmMenus.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QDropEvent>
#include <QIcon>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <QWindow>

#include <cmath>
#include <filesystem>
#include <system_error>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>

namespace {

const QString kTitle = QStringLiteral("タルネク");

QLabel* makeLabel(QWidget* parent, const QString& text, const QPoint& position)
{
    auto* label = new QLabel(text, parent);
    label->setFont(gothicFont());
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(255, 255, 255));
    label->setPalette(palette);
    label->setAutoFillBackground(false);
    label->setFocusPolicy(Qt::NoFocus);
    label->move(position);
    return label;
}

// From 1.5 device pixels per pixel up the pictures drawn at twice the resolution are used, so
// the screen never enlarges a picture by more than a little.
qreal artworkRatio(qreal screenRatio)
{
    return screenRatio >= 1.5 ? 2.0 : 1.0;
}

QImage artwork(const QString& name, qreal ratio)
{
    QImage image(ratio == 2.0 ? QStringLiteral(":/%1@2x.png").arg(name) : QStringLiteral(":/%1.png").arg(name));
    image.setDevicePixelRatio(ratio);
    return image;
}

// Takes the plate and the switch sheet drawn for `ratio`. The switch shows again the cell it
// showed, now from the new sheet.
void useArtwork(QImage& background, PictureBox& picSrc, PictureBox& picDest, qreal ratio)
{
    int shownCell = -1;
    if (!background.isNull()) {
        const QImage& sheet = picSrc.image();
        const int side = qRound(48 * sheet.devicePixelRatio());
        for (const int cell : {0, 1})
            if (picDest.image() == sheet.copy(cell * side, 0, side, side)) shownCell = cell;
    }
    background = artwork(QStringLiteral("plate"), ratio);
    picSrc.setPicture(artwork(QStringLiteral("switch"), ratio));
    picDest.setImageDevicePixelRatio(ratio);
    if (shownCell >= 0) BlitPicture(picDest, 0, 0, 48, 48, picSrc, shownCell * 48, 0, SRCCOPY);
}

} // namespace

QString commandLineFile(const QString& commandLine)
{
    if (!commandLine.startsWith(QLatin1Char('"'))) return commandLine;
    // A lone double quote leaves nothing to open.
    return commandLine.size() < 2 ? QString() : commandLine.mid(1, commandLine.size() - 2);
}

frmMain::frmMain(Program& program)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      picDest(new PictureBox(this, QSize(48, 48))),
      picSrc(new PictureBox(this, QSize(96, 48))),
      lblFileName(makeLabel(this, QString(), QPoint(64, 8))),
      lblFileInfo(makeLabel(this, QStringLiteral("-"), QPoint(64, 32))),
      Timer1(new WindowTimer(this, 1301, false)),
      tmrVolReset(new WindowTimer(this, 0, false)),
      program_(program)
{
    setWindowTitle(kTitle);
    QIcon icon(QStringLiteral(":/tarnek.png"));
    icon.addFile(QStringLiteral(":/tarnek@2x.png"));
    icon.addFile(QStringLiteral(":/tarnek-128.png"));
    setWindowIcon(icon);
    setFixedSize(320, 64);
    setAttribute(Qt::WA_OpaquePaintEvent);

    picDest->move(8, 8);
    picDest->setCursor(QCursor(QPixmap(QStringLiteral(":/hand.png")), 5, 0));
    picDest->setFocusPolicy(Qt::StrongFocus);

    picSrc->move(136, 160);
    picSrc->hide();
    useArtwork(background_, *picSrc, *picDest, artworkRatio(devicePixelRatioF()));

    lblFileName->adjustSize();
    lblFileInfo->setFixedSize(249, 28);
    lblFileInfo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblFileInfo->setWordWrap(true);

    setFocusProxy(picDest);
    // Drops on the labels and on picDest reach the window: none of them takes drops itself.
    setAcceptDrops(true);

    connect(picDest, &PictureBox::MouseDown, this, &frmMain::picDest_MouseDown);
    connect(picDest, &PictureBox::MouseUp, this, &frmMain::picDest_MouseUp);
    connect(picDest, &PictureBox::MouseMove, this, &frmMain::picDest_MouseMove);
    connect(Timer1, &WindowTimer::Timer, this, &frmMain::Timer1_Timer);
    connect(tmrVolReset, &WindowTimer::Timer, this, &frmMain::tmrVolReset_Timer);
}

frmMain::~frmMain() = default;

frmMenus& frmMain::menus()
{
    if (!menus_) menus_ = std::make_unique<frmMenus>(program_, MainWindowParts{*this, *lblFileName, *lblFileInfo, *Timer1, CmDialog});
    return *menus_;
}

SettingsTargets frmMain::settingsTargets()
{
    return SettingsTargets{*this, *Timer1, CmDialog, &menus()};
}

void frmMain::Load()
{
    if (Form_Load()) {
        show();
        picDest->setFocus();
    }
}

bool frmMain::Form_Load()
{
    Host& host = program_.host;
    AudioLibrary& audio = program_.audio;

    BlitPicture(*picDest, 0, 0, 48, 48, *picSrc, 0, 0, SRCCOPY);

    while (audio.dsInit2(static_cast<std::uintptr_t>(winId()), 2) == 0) {
        const MsgBoxResult answer = host.MsgBox(
            QStringLiteral("DirectSoundが使えません。\r\n\r\n"
                           "サウンド機能とDirectXが正しくインストールされていないか、"
                           "他のアプリケーションがサウンドを再生中です。"),
            MsgBoxStyle::vbRetryCancel | MsgBoxStyle::vbExclamation);
        if (answer != MsgBoxResult::vbRetry) {
            host.MsgBox(QStringLiteral("タルネクを起動できませんでした。"),
                        MsgBoxStyle::vbOKOnly | MsgBoxStyle::vbCritical);
            host.endProgram(1);
            return false;
        }
    }

    if (audio.dsInitMusic() == 0) {
        host.setMousePointer(MousePointer::Default);
        host.MsgBox(QStringLiteral("DirectMusicが使えません。"), MsgBoxStyle::vbOKOnly);
        return true;
    }

    audio.dsSetGlobalFocus(-1);

    ProgramState& state = program_.state;
    const QString dir = host.programDirectory() + QDir::separator();
    state.DoorBuffer = LoadWave(program_, dir + QStringLiteral("door.wav"), 1);
    state.NoiseBuffer = LoadWave(program_, dir + QStringLiteral("b.wav"), 1);

    const QString commandLine = host.commandLine();
    const QString file = commandLine.isEmpty() ? QString() : commandLineFile(commandLine);

    // Working copies an earlier run left; a copy that cannot go is no reason not to start.
    // One the command line names is the file the user wants to open, and may be their only copy.
    for (const QString& name : {QStringLiteral("~tarnek.mid"), QStringLiteral("~tarnek.wav")}) {
        const QString copy = dir + name;
        if (file.isEmpty() || !sameFile(file, copy)) QFile::remove(copy);
    }

    LoadSettings(program_, settingsTargets());
    BuildDoorMenus(program_, menus());

    if (!file.isEmpty()) DropFile(file);
    return true;
}

void frmMain::DropFile(const QString& name)
{
    // A name relative to the current directory (typed in a shell) would point elsewhere once
    // the directory changes below.
    const QString strFN = QFileInfo(name).isRelative() && !name.isEmpty() ? QDir::current().absoluteFilePath(name) : name;
    CmDialog.FileName = strFN;
    // Everything before the last separator becomes the current directory; a file in the root
    // leaves it as it is.
    const qsizetype slash = strFN.lastIndexOf(QLatin1Char('/'));
    if (slash > 0) {
        std::error_code ignored; // a folder that is gone leaves the current one
        std::filesystem::current_path(fileSystemPath(strFN.left(slash)), ignored);
    }
    LoadBell(program_, BellDisplay{*this, *lblFileName, *lblFileInfo}, strFN);
    program_.host.DoEvents();
    program_.state.FadeActive = 0;
}

void frmMain::Form_MouseDown(int Button, int, int, int)
{
    if (Button != 2) return;
    menus().popUp(QCursor::pos());
}

void frmMain::Form_MouseMove(int Button, int, int X, int Y)
{
    if (Button != 1 || systemMove_) return;
    // Where the window system moves windows itself, hand the drag to it, as a caption bar
    // would; otherwise the window follows the mouse until the button is released.
    if (!following_ && windowHandle() != nullptr && windowHandle()->startSystemMove()) {
        systemMove_ = true;
        return;
    }
    following_ = true;
    move(pos() + QPoint(X, Y) - moveGrab_);
}

void frmMain::Form_OLEDragOver(const QMimeData& Data, int& Effect, int, int, int, int, int)
{
    // Only files of this machine can be opened; a list of web links would drop into nothing.
    Effect = droppedFiles(Data).isEmpty() ? 0 : (Effect & 1);
}

void frmMain::Form_OLEDragDrop(const QMimeData& Data, int&, int, int, int, int)
{
    if (!Data.hasUrls()) return;
    const QStringList paths = droppedFiles(Data); // copied: a load handles events, and the drag data may go
    for (const QString& path : paths) {
        const QString type = path.right(4).toLower();
        if (type == QStringLiteral(".mid") || type == QStringLiteral(".wav") || type == QStringLiteral(".sgt"))
            DropFile(path);
    }
}

void frmMain::Form_Unload(std::int16_t&)
{
    ProgramState& state = program_.state;
    AudioLibrary& audio = program_.audio;

    state.FadeActive = 0;
    audio.dsFree(state.DoorBuffer);
    audio.dsFree(state.BellBuffer);
    audio.dsFree(state.NoiseBuffer);
    audio.dsFreeMusicSegment(state.BellSegment);
    audio.dsQuitMusic();
    audio.dsQuit();
    SaveSettings(program_, settingsTargets());
    program_.host.endProgram(0);
}

void frmMain::drawSwitch(bool pressed)
{
    // Drawn before any sound is touched, so the switch answers at once.
    BlitPicture(*picDest, 0, 0, 48, 48, *picSrc, pressed ? 48 : 0, 0, SRCCOPY);
    picDest->Refresh();
}

void frmMain::Form_KeyDown(int, int)
{
    if (ON_Flag != 0) return;
    drawSwitch(true);
    ON_Flag = -1;
    BellStart(program_);
}

void frmMain::Form_KeyUp(int, int)
{
    if (ON_Flag != -1) return;
    drawSwitch(false);
    ON_Flag = 0;
    BellStop(program_);
    Timer1->setEnabled(true);
}

void frmMain::listenTo(GameControllers& controllers)
{
    connect(&controllers, &GameControllers::buttonPressed, this, &frmMain::Controllers_ButtonDown);
    connect(&controllers, &GameControllers::buttonReleased, this, &frmMain::Controllers_ButtonUp);
}

void frmMain::Controllers_ButtonDown()
{
    if (QApplication::activeModalWidget() != nullptr || QApplication::activePopupWidget() != nullptr) return;
    Form_KeyDown(0, 0);
}

void frmMain::Controllers_ButtonUp()
{
    // Always: a release that went nowhere would leave the bell ringing.
    Form_KeyUp(0, 0);
}

void frmMain::Form_DblClick()
{
    close();
}

namespace {

bool onTheButton(float X, float Y)
{
    return std::hypot(24.0f - X, 24.0f - Y) < 16.0f;
}

} // namespace

void frmMain::picDest_MouseDown(int Button, int, float X, float Y)
{
    moveGrab_ = picDest->pos() + QPoint(int(X), int(Y));
    systemMove_ = false;
    following_ = false;
    if (!onTheButton(X, Y) || Button != 1 || ON_Flag != 0) return;
    drawSwitch(true);
    ON_Flag = -1;
    BellStart(program_);
}

void frmMain::picDest_MouseUp(int Button, int Shift, float X, float Y)
{
    following_ = false;
    if (Button == 1 && ON_Flag == -1) {
        drawSwitch(false);
        ON_Flag = 0;
        BellStop(program_);
        Timer1->setEnabled(true);
    } else if (Button == 2) {
        drawSwitch(false);
        const QPoint at = picDest->pos() + QPoint(int(X), int(Y));
        Form_MouseDown(2, Shift, at.x(), at.y());
    }
}

void frmMain::picDest_MouseMove(int Button, int Shift, float X, float Y)
{
    // Once the window follows the mouse it goes on doing so until the release, as a system
    // move would, even over the button.
    if (!following_ && (onTheButton(X, Y) || Button != 1 || ON_Flag != 0)) return;
    const QPoint at = picDest->pos() + QPoint(int(X), int(Y)); // the window's own coordinates
    Form_MouseMove(Button, Shift, at.x(), at.y());
}

void frmMain::Timer1_Timer()
{
    ProgramState& s = program_.state;
    AudioLibrary& audio = program_.audio;
    Timer1->setEnabled(false);
    // A tick left over from an earlier release can come while a later one still waits; that
    // release turned the bell down and puts the volumes back itself when it ends.
    if (s.EffectUrawa == -1 && s.FadeActive == 0) {
        audio.dsSetVolume(s.BellBuffer, 0);
        audio.dsSetMasterVolume(0);
    }
    if (s.Door == -1) {
        bool bellSounding = false;
        if (s.DoorCut == -1) {
            const bool buffer = audio.dsIsPlaying(s.BellBuffer) != 0;
            const bool segment = audio.dsIsPlayingMusicSegment(s.BellSegment) != 0;
            bellSounding = buffer || segment;
        }
        if (!bellSounding) {
            const bool playing = audio.dsIsPlaying(s.DoorBuffer) != 0;
            if (s.DoorATOS == -1 || (s.DoorATOS == 0 && !playing)) audio.dsPlay(s.DoorBuffer);
        }
    }
    tmrVolReset->setEnabled(false);
    tmrVolReset->setInterval(audio.dsGetBufferMSec(s.DoorBuffer) + 500);
    tmrVolReset->setEnabled(true);
}

void frmMain::tmrVolReset_Timer()
{
    ProgramState& s = program_.state;
    AudioLibrary& audio = program_.audio;
    if (s.Noise == -1) audio.dsPlayEx(s.NoiseBuffer, 0, 0, 0);
    if (s.FadeActive == 0) { // a waiting release restores the volumes at its end
        audio.dsSetMasterVolume(0);
        audio.dsSetVolume(s.BellBuffer, 0);
    }
    tmrVolReset->setEnabled(false);
}

void frmMain::paintEvent(QPaintEvent*)
{
    // The window may have gone to a screen of another density since the pictures were taken.
    const qreal ratio = devicePixelRatioF();
    if (background_.devicePixelRatio() != artworkRatio(ratio)) {
        useArtwork(background_, *picSrc, *picDest, artworkRatio(ratio));
        picDest->Refresh();
    }
    QPainter painter(this);
    if (background_.devicePixelRatio() != ratio) painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(0, 0, background_);
}

void frmMain::closeEvent(QCloseEvent* event)
{
    std::int16_t cancel = 0;
    Form_Unload(cancel);
    event->accept();
}

// Keys reach the form even while picDest has the focus: the picture box passes them on.
void frmMain::keyPressEvent(QKeyEvent* event)
{
    if (event->isAutoRepeat()) return;
    Form_KeyDown(event->key(), shiftState(event->modifiers()));
}

void frmMain::keyReleaseEvent(QKeyEvent* event)
{
    if (event->isAutoRepeat()) return;
    Form_KeyUp(event->key(), shiftState(event->modifiers()));
}

void frmMain::mousePressEvent(QMouseEvent* event)
{
    systemMove_ = false;
    following_ = false;
    const QPoint at = event->position().toPoint();
    moveGrab_ = at;
    // The button that went down, not every button held: a right press while the left is
    // held still opens the menu.
    Form_MouseDown(buttonBits(event->button()), shiftState(event->modifiers()), at.x(), at.y());
}

void frmMain::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    Form_MouseMove(buttonBits(event->buttons()), shiftState(event->modifiers()), at.x(), at.y());
}

void frmMain::mouseReleaseEvent(QMouseEvent*)
{
    systemMove_ = false;
    following_ = false;
}

void frmMain::mouseDoubleClickEvent(QMouseEvent* event)
{
    // Any other button's second click is a press like its first.
    if (event->button() != Qt::LeftButton) {
        mousePressEvent(event);
        return;
    }
    // Only the background: the labels pass their double clicks up, and they must not close.
    if (childAt(event->position().toPoint()) == nullptr) Form_DblClick();
}

void frmMain::acceptDrag(QDropEvent& event)
{
    int effect = event.possibleActions().testFlag(Qt::CopyAction) ? 1 : 0;
    const QPoint at = event.position().toPoint();
    Form_OLEDragOver(*event.mimeData(), effect, buttonBits(event.buttons()), shiftState(event.modifiers()),
                     at.x(), at.y(), 0);
    if (effect & 1) {
        event.setDropAction(Qt::CopyAction);
        event.accept();
    } else {
        event.ignore();
    }
}

void frmMain::dragEnterEvent(QDragEnterEvent* event)
{
    acceptDrag(*event);
}

void frmMain::dragMoveEvent(QDragMoveEvent* event)
{
    acceptDrag(*event);
}

void frmMain::dropEvent(QDropEvent* event)
{
    int effect = event->possibleActions().testFlag(Qt::CopyAction) ? 1 : 0;
    const QPoint at = event->position().toPoint();
    event->setDropAction(Qt::CopyAction);
    event->accept();
    Form_OLEDragDrop(*event->mimeData(), effect, buttonBits(event->buttons()), shiftState(event->modifiers()),
                     at.x(), at.y());
}
