#include "LosslessText.h"
#include "RecentDocuments.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <fstream>

namespace {

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

TEST(RecentDocuments, AddsTheFileWithItsTypeAndThisProgramAndKeepsOtherEntries)
{
    QTemporaryDir dir;
    const QString list = dir.filePath(QStringLiteral("share/recently-used.xbel"));
    const QString bell = dir.filePath(QStringLiteral("my bells/発車 ベル.wav"));
    QDir().mkpath(dir.filePath(QStringLiteral("my bells")));
    write(bell, QByteArray("RIFF\\x24\\0\\0\\0WAVEfmt "));
    const QString other = dir.filePath(QStringLiteral("notes.txt"));
    write(other, "hello");

    ASSERT_TRUE(addRecentDocument(other, list)); // the folder is made on the way
    ASSERT_TRUE(addRecentDocument(bell, list));
    ASSERT_TRUE(addRecentDocument(bell, list)); // twice: still one entry, used twice

    const QByteArray xbel = contents(list);
    EXPECT_TRUE(xbel.contains("notes.txt"));
    EXPECT_EQ(xbel.count("%E7%99%BA%E8%BB%8A%20%E3%83%99%E3%83%AB.wav\""), 1) << xbel.constData();
    EXPECT_TRUE(xbel.contains("audio/")) << "MIME type of the bell";
    EXPECT_TRUE(xbel.contains("count=\"2\"")) << xbel.constData();
    EXPECT_TRUE(xbel.contains("<bookmark:application name=\"" + QCoreApplication::applicationName().toUtf8() + "\""))
        << xbel.constData();

    // A name that is not UTF-8 is recorded with its own bytes.
    const QByteArray odd = QFile::encodeName(dir.path()) + "/\x94\xad.wav";
    std::ofstream(odd.toStdString()) << "RIFF";
    ASSERT_TRUE(addRecentDocument(textFromBytes(odd), list));
    EXPECT_TRUE(contents(list).contains("/%94%AD.wav\"")) << contents(list).constData();
    std::remove(odd.constData()); // QTemporaryDir cannot name it
}

TEST(RecentDocuments, NeverOverwritesAListItCannotRead)
{
    QTemporaryDir dir;
    const QString list = dir.filePath(QStringLiteral("recently-used.xbel"));
    const QByteArray damaged = "<?xml version=\"1.0\"?><xbel version=\"1.0\"><bookmark href=";
    write(list, damaged);
    const QString bell = dir.filePath(QStringLiteral("bell.wav"));
    write(bell, "RIFF");

    EXPECT_FALSE(addRecentDocument(bell, list));
    EXPECT_EQ(contents(list), damaged);

    EXPECT_FALSE(addRecentDocument(dir.filePath(QStringLiteral("missing.wav")), dir.filePath(QStringLiteral("new.xbel"))));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("new.xbel"))));
    EXPECT_FALSE(addRecentDocument(dir.path(), dir.filePath(QStringLiteral("new.xbel")))); // a folder
}

} // namespace
