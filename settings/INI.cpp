#include "INI.h"

#include "Basic.h"
#include "CommonDialog.h"
#include "Host.h"
#include "LanguageRules.h"
#include "ProfileFile.h"
#include "Program.h"
#include "WindowTimer.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>
#include <optional>

namespace {

// Whole values: a door announcement's name of 40 Japanese characters takes 120 bytes in UTF-8.
constexpr int kValueBuffer = 4096;

QString settingsPath(Host& host)
{
    QString dir = host.programDirectory();
    if (!dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
    return dir + kSettingsFile;
}

QSize screenSize(const QWidget& window)
{
    const QScreen* screen = window.screen() != nullptr ? window.screen() : QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->geometry().size() : QSize(1, 1);
}

// A stored fraction of the screen, or 0.3 when it lies outside it.
double fraction(const QString& text)
{
    const double value = Val(text);
    return value >= 0.0 && value <= 1.0 ? value : 0.3;
}

// A position from a screen that is gone, or a stored 1, leaves the panel wholly off every
// screen, where it cannot be reached: it goes to the middle of the primary screen instead.
void keepReachable(QWidget& window)
{
    QRect frame = window.frameGeometry();
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen->geometry().intersects(frame)) return;
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (primary == nullptr) return;
    frame.moveCenter(primary->geometry().center());
    window.move(frame.topLeft());
}

void readInt16(const QString& text, std::int16_t& field)
{
    if (const std::optional<std::int16_t> value = CInt(Val(text))) field = *value;
}

} // namespace

QString ReadKey(Program& program, const QString& key)
{
    return GetPrivateProfileString(kSettingsSection, key, QString(), kValueBuffer, settingsPath(program.host));
}

void WriteKey(Program& program, const QString& key, const QString& value)
{
    WritePrivateProfileString(kSettingsSection, key, value, settingsPath(program.host));
}

std::int16_t YesNoValue(const QString& text, std::int16_t defaultValue)
{
    const QString word = text.toLower();
    if (word == QStringLiteral("yes")) return -1;
    if (word == QStringLiteral("no")) return 0;
    return defaultValue;
}

QString YesNoText(std::int16_t flag)
{
    return flag == -1 ? QStringLiteral("Yes") : QStringLiteral("No");
}

void LoadSettings(Program& program, const SettingsTargets& targets)
{
    ProgramState& s = program.state;
    program.host.setMousePointer(MousePointer::ArrowHourglass);

    double x = fraction(ReadKey(program, QStringLiteral("XPosR")));
    double y = fraction(ReadKey(program, QStringLiteral("YPosR")));
    s.TopMost = YesNoValue(ReadKey(program, QStringLiteral("TopMost")), -1);
    s.EffectTokyo = YesNoValue(ReadKey(program, QStringLiteral("EffectTokyo")), 0);
    s.EffectTachikawa = YesNoValue(ReadKey(program, QStringLiteral("EffectTachikawa")), 0);
    s.EffectUrawa = YesNoValue(ReadKey(program, QStringLiteral("EffectUrawa")), 0);
    s.Door = YesNoValue(ReadKey(program, QStringLiteral("Door")), -1);
    readInt16(ReadKey(program, QStringLiteral("DoorDelay")), s.DoorDelay);
    s.DoorCut = YesNoValue(ReadKey(program, QStringLiteral("DoorCut")), 0);
    s.DoorATOS = YesNoValue(ReadKey(program, QStringLiteral("DoorATOS")), -1);
    s.Noise = YesNoValue(ReadKey(program, QStringLiteral("Noise")), 0);
    s.UsePanel = YesNoValue(ReadKey(program, QStringLiteral("UsePanel")), 0);
    readInt16(ReadKey(program, QStringLiteral("DefExt")), s.DefExt);
    s.DoorWAV = ReadKey(program, QStringLiteral("DoorWAV"));

    const QSize screen = screenSize(targets.window);
    targets.window.move(int(std::lround(x * screen.width())), int(std::lround(y * screen.height())));
    keepReachable(targets.window);

    s.TopMost = -1; // every run starts above the other windows
    SetTopMost(targets.window, s.TopMost);

    if (targets.menus != nullptr) targets.menus->setEffectChecks(s);

    if (s.DoorDelay < 0) s.DoorDelay = 0;
    // 16-bit arithmetic, as the field's type: 32767 + 1 does not fit, and the interval stays.
    if (s.DoorDelay < 32767) targets.Timer1.setInterval(s.DoorDelay + 1);

    CommonDialog& dialog = targets.CmDialog;
    dialog.FilterIndex = s.DefExt + 1;
    switch (s.DefExt) {
    case 0: dialog.DefaultExt = QStringLiteral("mid"); dialog.FileName = QStringLiteral("*.mid"); break;
    case 1: dialog.DefaultExt = QStringLiteral("wav"); dialog.FileName = QStringLiteral("*.wav"); break;
    case 2: dialog.DefaultExt = QStringLiteral("sgt"); dialog.FileName = QStringLiteral("*.sgt"); break;
    default: break;
    }

    s.settingsRead = true;
    program.host.setMousePointer(MousePointer::Default);
}

void SaveSettings(Program& program, const SettingsTargets& targets)
{
    const ProgramState& s = program.state;
    // A run that never read the file holds only defaults: writing them would throw away the
    // user's stored choices.
    if (!s.settingsRead) return;
    program.host.setMousePointer(MousePointer::ArrowHourglass);

    const QSize screen = screenSize(targets.window);
    const QPoint at = targets.window.pos();
    WriteKey(program, QStringLiteral("XPosR"), formatFraction(float(at.x()) / float(screen.width())));
    WriteKey(program, QStringLiteral("YPosR"), formatFraction(float(at.y()) / float(screen.height())));
    WriteKey(program, QStringLiteral("TopMost"), YesNoText(s.TopMost));
    WriteKey(program, QStringLiteral("UsePanel"), YesNoText(s.UsePanel));
    WriteKey(program, QStringLiteral("EffectTokyo"), YesNoText(s.EffectTokyo));
    WriteKey(program, QStringLiteral("EffectTachikawa"), YesNoText(s.EffectTachikawa));
    WriteKey(program, QStringLiteral("EffectUrawa"), YesNoText(s.EffectUrawa));
    WriteKey(program, QStringLiteral("Door"), YesNoText(s.Door));
    WriteKey(program, QStringLiteral("DoorDelay"), formatInteger(s.DoorDelay));
    WriteKey(program, QStringLiteral("DoorCut"), YesNoText(s.DoorCut));
    WriteKey(program, QStringLiteral("DoorATOS"), YesNoText(s.DoorATOS));
    WriteKey(program, QStringLiteral("Noise"), YesNoText(s.Noise));
    WriteKey(program, QStringLiteral("DefExt"), formatInteger(s.DefExt));
    WriteKey(program, QStringLiteral("DoorWAV"), s.DoorWAV);

    program.host.setMousePointer(MousePointer::Default);
}
