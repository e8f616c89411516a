// The settings file's reader and writer on an arbitrary file: every key read, every key
// written, and every line the writer does not own comes out unchanged and in order.
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
    const QString section = QStringLiteral("TARNEK 1.10");
    for (const char* key : kKeys) {
        const QString value = GetPrivateProfileString(section, QString::fromLatin1(key), QString(), 100, path);
        if (value.toUtf8().size() > 99) std::abort();
    }
    for (const char* key : kKeys) WritePrivateProfileString(section, QString::fromLatin1(key), QStringLiteral("1"), path);

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
