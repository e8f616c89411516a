#include "Sound.h"

#include "AudioLibrary.h"
#include "Basic.h"
#include "FileNames.h"
#include "LosslessText.h"
#include "Host.h"
#include "Program.h"
#include "VbDSound.h"

#include <QDir>
#include <QLabel>
#include <QLocale>
#include <QWidget>

#include <filesystem>
#include <system_error>

namespace {

const QString kTitleSuffix = QStringLiteral(" - タルネク");

QString workingCopy(Host& host, const QString& extension)
{
    return host.programDirectory() + QDir::separator() + QStringLiteral("~tarnek") + extension;
}

bool isMusic(const QString& extension)
{
    return extension == QStringLiteral(".mid") || extension == QStringLiteral(".sgt");
}

// Larger than the loader for its type reads; a file of another type is held to the WAVE limit,
// the larger one.
bool tooLarge(const QString& path, const QString& extension)
{
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(fileSystemPath(path), error);
    if (error) return false; // the copy finds out what is wrong and says so
    return size > std::uintmax_t(isMusic(extension) ? kMaxMusicFileBytes : kMaxWaveFileBytes);
}

// "###,###"-style patterns: digit groups, and nothing at all for zero.
QString groupedOrEmpty(std::int32_t value)
{
    return value == 0 ? QString() : QLocale().toString(value);
}

QString channelWord(std::int32_t channels)
{
    switch (channels) {
    case 1: return QStringLiteral("モノラル");
    case 2: return QStringLiteral("ステレオ");
    case 0: return QString();
    default: return QStringLiteral("%1 チャンネル").arg(channels);
    }
}

} // namespace

namespace {

// Both station styles: the bell at `volume` until 0.1 s before the end of its pass, then
// stopped, unless somebody clears FadeActive first and so takes over the sounds.
void fade(Program& program, std::int32_t volume)
{
    Host& host = program.host;
    AudioLibrary& audio = program.audio;
    ProgramState& state = program.state;

    state.FadeActive = -1;
    double remaining = 0.0;
    if (state.BellSegment != 0) {
        audio.dsSetMasterVolume(volume);
        // In 64 bits: the library may report anything in the 32-bit range.
        const std::int64_t left = std::int64_t{audio.dsGetLengthMSec(state.BellSegment)} - audio.dsGetSeekMSec(state.BellSegment);
        remaining = double(left) / 1000.0 - 0.1;
    } else if (state.BellBuffer != 0) {
        audio.dsSetVolume(state.BellBuffer, volume);
        const std::int64_t left = std::int64_t{audio.dsGetBufferMSec(state.BellBuffer)} - audio.dsGetPositionMSec(state.BellBuffer);
        remaining = double(left) / 1000.0 - 0.1;
    }

    // Blocks for window events up to the deadline instead of spinning; the clock only increases.
    const double start = host.clockSeconds();
    for (double elapsed = 0.0; elapsed < remaining && state.FadeActive != 0; elapsed = host.clockSeconds() - start)
        host.waitForEvents(remaining - elapsed);

    if (state.FadeActive == 0) return; // a press, a load or the shutdown has the sounds now
    state.FadeActive = 0;
    if (state.BellSegment != 0) {
        audio.dsStopMusicSegment(state.BellSegment);
        audio.dsSetMasterVolume(0);
    } else if (state.BellBuffer != 0) {
        audio.dsStop(state.BellBuffer);
        audio.dsSetVolume(state.BellBuffer, 0);
    }
}

} // namespace

void BellStart(Program& program)
{
    AudioLibrary& audio = program.audio;
    ProgramState& state = program.state;
    state.FadeActive = 0;
    audio.dsStopMusicSegment(state.BellSegment);
    audio.dsStop(state.BellBuffer);
    audio.dsSetMasterVolume(0);
    audio.dsSetVolume(state.BellBuffer, 0);
    if (state.DoorCut == -1) audio.dsStop(state.DoorBuffer);
    if (state.Noise == -1) audio.dsPlayEx(state.NoiseBuffer, -1000, 0, 0);
    if (state.BellSegment != 0) audio.dsPlayMusicSegment(state.BellSegment, 1000);
    else if (state.BellBuffer != 0) audio.dsPlayLooping(state.BellBuffer);
    if (state.EffectTokyo == -1 && state.BellBuffer != 0) audio.dsSetPositionMSec(state.BellBuffer, 170);
}

void BellStop(Program& program)
{
    AudioLibrary& audio = program.audio;
    ProgramState& state = program.state;
    if (state.Noise == -1) audio.dsPlayEx(state.NoiseBuffer, 0, 0, 0);
    if (state.EffectTachikawa == -1) {
        FadeTachikawa(program);
    } else if (state.EffectUrawa == -1) {
        FadeUrawa(program);
    } else {
        audio.dsStopMusicSegment(state.BellSegment);
        audio.dsStop(state.BellBuffer);
    }
}

void FadeTachikawa(Program& program)
{
    fade(program, -1000);
}

void FadeUrawa(Program& program)
{
    fade(program, -10000);
}

QString bellExtension(const QString& path)
{
    return path.right(4).toLower();
}

QString shortName(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

QString lengthLine(std::int32_t milliseconds)
{
    return QLocale().toString(static_cast<double>(milliseconds) / 1000.0, 'f', 3) + QStringLiteral(" 秒");
}

QString formatLine(const SoundFormat& format)
{
    return groupedOrEmpty(format.SamplesPerSec) + QStringLiteral(" Hz, ") +
           (format.BitsPerSample == 0 ? QString() : QString::number(format.BitsPerSample)) +
           QStringLiteral(" ビット, ") + channelWord(format.Channels);
}

void LoadBell(Program& program, const BellDisplay& display, const QString& path)
{
    Host& host = program.host;
    AudioLibrary& audio = program.audio;
    ProgramState& state = program.state;

    host.setMousePointer(MousePointer::Hourglass);
    const QString extension = bellExtension(path);
    state.FadeActive = 0;

    audio.dsStopMusicSegment(state.BellSegment);
    audio.dsStop(state.BellBuffer);
    audio.dsSetMasterVolume(0);
    audio.dsSetVolume(state.BellBuffer, 0);
    audio.dsFreeMusicSegment(state.BellSegment);
    audio.dsFree(state.BellBuffer);
    audio.dsQuitMusic();

    if (audio.dsInitMusic() == 0) {
        host.setMousePointer(MousePointer::Default);
        host.MsgBox(QStringLiteral("DirectMusicが使えません。"), MsgBoxStyle::vbOKOnly);
        return;
    }

    // Choosing a working copy itself must not delete the user's only copy of the file.
    const QString copy = workingCopy(host, extension);
    const bool isWorkingCopy = sameFile(path, copy);
    for (const char* old : {".mid", ".sgt", ".wav"}) {
        const QString name = workingCopy(host, QString::fromLatin1(old));
        if (isWorkingCopy && name == copy) continue;
        std::error_code ignored;
        std::filesystem::remove(fileSystemPath(name), ignored);
    }

    bool copied = isWorkingCopy;
    if (!isWorkingCopy && tooLarge(path, extension)) {
        // Copying first would write it all and keep the window frozen, only to refuse it then.
        host.MsgBox(QStringLiteral("ファイルが大きすぎます。\n\n") + displayText(path),
                    MsgBoxStyle::vbOKOnly | MsgBoxStyle::vbExclamation);
    } else if (!isWorkingCopy) {
        std::error_code error;
        std::filesystem::remove(fileSystemPath(copy), error); // replaces whatever has that name, say a directory left empty
        error.clear();
        copied = std::filesystem::copy_file(fileSystemPath(path), fileSystemPath(copy),
                                            std::filesystem::copy_options::overwrite_existing, error) &&
                 !error;
        if (!copied) {
            host.MsgBox(QStringLiteral("ベルのファイルをコピーできませんでした。\n\n%1\n→ %2\n\n%3")
                            .arg(displayText(path), displayText(copy), QString::fromLocal8Bit(error.message().c_str())),
                        MsgBoxStyle::vbOKOnly | MsgBoxStyle::vbExclamation);
        }
    }

    if (copied) {
        if (isMusic(extension))
            state.BellSegment = audio.dsLoadMusicSegment(bytesFromText(copy).toStdString(), 32);
        else if (extension == QStringLiteral(".wav"))
            state.BellBuffer = LoadWave(program, copy, 1, path);
    }

    if (state.BellSegment != 0 || state.BellBuffer != 0) host.SHAddToRecentDocs(path);

    const QString name = displayText(shortName(path));
    display.window.setWindowTitle(name + kTitleSuffix);
    display.lblFileName.setText(name);
    display.lblFileName.adjustSize();

    if (state.BellSegment != 0) {
        display.lblFileInfo.setText(lengthLine(audio.dsGetLengthMSec(state.BellSegment)));
    } else if (state.BellBuffer == 0) {
        display.lblFileInfo.setText(kNothingLoaded);
    } else {
        SoundFormat format{};
        const QString length = lengthLine(audio.dsGetBufferMSec(state.BellBuffer));
        audio.dsGetFormat(state.BellBuffer, format);
        display.lblFileInfo.setText(length + QLatin1Char('\n') + formatLine(format));
    }

    SetForeground(display.window);
    host.setMousePointer(MousePointer::Default);
}
