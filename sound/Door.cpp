#include "Door.h"

#include "AudioLibrary.h"
#include "Host.h"
#include "Program.h"
#include "VbDSound.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

void SortNames(QStringList& names)
{
    const qsizetype lower = 0;
    const qsizetype upper = names.size() - 1;
    qsizetype h = lower;
    while (h <= upper) h = 3 * h + 1;
    do {
        h = h / 3; // h is 3k + 1, so this is k: the nearest integer to h / 3
        for (qsizetype i = lower + h; i <= upper && h > 0; ++i) {
            const QString t = names[i];
            qsizetype j = i;
            while (names[j - h] > t) {
                names[j] = names[j - h];
                j -= h;
                if (j < h) break;
            }
            names[j] = t;
        }
    } while (h != lower);
}

QString doorDirectory(const QString& programDir)
{
    const QDir dir(programDir);
    QStringList candidates;
    for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (name.compare(QStringLiteral("door"), Qt::CaseInsensitive) == 0) candidates << name;
    if (candidates.isEmpty() || candidates.contains(QStringLiteral("Door"))) return dir.filePath(QStringLiteral("Door"));
    std::sort(candidates.begin(), candidates.end());
    return dir.filePath(candidates.front());
}

QStringList doorFileNames(const QString& programDir)
{
    QStringList names;
    const QDir dir(doorDirectory(programDir));
    if (!dir.exists()) return names;
    // Not hidden: a plain search leaves hidden files out.
    for (const QFileInfo& file : dir.entryInfoList(QDir::Files, QDir::Unsorted))
        if (file.fileName().endsWith(QStringLiteral(".wav"), Qt::CaseInsensitive)) names << file.fileName();
    return names;
}

void BuildDoorMenus(Program& program, DoorMenus& menus)
{
    const QString programDir = program.host.programDirectory();
    QStringList names = doorFileNames(programDir);
    if (names.isEmpty()) return;
    SortNames(names);
    ProgramState& state = program.state;
    const QDir door(doorDirectory(programDir));
    for (qsizetype k = 0; k < names.size(); ++k) {
        menus.addDoorEntry(names[k]);
        if (names[k] == state.DoorWAV) {
            program.audio.dsFree(state.DoorBuffer);
            state.DoorBuffer = LoadWave(program, door.filePath(names[k]), 1);
            menus.setDoorChecked(0, false);
        } else {
            menus.setDoorChecked(int(k) + 1, false);
        }
    }
}
