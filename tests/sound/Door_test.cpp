#include "Door.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <random>

namespace {

QStringList sorted(QStringList names)
{
    SortNames(names);
    return names;
}

TEST(SortNames, OrdinalOrder)
{
    EXPECT_EQ(sorted({"b.wav", "A.wav", "c.wav"}), (QStringList{"A.wav", "b.wav", "c.wav"}));
    EXPECT_EQ(sorted({"a.wav", "B.wav"}), (QStringList{"B.wav", "a.wav"}));
    EXPECT_EQ(sorted({"abc.wav", "ab", "abc"}), (QStringList{"ab", "abc", "abc.wav"}));
    EXPECT_EQ(sorted({}), QStringList{});
    EXPECT_EQ(sorted({"駅.wav", "z.wav", "Z.wav"}), (QStringList{"Z.wav", "z.wav", "駅.wav"}));
}

TEST(SortNames, AgreesWithAnOrdinalSortOnRandomLists)
{
    std::mt19937 random(11);
    const QString letters = QStringLiteral("aAbBzZ._0駅");
    for (int round = 0; round < 300; ++round) {
        QStringList names;
        const int size = int(random() % 201);
        for (int i = 0; i < size; ++i) {
            QString name;
            for (int n = int(random() % 5); n >= 0; --n) name += letters[int(random() % letters.size())];
            names << name;
        }
        QStringList expected = names;
        std::sort(expected.begin(), expected.end());
        SortNames(names);
        ASSERT_EQ(names, expected) << "size " << size;
    }
}

void touch(const QString& path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

TEST(DoorFolder, ListsItsWaveFilesInAnyCaseAndNothingHidden)
{
    QTemporaryDir program;
    EXPECT_TRUE(doorFileNames(program.path()).isEmpty()); // no folder at all
    EXPECT_EQ(doorDirectory(program.path()), QDir(program.path()).filePath(QStringLiteral("Door")));

    QDir(program.path()).mkdir(QStringLiteral("DOOR"));
    const QDir door(QDir(program.path()).filePath(QStringLiteral("DOOR")));
    EXPECT_EQ(doorDirectory(program.path()), door.path()); // any case of the name
    for (const char* name : {"a.wav", "B.WAV", "c.Wav", "notes.txt", ".hidden.wav", "x.wave"})
        touch(door.filePath(QString::fromUtf8(name)));
    door.mkdir(QStringLiteral("sub.wav"));
    QStringList names = doorFileNames(program.path());
    names.sort();
    EXPECT_EQ(names, (QStringList{"B.WAV", "a.wav", "c.Wav"}));
}

} // namespace
