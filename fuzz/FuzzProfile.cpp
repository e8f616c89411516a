// The settings file's reader and writer on an arbitrary file: every key read, every key
// written, and every line the writer does not own comes out unchanged and in order.
#include "LosslessText.h"
#include "ProfileFile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QString>

#include <cstdlib>
#include <unistd.h>

namespace {

const char* const kKeys[] = {"XPosR", "YPosR", "TopMost", "UsePanel", "EffectTokyo", "EffectTachikawa", "EffectUrawa",
                             "Door", "DoorDelay", "DoorCut", "DoorATOS", "Noise", "DefExt", "DoorWAV"};

// The lines' texts without their line endings. Carriage returns at a line's end count as part
// of its ending: a file cut between CR and LF gains only the LF.
QList<QByteArray> lines(const QByteArray& bytes)
{
    QList<QByteArray> out = bytes.split('\n');
    for (QByteArray& line : out)
        while (line.endsWith('\r')) line.chop(1);
    return out;
}

bool mentionsAKey(const QByteArray& line)
{
    const QByteArray lower = line.toLower();
    for (const char* key : kKeys)
        if (lower.contains(QByteArray(key).toLower())) return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // TMPDIR=/dev/shm keeps the disk out of it.
    static const QString path = QDir::temp().filePath(QStringLiteral("tarnek-fuzz-%1.ini").arg(::getpid()));
    const QByteArray before(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) return 0;
        file.write(before);
    }
    // Any bytes survive the way through text.
    if (bytesFromText(textFromBytes(before)) != before) std::abort();

    const QString section = QStringLiteral("TARNEK 1.10");
    QList<QString> values;
    for (const char* key : kKeys) {
        values += GetPrivateProfileString(section, QString::fromLatin1(key), QString(), 4096, path);
        if (bytesFromText(values.back()).size() > 4095) std::abort();
    }
    // What was read and is written back reads the same; only a line break is refused.
    for (qsizetype i = 0; i < values.size(); ++i) {
        const QString key = QString::fromLatin1(kKeys[i]);
        const bool padded = i % 2 == 1 && values[i].size() < 4000; // blanks at the end need quotes
        const QString value = values[i] + (padded ? QStringLiteral(" x ") : QString());
        const bool breaks = value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r'));
        const bool written = WritePrivateProfileString(section, key, value, path);
        if (written == breaks) std::abort();
        if (written && GetPrivateProfileString(section, key, QString(), 4096, path) != value) std::abort();
    }

    QByteArray after;
    {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) after = file.readAll();
    }
    QFile::remove(path);

    // Every line that could not be one of our keys is still there, in its order.
    const QList<QByteArray> old = lines(before);
    const QList<QByteArray> now = lines(after);
    qsizetype at = 0;
    for (const QByteArray& line : old) {
        if (mentionsAKey(line)) continue;
        while (at < now.size() && now[at] != line) ++at;
        if (at == now.size()) std::abort();
        ++at;
    }
    return 0;
}
