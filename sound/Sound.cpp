#include "Sound.h"

#include "AudioLibrary.h"
#include "Basic.h"
#include "Host.h"
#include "Program.h"
#include "VbDSound.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QWidget>

#include <filesystem>
#include <system_error>

namespace {

const QString kTitleSuffix = QStringLiteral(" - タルネク");

std::filesystem::path fsPath(const QString& path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

QString workingCopy(Host& host, const QString& extension)
{
    return host.programDirectory() + QDir::separator() + QStringLiteral("~tarnek") + extension;
}

bool sameFile(const QString& a, const QString& b)
{
    std::error_code error;
    return std::filesystem::equivalent(fsPath(a), fsPath(b), error) && !error;
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
        std::filesystem::remove(fsPath(name), ignored);
    }

    bool copied = isWorkingCopy;
    if (!isWorkingCopy) {
        std::error_code error;
        std::filesystem::remove(fsPath(copy), error); // replaces whatever has that name, say a directory left empty
        error.clear();
        copied = std::filesystem::copy_file(fsPath(path), fsPath(copy),
                                            std::filesystem::copy_options::overwrite_existing, error) &&
                 !error;
        if (!copied) {
            host.MsgBox(QStringLiteral("ベルのファイルをコピーできませんでした。\n\n%1\n→ %2\n\n%3")
                            .arg(path, copy, QString::fromLocal8Bit(error.message().c_str())),
                        MsgBoxStyle::vbOKOnly | MsgBoxStyle::vbExclamation);
        }
    }

    if (copied) {
        if (extension == QStringLiteral(".mid") || extension == QStringLiteral(".sgt"))
            state.BellSegment = audio.dsLoadMusicSegment(QFile::encodeName(copy).toStdString(), 32);
        else if (extension == QStringLiteral(".wav"))
            state.BellBuffer = LoadWave(program, copy, 1);
    }

    if (state.BellSegment != 0 || state.BellBuffer != 0) host.SHAddToRecentDocs(path);

    const QString name = shortName(path);
    display.window.setWindowTitle(name + kTitleSuffix);
    display.lblFileName.setText(name);
    display.lblFileName.adjustSize();

    if (extension == QStringLiteral(".mid") || extension == QStringLiteral(".sgt")) {
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
