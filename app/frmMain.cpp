#include "frmMain.h"

#include "AudioLibrary.h"
#include "Basic.h"
#include "Host.h"
#include "PictureBox.h"
#include "Program.h"
#include "WindowTimer.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>

namespace {

const QString kTitle = QStringLiteral("タルネク");

QFont labelFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("MS UI Gothic"), QStringLiteral("IPAGothic"),
                      QStringLiteral("sans-serif")});
    font.setPointSize(9);
    font.setWeight(QFont::Normal);
    return font;
}

QLabel* makeLabel(QWidget* parent, const QString& text, const QPoint& position)
{
    auto* label = new QLabel(text, parent);
    label->setFont(labelFont());
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(255, 255, 255));
    label->setPalette(palette);
    label->setAutoFillBackground(false);
    label->setFocusPolicy(Qt::NoFocus);
    label->move(position);
    return label;
}

} // namespace

int shiftState(Qt::KeyboardModifiers modifiers)
{
    return (modifiers.testFlag(Qt::ShiftModifier) ? 1 : 0) |
           (modifiers.testFlag(Qt::ControlModifier) ? 2 : 0) |
           (modifiers.testFlag(Qt::AltModifier) ? 4 : 0);
}

frmMain::frmMain(Program& program)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      picDest(new PictureBox(this, QSize(48, 48))),
      picSrc(new PictureBox(this, QSize(96, 48))),
      lblFileName(makeLabel(this, QString(), QPoint(64, 8))),
      lblFileInfo(makeLabel(this, QStringLiteral("-"), QPoint(64, 32))),
      Timer1(new WindowTimer(this, 1301, false)),
      tmrVolReset(new WindowTimer(this, 0, false)),
      program_(program),
      background_(QStringLiteral(":/plate.png"))
{
    setWindowTitle(kTitle);
    setWindowIcon(QIcon(QStringLiteral(":/tarnek.png")));
    setFixedSize(320, 64);
    setAttribute(Qt::WA_OpaquePaintEvent);

    picDest->move(8, 8);
    picDest->setCursor(QCursor(QPixmap(QStringLiteral(":/hand.png")), 5, 0));
    picDest->setFocusPolicy(Qt::StrongFocus);

    picSrc->move(136, 160);
    picSrc->setPicture(QImage(QStringLiteral(":/switch.png")));
    picSrc->hide();

    lblFileName->adjustSize();
    lblFileInfo->setFixedSize(249, 28);
    lblFileInfo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblFileInfo->setWordWrap(true);

    setFocusProxy(picDest);
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
    return true;
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
    program_.host.endProgram(0);
}

void frmMain::Form_KeyDown(int, int)
{
    // The switch answers keys once it has its input handling.
}

void frmMain::Form_KeyUp(int, int)
{
}

void frmMain::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
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
