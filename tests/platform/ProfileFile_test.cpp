#include "LanguageRules.h"
#include "ProfileFile.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <cmath>

namespace {

struct Profile : ::testing::Test {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("test.ini"));
    void store(const QByteArray& text)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QByteArray stored() const
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QString get(const char* section, const char* key, int size = 100)
    {
        return GetPrivateProfileString(QString::fromUtf8(section), QString::fromUtf8(key), QStringLiteral("dflt"), size, path);
    }
    bool put(const char* section, const char* key, const char* value)
    {
        return WritePrivateProfileString(QString::fromUtf8(section), QString::fromUtf8(key), QString::fromUtf8(value), path);
    }
};

TEST_F(Profile, ReadsValuesAsTheProfileServicesDo)
{
    EXPECT_EQ(get("S", "k"), QStringLiteral("dflt")); // no file
    static const char text[] = "[S]\nk = plain \nQuoted=\"  in quotes \"\nempty=\n;k=comment\nnul=ab\0cd\n[T]\nk=other\n";
    store(QByteArray(text, sizeof text - 1));
    EXPECT_EQ(get("s", "K"), QStringLiteral("plain"));
    EXPECT_EQ(get("S", "quoted"), QStringLiteral("  in quotes "));
    EXPECT_EQ(get("S", "empty"), QString());
    EXPECT_EQ(get("S", "nul"), QStringLiteral("ab"));
    EXPECT_EQ(get("S", "missing"), QStringLiteral("dflt"));
    EXPECT_EQ(get("U", "k"), QStringLiteral("dflt"));
    EXPECT_EQ(get("T", "k"), QStringLiteral("other"));
    EXPECT_EQ(get("S", "k", 4), QStringLiteral("pla"));
    EXPECT_EQ(get("S", "k", 1), QString());
}

TEST_F(Profile, WritesInPlaceAtTheSectionsEndOrInANewSection)
{
    ASSERT_TRUE(put("S", "a", "1")); // makes the file
    EXPECT_EQ(stored(), QByteArray("[S]\na=1\n"));
    store("[S]\na=1\n\n[T]\nb=2");
    ASSERT_TRUE(put("s", "A", "one"));  // replaced where it stands
    ASSERT_TRUE(put("S", "c", "3"));    // after the last line of [S], before the blank line
    ASSERT_TRUE(put("U", "d", ""));     // a new section at the end, after a line end
    EXPECT_EQ(stored(), QByteArray("[S]\nA=one\nc=3\n\n[T]\nb=2\n[U]\nd=\n"));
    const QByteArray before = stored();
    ASSERT_TRUE(put("S", "c", "3")); // no change, no rewrite
    EXPECT_EQ(stored(), before);

    store("[S]\r\nx=1\r\n");
    ASSERT_TRUE(put("S", "y", "2"));
    EXPECT_EQ(stored(), QByteArray("[S]\r\nx=1\r\ny=2\r\n"));
}

TEST_F(Profile, SpecialFilesAreNeitherReadNorReplacedAndLinksStayLinks)
{
    // A link to an endless device, and a pipe nobody writes to: no hang, no growing memory.
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), path));
    EXPECT_EQ(get("S", "k"), QStringLiteral("dflt"));
    EXPECT_FALSE(put("S", "k", "v"));
    EXPECT_EQ(QFileInfo(path).symLinkTarget(), QStringLiteral("/dev/zero"));
    QFile::remove(path);
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    EXPECT_EQ(get("S", "k"), QStringLiteral("dflt"));
    EXPECT_FALSE(put("S", "k", "v"));
    EXPECT_FALSE(QFileInfo(path).isFile());
    QFile::remove(path);

    // A link to a real file is written through, and keeps being a link.
    const QString real = dir.filePath(QStringLiteral("real.ini"));
    QFile(real).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::link(real, path));
    ASSERT_TRUE(put("S", "k", "v"));
    EXPECT_TRUE(QFileInfo(path).isSymLink());
    EXPECT_EQ(get("S", "k"), QStringLiteral("v"));
}

TEST(LanguageRules, ValTakesTheLeadingNumber)
{
    EXPECT_EQ(Val(QStringLiteral("  12.5xyz")), 12.5);
    EXPECT_EQ(Val(QStringLiteral("-20")), -20.0);
    EXPECT_EQ(Val(QStringLiteral("+.5")), 0.5);
    EXPECT_EQ(Val(QStringLiteral("1e3")), 1000.0);
    EXPECT_EQ(Val(QStringLiteral("2e")), 2.0);
    EXPECT_EQ(Val(QStringLiteral("abc")), 0.0);
    EXPECT_EQ(Val(QStringLiteral("-")), 0.0);
    EXPECT_EQ(Val(QString()), 0.0);
    EXPECT_TRUE(std::isinf(Val(QStringLiteral("9e999"))));
}

TEST(LanguageRules, CIntRoundsHalfToEvenAndRefusesWhatDoesNotFit)
{
    EXPECT_EQ(CInt(2.5), 2);
    EXPECT_EQ(CInt(3.5), 4);
    EXPECT_EQ(CInt(-2.5), -2);
    EXPECT_EQ(CInt(12.4999), 12);
    EXPECT_EQ(CInt(32767.4), 32767);
    EXPECT_EQ(CInt(-32768.0), -32768);
    EXPECT_FALSE(CInt(32767.5));
    EXPECT_FALSE(CInt(40000.0));
    EXPECT_FALSE(CInt(INFINITY));
    EXPECT_FALSE(CInt(NAN));
    EXPECT_EQ(formatFraction(0.25f), QStringLiteral("0.2500000"));
    EXPECT_EQ(formatFraction(1.0f / 3.0f), QStringLiteral("0.3333333"));
    EXPECT_EQ(formatInteger(0), QStringLiteral("0"));
    EXPECT_EQ(formatInteger(-20), QStringLiteral("-20"));
}

} // namespace
