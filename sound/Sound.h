#pragma once

#include <QString>

#include <cstdint>

class QLabel;
class QWidget;
struct Program;
struct SoundFormat;

/// The parts of the main window a bell describes itself in.
struct BellDisplay {
    QWidget& window;
    QLabel& lblFileName;
    QLabel& lblFileInfo;
};

/// Makes the file at `path` the bell: frees the old bell, restarts the music, copies the file
/// to its working copy beside the program, loads the copy by the extension and describes it.
void LoadBell(Program& program, const BellDisplay& display, const QString& path);

/// The switch went down: the bell starts from its beginning at full volume, with the noise and
/// the Tokyo style as set.
void BellStart(Program& program);
/// The switch came up: the bell stops at once or in the chosen station style. Returns when the
/// style's wait is over, having handled window events meanwhile.
void BellStop(Program& program);
/// The rest of the pass sounds 10 dB down, then the bell stops.
void FadeTachikawa(Program& program);
/// The bell falls silent at once; the wait still lasts to the end of the pass.
void FadeUrawa(Program& program);

/// The last four characters of `path`, in lower case: the only thing that decides a file's type.
QString bellExtension(const QString& path);
/// The part of `path` after its last separator; the whole path when it has none.
QString shortName(const QString& path);
/// "12.345 秒": a length in milliseconds as seconds, in the locale's number format.
QString lengthLine(std::int32_t milliseconds);
/// "44,100 Hz, 16 ビット, ステレオ"; a zero field formats as nothing.
QString formatLine(const SoundFormat& format);

/// What the file-information label shows for a file that gave no sound.
inline const QString kNothingLoaded = QStringLiteral("このファイルは再生できません。");
