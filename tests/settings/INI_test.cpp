// The settings file on real files in a temporary program directory.
#include "SettingsFixture.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>
#include <QWindow>

#include <clocale>
#include <csignal>
#include <cstdlib>
#include <sys/resource.h>
#include <unistd.h>

namespace {

TEST_F(Settings, WithoutAFileTheDefaultsHoldAndOneSaveWritesEveryKeyInOrder)
{
    LoadSettings(program, targets);
    const ProgramState& s = program.state;
    EXPECT_EQ(s.TopMost, -1);
    EXPECT_TRUE(topMost());
    EXPECT_EQ(s.Door, -1);
    EXPECT_EQ(s.DoorATOS, -1);
    for (std::int16_t flag : {s.EffectTokyo, s.EffectTachikawa, s.EffectUrawa, s.DoorCut, s.Noise, s.UsePanel})
        EXPECT_EQ(flag, 0);
    EXPECT_EQ(s.DoorDelay, 0);
    EXPECT_EQ(Timer1.Interval(), 1);
    EXPECT_FALSE(Timer1.Enabled());
    EXPECT_EQ(s.DefExt, 0);
    EXPECT_EQ(CmDialog.FilterIndex, 1);
    EXPECT_EQ(CmDialog.DefaultExt, QStringLiteral("mid"));
    EXPECT_EQ(CmDialog.FileName, QStringLiteral("*.mid"));
    EXPECT_TRUE(s.DoorWAV.isEmpty());
    EXPECT_EQ(window.pos(), QPoint(0, 0));
    EXPECT_EQ(host.pointers, (std::vector<MousePointer>{MousePointer::ArrowHourglass, MousePointer::Default}));
    EXPECT_FALSE(QFile::exists(file())); // reading never makes the file

    SaveSettings(program, targets);
    EXPECT_EQ(stored(), QByteArray("[TARNEK 1.10]\n"
                                   "XPosR=0.0000000\nYPosR=0.0000000\nTopMost=Yes\nUsePanel=No\nEffectTokyo=No\n"
                                   "EffectTachikawa=No\nEffectUrawa=No\nDoor=Yes\nDoorDelay=0\nDoorCut=No\n"
                                   "DoorATOS=Yes\nNoise=No\nDefExt=0\nDoorWAV=\n"));
    EXPECT_TRUE(host.messages.empty());

    // A second save without changes leaves the file byte for byte.
    const QByteArray first = stored();
    SaveSettings(program, targets);
    EXPECT_EQ(stored(), first);
}

TEST_F(Settings, FlagWords)
{
    for (const char* yes : {"YES", "yEs", "yes"}) {
        load(QByteArray("Noise=") + yes + "\n");
        EXPECT_EQ(program.state.Noise, -1) << yes;
    }
    for (const char* other : {"true", "1", "", "on", "y"}) {
        load(QByteArray("Door=") + other + "\nNoise=" + other + "\n");
        EXPECT_EQ(program.state.Door, -1) << other;  // the default
        EXPECT_EQ(program.state.Noise, 0) << other; // the default
    }
    load("Door=No\nDoorATOS=nO\nTopMost=No\nEffectTokyo=Yes\nEffectTachikawa=Yes\nEffectUrawa=Yes\n");
    EXPECT_EQ(program.state.Door, 0);
    EXPECT_EQ(program.state.DoorATOS, 0);
    EXPECT_EQ(program.state.TopMost, -1); // whatever the file says
    EXPECT_TRUE(topMost());
    EXPECT_EQ(program.state.EffectTokyo + program.state.EffectTachikawa + program.state.EffectUrawa, -3);

    EXPECT_EQ(YesNoText(-1), QStringLiteral("Yes"));
    EXPECT_EQ(YesNoText(0), QStringLiteral("No"));
    EXPECT_EQ(YesNoText(1), QStringLiteral("No"));
}

TEST_F(Settings, DoorDelayFollowsTheNumberRules)
{
    struct Row {
        const char* stored;
        std::int16_t delay;
        int interval;
    };
    const Row rows[] = {
        {"-20", 0, 1}, {"12.5", 12, 13}, {"13.5", 14, 15}, {"abc", 0, 1}, {"  1300ms", 1300, 1301},
        {"1e3", 1000, 1001}, {"", 0, 1},
    };
    for (const Row& row : rows) {
        program.state.DoorDelay = 555;
        load(QByteArray("DoorDelay=") + row.stored + "\n");
        EXPECT_EQ(program.state.DoorDelay, row.delay) << row.stored;
        EXPECT_EQ(Timer1.Interval(), row.interval) << row.stored;
    }
    // Too large for the field: it keeps what it had, and so does the timer.
    program.state.DoorDelay = 700;
    Timer1.setInterval(701);
    load("DoorDelay=40000\n");
    EXPECT_EQ(program.state.DoorDelay, 700);
    EXPECT_EQ(Timer1.Interval(), 701);
    load("DoorDelay=1e999\n");
    EXPECT_EQ(program.state.DoorDelay, 700);
    // 32767 is taken, but one more does not fit the timer's sum.
    load("DoorDelay=32767\n");
    EXPECT_EQ(program.state.DoorDelay, 32767);
    EXPECT_EQ(Timer1.Interval(), 701);

    SaveSettings(program, targets);
    EXPECT_TRUE(stored().contains("\nDoorDelay=32767\n"));
}

TEST_F(Settings, WindowPositionFractions)
{
    const QSize size = screen();
    load("XPosR=1.5\nYPosR=-0.1\n");
    EXPECT_EQ(window.pos(), QPoint(qRound(0.3 * size.width()), qRound(0.3 * size.height())));
    load("XPosR=abc\nYPosR=0.25\n");
    EXPECT_EQ(window.pos(), QPoint(0, qRound(0.25 * size.height())));

    window.move(size.width() / 4, 0);
    SaveSettings(program, targets);
    EXPECT_TRUE(stored().contains("XPosR=0.2500000\n")) << stored().constData();
    EXPECT_TRUE(stored().contains("YPosR=0.0000000\n"));
}

TEST_F(Settings, APositionOffEveryScreenComesToTheMiddleOfThePrimaryScreen)
{
    QRect middle(QPoint(), window.frameGeometry().size());
    middle.moveCenter(QGuiApplication::primaryScreen()->geometry().center());
    load("XPosR=1\nYPosR=0.5\n");
    EXPECT_EQ(window.pos(), middle.topLeft());
    load("XPosR=0.99\nYPosR=0.99\n"); // a corner still shows: left where it was
    EXPECT_EQ(window.pos(), QPoint(qRound(0.99 * screen().width()), qRound(0.99 * screen().height())));
}

TEST_F(Settings, DefExtPreparesTheOpenDialog)
{
    load("DefExt=1\n");
    EXPECT_EQ(CmDialog.FilterIndex, 2);
    EXPECT_EQ(CmDialog.DefaultExt, QStringLiteral("wav"));
    EXPECT_EQ(CmDialog.FileName, QStringLiteral("*.wav"));
    load("DefExt=2\n");
    EXPECT_EQ(CmDialog.DefaultExt, QStringLiteral("sgt"));
    load("DefExt=7\n"); // the filter entry only
    EXPECT_EQ(CmDialog.FilterIndex, 8);
    EXPECT_EQ(CmDialog.DefaultExt, QStringLiteral("sgt"));
    EXPECT_EQ(CmDialog.FileName, QStringLiteral("*.sgt"));
}

TEST_F(Settings, DoorNamesComeBackWholeThroughTwoRuns)
{
    QString name = QStringLiteral("a");
    for (int i = 0; i < 40; ++i) name += QStringLiteral("駅"); // 121 bytes
    for (const QString& stored : {name, QStringLiteral(" 発車 ベル.wav "), QStringLiteral("\"q\".wav")}) {
        load("DoorWAV=x\n");
        program.state.DoorWAV = stored;
        SaveSettings(program, targets);
        program.state.DoorWAV.clear();
        LoadSettings(program, targets);
        SaveSettings(program, targets);
        LoadSettings(program, targets);
        EXPECT_EQ(program.state.DoorWAV, stored);
    }
    load("DoorWAV=  \"発車 ベル.wav\"  \n");
    EXPECT_EQ(program.state.DoorWAV, QStringLiteral("発車 ベル.wav"));

    // Only a value past a few KiB is cut, and never inside a character.
    QString huge;
    for (int i = 0; i < 2000; ++i) huge += QStringLiteral("駅");
    load("DoorWAV=" + huge.toUtf8() + "\n");
    EXPECT_EQ(program.state.DoorWAV, huge.left(4095 / 3));
}

TEST_F(Settings, FilesWrittenElsewhereKeepTheirBytesAndTheirLines)
{
    // An editor's byte-order mark before the section header.
    store("\xEF\xBB\xBF[TARNEK 1.10]\r\nDoorDelay=900\r\nNoise=Yes\r\n");
    LoadSettings(program, targets);
    EXPECT_EQ(program.state.DoorDelay, 900);
    EXPECT_EQ(program.state.Noise, -1);
    SaveSettings(program, targets);
    EXPECT_TRUE(stored().startsWith("\xEF\xBB\xBF[TARNEK 1.10]\r\nDoorDelay=900\r\nNoise=Yes\r\nXPosR="));
    EXPECT_EQ(stored().count("[TARNEK 1.10]"), 1);

    // Shift-JIS from a Windows copy: "発車.wav" and a foreign key, unchanged through two runs.
    const QByteArray shiftJis = "\x94\xad\x8e\xd4.wav";
    load("DoorWAV=" + shiftJis + "\nMemo=\x83\x81\x83\x82\n");
    SaveSettings(program, targets);
    LoadSettings(program, targets);
    SaveSettings(program, targets);
    EXPECT_TRUE(stored().contains("\nDoorWAV=" + shiftJis + "\n")) << stored().toHex().constData();
    EXPECT_TRUE(stored().contains("\nMemo=\x83\x81\x83\x82\n"));

    // A name with a line break never makes lines of its own.
    load("Door=Yes\nDoorWAV=old.wav\n");
    program.state.DoorWAV = QStringLiteral("x.wav\nDoor=No\r\n[Other]");
    SaveSettings(program, targets);
    LoadSettings(program, targets);
    EXPECT_EQ(program.state.Door, -1);
    EXPECT_EQ(program.state.DoorWAV, QStringLiteral("old.wav"));
    EXPECT_EQ(stored().count('\n'), 15);
}

TEST_F(Settings, NumbersReadTheSameUnderACommaDecimalLocale)
{
    // A German locale of our own, so that the test needs no locale installed on the machine.
    QTemporaryDir locales;
    const QString make = QStringLiteral("localedef -i de_DE -f UTF-8 '%1/de_DE.UTF-8' 2>/dev/null").arg(locales.path());
    ASSERT_EQ(std::system(make.toLocal8Bit().constData()), 0);
    const QByteArray oldLocPath = qgetenv("LOCPATH");
    const std::string oldNumeric = std::setlocale(LC_NUMERIC, nullptr);
    qputenv("LOCPATH", locales.path().toLocal8Bit());
    ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr);
    ASSERT_EQ(std::strtod("0.5", nullptr), 0.0); // the locale really wants a comma

    load("XPosR=0.5000000\nYPosR=0.2500000\nDoorDelay=3.5\n");
    const QSize size = screen();
    EXPECT_EQ(window.pos(), QPoint(qRound(0.5 * size.width()), qRound(0.25 * size.height())));
    EXPECT_EQ(program.state.DoorDelay, 4);
    SaveSettings(program, targets);
    EXPECT_TRUE(stored().contains("\nXPosR=0.5000000\n")) << stored().constData();

    std::setlocale(LC_NUMERIC, oldNumeric.c_str());
    if (oldLocPath.isNull()) qunsetenv("LOCPATH");
    else qputenv("LOCPATH", oldLocPath);
}

TEST_F(Settings, AWriteThatFailsLeavesTheOldFileByteForByte)
{
    load("DoorDelay=900\nNoise=Yes\n");
    const QByteArray before = stored();
    program.state.DoorDelay = 1200;
    // A disk that fills up: writes past 16 bytes fail (EFBIG, the signal ignored).
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 16;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    SaveSettings(program, targets);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(stored(), before);
    EXPECT_EQ(QDir(programDir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("tarnek.ini")});
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(Settings, NothingIsWrittenBeforeTheFileWasRead)
{
    store("[TARNEK 1.10]\nDoorDelay=900\n");
    SaveSettings(program, targets);
    EXPECT_EQ(stored(), QByteArray("[TARNEK 1.10]\nDoorDelay=900\n"));
}

TEST_F(Settings, EverythingElseInTheFileSurvivesASave)
{
    const QByteArray before = "; settings of several programs\r\n"
                              "[Other]\r\n"
                              "Door=keep me\r\n"
                              "\r\n"
                              "[tarnek 1.10]\r\n"
                              "  doordelay = 1500\r\n"
                              "; a comment inside our section\r\n"
                              "Foreign=value\r\n"
                              "\r\n"
                              "[Last]\r\n"
                              "x=1";
    store(before);
    LoadSettings(program, targets);
    EXPECT_EQ(program.state.DoorDelay, 1500); // names without regard to case, blanks dropped
    SaveSettings(program, targets);
    const QByteArray after = stored();
    EXPECT_TRUE(after.startsWith("; settings of several programs\r\n[Other]\r\nDoor=keep me\r\n\r\n[tarnek 1.10]\r\n"
                                 "DoorDelay=1500\r\n; a comment inside our section\r\nForeign=value\r\nXPosR="))
        << after.constData();
    EXPECT_TRUE(after.endsWith("DoorWAV=\r\n\r\n[Last]\r\nx=1")) << after.constData();
    EXPECT_EQ(after.count("\r\n"), after.count("\n")); // the file's own line ends throughout
}

TEST_F(Settings, AProgramDirectoryThatCannotBeWrittenLosesNothingAndSaysNothing)
{
    // tarnek.ini is a folder here: nothing can be read or written, and the folder stays.
    QDir(programDir.path()).mkpath(QStringLiteral("tarnek.ini/inside"));
    LoadSettings(program, targets);
    EXPECT_EQ(program.state.Door, -1);
    SaveSettings(program, targets);
    EXPECT_TRUE(QFileInfo(programDir.filePath(QStringLiteral("tarnek.ini/inside"))).isDir());

    host.programDir = programDir.filePath(QStringLiteral("no such folder"));
    SaveSettings(program, targets);
    EXPECT_FALSE(QFile::exists(host.programDir));

    if (::geteuid() != 0) { // permissions bind everyone but root
        QTemporaryDir locked;
        host.programDir = locked.path();
        QFile f(QDir(locked.path()).filePath(QStringLiteral("tarnek.ini")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[TARNEK 1.10]\nDoorDelay=42\n");
        f.close();
        QFile::setPermissions(locked.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        program.state.DoorDelay = 7;
        SaveSettings(program, targets);
        QFile back(f.fileName());
        ASSERT_TRUE(back.open(QIODevice::ReadOnly));
        EXPECT_EQ(back.readAll(), QByteArray("[TARNEK 1.10]\nDoorDelay=42\n"));
        QFile::setPermissions(locked.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    EXPECT_TRUE(host.messages.empty());
}

} // namespace
