#include "FakeAudioLibrary.h"
#include "LosslessText.h"
#include "MidiWriter.h"
#include "SegmentWriter.h"
#include "VbDSnd2.h"
#include "WaveWriter.h"
#include "FakeHost.h"
#include "PictureBox.h"
#include "Program.h"
#include "WindowTimer.h"
#include "frmMain.h"
#include "frmMenus.h"
#include "frmOptions.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>
#include <QLabel>
#include <QWindow>

#include <filesystem>
#include <fstream>
#include <memory>

#include <sndfile.h>

using ::testing::ElementsAre;

namespace {

const QString kNoSound = QStringLiteral(
    "DirectSoundが使えません。\r\n\r\n"
    "サウンド機能とDirectXが正しくインストールされていないか、他のアプリケーションがサウンドを再生中です。");

struct Fixture : ::testing::Test {
    QTemporaryDir programDir;
    FakeHost host = [this] {
        FakeHost h;
        h.programDir = programDir.path();
        return h;
    }();
    FakeAudioLibrary audio;
    Program program{host, audio};
    std::unique_ptr<frmMain> form = std::make_unique<frmMain>(program);

    QImage releasedCell() const
    {
        return QImage(QStringLiteral(":/switch.png")).copy(0, 0, 48, 48).convertToFormat(QImage::Format_RGB32);
    }
};

using StartUp = Fixture;
using ShutDown = Fixture;
using MainWindow = Fixture;

TEST_F(StartUp, RetryTriesTheDeviceAgainUntilItOpens)
{
    audio.script("dsInit2", {0, 0, 7});
    host.answers = {MsgBoxResult::vbRetry, MsgBoxResult::vbRetry};

    form->Load();

    EXPECT_EQ(audio.callsOf("dsInit2"), (std::vector<std::string>{"dsInit2(2)", "dsInit2(2)", "dsInit2(2)"}));
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[0].prompt, kNoSound);
    EXPECT_EQ(host.messages[0].style, MsgBoxStyle::vbRetryCancel | MsgBoxStyle::vbExclamation);
    EXPECT_EQ(host.messages[0].title, QStringLiteral("タルネク"));
    EXPECT_THAT(audio.names(), ElementsAre("dsInit2", "dsInit2", "dsInit2", "dsInitMusic", "dsSetGlobalFocus"));
    EXPECT_EQ(audio.calls.back(), "dsSetGlobalFocus(-1)");
    EXPECT_FALSE(host.endedWith);
    EXPECT_TRUE(form->isVisible());
}

TEST_F(StartUp, CancelEndsTheProgramWithoutWindowOrShutdown)
{
    audio.script("dsInit2", {0, 0});
    host.answers = {MsgBoxResult::vbRetry, MsgBoxResult::vbCancel};

    form->Load();

    ASSERT_EQ(host.messages.size(), 3u);
    EXPECT_EQ(host.messages[2].prompt, QStringLiteral("タルネクを起動できませんでした。"));
    EXPECT_EQ(host.messages[2].style, MsgBoxStyle::vbOKOnly | MsgBoxStyle::vbCritical);
    EXPECT_EQ(host.endedWith, 1);
    EXPECT_FALSE(form->isVisible());
    EXPECT_THAT(audio.names(), ElementsAre("dsInit2", "dsInit2"));
}

TEST_F(StartUp, NoMusicShowsItsMessageStopsAndStillShowsTheReleasedSwitch)
{
    audio.script("dsInitMusic", {0});

    form->Load();

    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].prompt, QStringLiteral("DirectMusicが使えません。"));
    EXPECT_EQ(host.messages[0].style, MsgBoxStyle::vbOKOnly);
    EXPECT_EQ(host.pointers, std::vector<MousePointer>{MousePointer::Default});
    EXPECT_THAT(audio.names(), ElementsAre("dsInit2", "dsInitMusic"));
    EXPECT_FALSE(host.endedWith);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->picDest->image(), releasedCell());
}

TEST_F(ShutDown, FreesTheSoundsClosesTheLibraryAndEnds)
{
    form->Load();
    program.state.FadeActive = -1;
    program.state.DoorBuffer = 11;
    program.state.BellBuffer = 12;
    program.state.NoiseBuffer = 13;
    program.state.BellSegment = 14;
    audio.calls.clear();

    form->close();

    EXPECT_THAT(audio.calls, ElementsAre("dsFree(11)", "dsFree(12)", "dsFree(13)", "dsFreeMusicSegment(14)",
                                         "dsQuitMusic()", "dsQuit()"));
    EXPECT_EQ(program.state.FadeActive, 0);
    EXPECT_EQ(program.state.DoorBuffer, 0);
    EXPECT_EQ(program.state.BellSegment, 0);
    EXPECT_EQ(host.endedWith, 0);
}

TEST_F(MainWindow, IsAFramelessPanelShowingTheReleasedSwitch)
{
    EXPECT_EQ(form->Timer1->Interval(), 1301); // as designed, until the settings give the door delay
    form->Load();

    EXPECT_EQ(form->size(), QSize(320, 64));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("タルネク"));
    EXPECT_TRUE(form->windowFlags().testFlag(Qt::FramelessWindowHint));
    ASSERT_NE(form->windowHandle(), nullptr);
    EXPECT_TRUE(form->windowHandle()->flags().testFlag(Qt::FramelessWindowHint));
    EXPECT_FALSE(form->windowIcon().isNull());

    EXPECT_EQ(form->picDest->geometry(), QRect(8, 8, 48, 48));
    EXPECT_EQ(form->picDest->image(), releasedCell());
    // What reaches the screen is the backing image.
    EXPECT_EQ(form->picDest->grab().toImage().convertToFormat(QImage::Format_RGB32), releasedCell());
    EXPECT_FALSE(form->picSrc->isVisible());
    EXPECT_EQ(form->picDest->cursor().hotSpot(), QPoint(5, 0));

    EXPECT_EQ(form->lblFileName->pos(), QPoint(64, 8));
    EXPECT_EQ(form->lblFileName->text(), QString());
    EXPECT_EQ(form->lblFileInfo->geometry(), QRect(64, 32, 249, 28));
    EXPECT_EQ(form->lblFileInfo->text(), QStringLiteral("-"));
    EXPECT_EQ(form->lblFileInfo->palette().color(QPalette::WindowText), QColor(255, 255, 255));
    EXPECT_EQ(form->lblFileInfo->font().pointSize(), 9);

    EXPECT_EQ(form->Timer1->Interval(), 1); // no settings file: a door delay of 0, plus 1
    EXPECT_FALSE(form->Timer1->Enabled());
    EXPECT_EQ(form->tmrVolReset->Interval(), 0);
    EXPECT_FALSE(form->tmrVolReset->Enabled());
}

} // namespace

// Start-up and drops with real files in a temporary program directory and the real library.
namespace {

struct WithFiles : ::testing::Test {
    QTemporaryDir programDir;
    QTemporaryDir userDir;
    FakeHost host;
    VbDSnd2 audio{{"/usr/share/sounds/sf2/default-GM.sf2"}};
    Program program{host, audio};
    std::unique_ptr<frmMain> form;

    void SetUp() override
    {
        host.programDir = programDir.path();
        form = std::make_unique<frmMain>(program);
    }

    static void write(const QString& path, const std::vector<std::uint8_t>& bytes)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    }
    static std::vector<std::uint8_t> shortWave()
    {
        return writeWave(sineSignal(440.0, 48000, 4800, 1), 1, 48000, SF_FORMAT_PCM_16);
    }
    QString userFile(const QString& name, const std::vector<std::uint8_t>& bytes) const
    {
        const QString path = userDir.filePath(name);
        write(path, bytes);
        return path;
    }
    static std::vector<std::uint8_t> tune()
    {
        SmfTrack track;
        track.note(0, 96, 0, 72, 100);
        return writeSmf(0, 96, {track});
    }

    // Sends a drag of `data` over the window and then drops it; returns whether the drag was taken.
    bool dragAndDrop(QWidget& target, QMimeData* data)
    {
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&target, &enter);
        const bool taken = enter.isAccepted() && enter.dropAction() == Qt::CopyAction;
        if (taken) {
            QDropEvent drop(QPointF(10, 10), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&target, &drop);
        }
        return taken;
    }
};

TEST_F(WithFiles, StartUpLoadsTheFixedSoundsAndClearsOldWorkingCopies)
{
    write(programDir.filePath(QStringLiteral("door.wav")), shortWave());
    // No b.wav: the noise is simply silent.
    for (const char* name : {"~tarnek.mid", "~tarnek.wav", "~tarnek.sgt"})
        write(programDir.filePath(QString::fromLatin1(name)), {1, 2, 3});

    form->Load();

    EXPECT_NE(program.state.DoorBuffer, 0);
    EXPECT_EQ(program.state.NoiseBuffer, 0);
    EXPECT_FALSE(QFile::exists(programDir.filePath(QStringLiteral("~tarnek.mid"))));
    EXPECT_FALSE(QFile::exists(programDir.filePath(QStringLiteral("~tarnek.wav"))));
    EXPECT_TRUE(QFile::exists(programDir.filePath(QStringLiteral("~tarnek.sgt")))); // left for the next load
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(form->lblFileInfo->text(), QStringLiteral("-"));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("タルネク"));
}

TEST_F(WithFiles, TheCommandLineFileIsTakenWholeAndOpened)
{
    QDir(userDir.path()).mkpath(QStringLiteral("my bells"));
    const QString path = userFile(QStringLiteral("my bells/発車 ベル.wav"), shortWave());
    host.commandLineText = QLatin1Char('"') + path + QLatin1Char('"');

    form->Load();

    EXPECT_NE(program.state.BellBuffer, 0);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("発車 ベル.wav - タルネク"));
    EXPECT_EQ(form->CmDialog.FileName, path);
    EXPECT_EQ(QDir::currentPath(), QFileInfo(path).absolutePath());
}

TEST_F(WithFiles, ASegmentFindsTheWaveItNamesInTheFolderOfTheFileChosen)
{
    // The bell plays from its working copy beside the program, so what it names is found
    // through the current directory, which choosing the bell made its folder.
    Segment s;
    s.length = 768;
    SegmentWaveItem chime;
    chime.duration = 384;
    chime.file = "Chime.WAV"; // written on Windows, where case does not matter
    s.waveParts = {{0, 1, 0, 0, {chime}}};
    QDir(userDir.path()).mkpath(QStringLiteral("bells"));
    const QString path = userFile(QStringLiteral("bells/departure.sgt"), writeSegment(s));
    userFile(QStringLiteral("bells/chime.wav"), shortWave());
    const QString before = QDir::currentPath();
    host.commandLineText = path;

    form->Load();
    EXPECT_NE(program.state.BellSegment, 0);
    EXPECT_TRUE(host.messages.empty());

    // Without it there is nothing left to play, and the panel says so instead of staying silent.
    QFile::remove(userDir.filePath(QStringLiteral("bells/chime.wav")));
    form->DropFile(path);
    EXPECT_EQ(program.state.BellSegment, 0);
    EXPECT_EQ(form->lblFileInfo->text(), QStringLiteral("このファイルは再生できません。"));
    QDir::setCurrent(before);
}

TEST_F(WithFiles, AWorkingCopyNamedOnTheCommandLineIsOpenedNotCleanedAway)
{
    const QString copy = programDir.filePath(QStringLiteral("~tarnek.wav"));
    write(copy, shortWave());
    write(programDir.filePath(QStringLiteral("~tarnek.mid")), {1, 2, 3});
    host.commandLineText = copy;

    form->Load();

    EXPECT_TRUE(QFile::exists(copy));
    EXPECT_NE(program.state.BellBuffer, 0);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_FALSE(QFile::exists(programDir.filePath(QStringLiteral("~tarnek.mid"))));
}

TEST_F(WithFiles, ANameRelativeToTheStartingDirectoryStillOpensAfterTheDirectoryChanges)
{
    QDir(userDir.path()).mkpath(QStringLiteral("bells"));
    const QString path = userFile(QStringLiteral("bells/bell.wav"), shortWave());
    const QString before = QDir::currentPath();
    QDir::setCurrent(userDir.path());
    host.commandLineText = QStringLiteral("bells/bell.wav"); // as typed in a shell

    form->Load();

    EXPECT_NE(program.state.BellBuffer, 0);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(form->CmDialog.FileName, path); // the open dialog starts at the file itself
    EXPECT_EQ(QDir::currentPath(), QFileInfo(path).absolutePath());
    QDir::setCurrent(before);
}

TEST_F(WithFiles, AFileWhoseNameIsNotUtf8Opens)
{
    // Shift-JIS bytes, folder and file, as an old disc or archive leaves them.
    const QByteArray folder = QFile::encodeName(userDir.path()) + "/\x94\xad";
    const QByteArray bytes = folder + "/\x8e\xd4.wav";
    std::filesystem::create_directory(folder.toStdString());
    const std::vector<std::uint8_t> wave = shortWave();
    std::ofstream(bytes.toStdString(), std::ios::binary).write(reinterpret_cast<const char*>(wave.data()), std::streamsize(wave.size()));
    const QString name = textFromBytes(bytes);
    host.commandLineText = QLatin1Char('"') + name + QLatin1Char('"');
    std::error_code error;
    const std::filesystem::path before = std::filesystem::current_path(error);

    form->Load();

    EXPECT_NE(program.state.BellBuffer, 0);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(form->windowTitle(), QStringLiteral("\uFFFD\uFFFD.wav - タルネク"));
    EXPECT_EQ(host.recentDocs, QStringList{name});
    EXPECT_EQ(std::filesystem::current_path(error), std::filesystem::path(folder.toStdString()));

    // Dropped, as a file manager spells it: the same bytes, percent-encoded.
    QMimeData data;
    data.setData(QStringLiteral("text/uri-list"), "# from a file manager\r\nfile://localhost" + bytes.toPercentEncoding("/") + "\r\n");
    program.audio.dsFree(program.state.BellBuffer);
    program.state.BellBuffer = 0;
    ASSERT_TRUE(dragAndDrop(*form, &data));
    EXPECT_NE(program.state.BellBuffer, 0);
    EXPECT_EQ(host.recentDocs, (QStringList{name, name}));
    EXPECT_TRUE(host.messages.empty());
    std::filesystem::current_path(before, error);
    std::filesystem::remove_all(folder.toStdString()); // QTemporaryDir cannot name it
}

TEST(CommandLine, QuotesAndBlanks)
{
    EXPECT_EQ(commandLineFile(QStringLiteral("\"/a b/c.wav\"")), QStringLiteral("/a b/c.wav"));
    EXPECT_EQ(commandLineFile(QStringLiteral("/a b/c.wav")), QStringLiteral("/a b/c.wav"));
    // A leading quote takes the first and the last character, whatever they are.
    EXPECT_EQ(commandLineFile(QStringLiteral("\"/a/c.wav\" /s")), QStringLiteral("/a/c.wav\" /"));
    EXPECT_EQ(commandLineFile(QStringLiteral("\"")), QString());
    EXPECT_EQ(commandLineFile(QStringLiteral("\"\"")), QString());
    EXPECT_EQ(commandLineFile(QString()), QString());
}

TEST_F(WithFiles, AnyLocalFileListIsTakenForCopyingAndTextOrWebLinksAreNot)
{
    form->Load();
    auto* files = new QMimeData;
    files->setUrls({QUrl::fromLocalFile(userDir.filePath(QStringLiteral("notes.txt")))});
    EXPECT_TRUE(dragAndDrop(*form, files));
    auto* text = new QMimeData;
    text->setText(QStringLiteral("/home/me/bell.wav"));
    EXPECT_FALSE(dragAndDrop(*form, text));
    auto* links = new QMimeData;
    links->setUrls({QUrl(QStringLiteral("http://example.com/bell.wav"))});
    EXPECT_FALSE(dragAndDrop(*form, links));
    EXPECT_EQ(program.state.BellBuffer, 0);
    delete files;
    delete text;
    delete links;

    // The labels and the switch take no drops of their own: theirs go to the window.
    EXPECT_TRUE(form->acceptDrops());
    EXPECT_FALSE(form->lblFileName->acceptDrops());
    EXPECT_FALSE(form->lblFileInfo->acceptDrops());
    EXPECT_FALSE(form->picDest->acceptDrops());
}

TEST_F(WithFiles, DroppedBellsOpenInOrderAndOthersAreSkipped)
{
    form->Load();
    const QString wav = userFile(QStringLiteral("one.wav"), shortWave());
    const QString txt = userFile(QStringLiteral("read me.txt"), {'h', 'i'});
    const QString mid = userFile(QStringLiteral("two.MID"), tune());
    const QString midi = userFile(QStringLiteral("three.midi"), tune());

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(wav), QUrl::fromLocalFile(txt), QUrl::fromLocalFile(mid),
                  QUrl::fromLocalFile(midi)});
    ASSERT_TRUE(dragAndDrop(*form, &data));

    EXPECT_EQ(host.recentDocs, (QStringList{wav, mid})); // the WAVE, then the MIDI file
    EXPECT_NE(program.state.BellSegment, 0);             // the last one opened stays loaded
    EXPECT_EQ(program.state.BellBuffer, 0);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("two.MID - タルネク"));
    EXPECT_EQ(form->CmDialog.FileName, mid);
    EXPECT_EQ(program.state.FadeActive, 0);
}

TEST_F(WithFiles, ABareNameOpensAsAFileOfTheCurrentDirectory)
{
    form->Load();
    const QString before = QDir::currentPath();
    form->DropFile(QStringLiteral("no-such-bell.wav"));
    EXPECT_EQ(QDir::currentPath(), before);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("no-such-bell.wav - タルネク"));
    EXPECT_EQ(program.state.BellBuffer, 0);
    ASSERT_EQ(host.messages.size(), 1u); // the copy found no file: said, and nothing else happens
    EXPECT_FALSE(host.endedWith);
}

} // namespace

namespace {

void sendMouse(QWidget& target, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held)
{
    QMouseEvent event(type, QPointF(at), QPointF(target.mapToGlobal(at)), button, held, Qt::NoModifier);
    QApplication::sendEvent(&target, &event);
}

TEST_F(MainWindow, ALeftDragOnTheLabelsMovesTheWindow)
{
    form->Load();
    form->move(100, 100);
    const QPoint start = form->pos();
    sendMouse(*form->lblFileInfo, QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton, Qt::LeftButton);
    sendMouse(*form->lblFileInfo, QEvent::MouseMove, {25, 15}, Qt::NoButton, Qt::LeftButton);
    sendMouse(*form->lblFileInfo, QEvent::MouseButtonRelease, {25, 15}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(form->pos() - start, QPoint(20, 10));

    // Moves without the left button alone, or with the right one, leave it where it is.
    const QPoint after = form->pos();
    sendMouse(*form, QEvent::MouseMove, {60, 30}, Qt::NoButton, Qt::NoButton);
    sendMouse(*form, QEvent::MouseButtonPress, {5, 5}, Qt::RightButton, Qt::RightButton);
    sendMouse(*form, QEvent::MouseMove, {60, 30}, Qt::NoButton, Qt::RightButton);
    EXPECT_EQ(form->pos(), after);
}

TEST_F(MainWindow, OnlyALeftDoubleClickCloses)
{
    form->Load();
    sendMouse(*form, QEvent::MouseButtonDblClick, {200, 30}, Qt::MiddleButton, Qt::MiddleButton);
    EXPECT_FALSE(host.endedWith);
    sendMouse(*form, QEvent::MouseButtonDblClick, {200, 30}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(host.endedWith, 0);
}

TEST_F(WithFiles, DropsOnTheLabelsAndTheSwitchOpenTheFileAsOnTheWindow)
{
    form->Load();
    const QString wav = userFile(QStringLiteral("label.wav"), shortWave());
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(wav)});
    EXPECT_TRUE(dragAndDrop(*form->lblFileName, &data));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("label.wav - タルネク"));

    const QString mid = userFile(QStringLiteral("switch.mid"), tune());
    QMimeData onSwitch;
    onSwitch.setUrls({QUrl::fromLocalFile(mid)});
    EXPECT_TRUE(dragAndDrop(*form->picDest, &onSwitch));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("switch.mid - タルネク"));
}

} // namespace

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST_F(StartUp, ReadsTheSettingsAndTheShutdownWritesThem)
{
    const QString ini = programDir.filePath(QStringLiteral("tarnek.ini"));
    {
        QFile file(ini);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[TARNEK 1.10]\nDoorDelay=900\nNoise=Yes\n");
    }
    form->Load();
    EXPECT_EQ(program.state.DoorDelay, 900);
    EXPECT_EQ(form->Timer1->Interval(), 901);
    program.state.EffectUrawa = -1;
    std::int16_t cancel = 0;
    form->Form_Unload(cancel);
    const QByteArray saved = readFile(ini);
    EXPECT_TRUE(saved.contains("DoorDelay=900\n"));
    EXPECT_TRUE(saved.contains("Noise=Yes\n"));
    EXPECT_TRUE(saved.contains("EffectUrawa=Yes\n"));
    EXPECT_TRUE(saved.contains("XPosR="));
}

TEST_F(StartUp, ARunWithoutMusicLeavesTheStoredSettingsAlone)
{
    const QString ini = programDir.filePath(QStringLiteral("tarnek.ini"));
    const QByteArray choices = "[TARNEK 1.10]\nDoorDelay=900\nEffectTokyo=Yes\n";
    {
        QFile file(ini);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(choices);
    }
    audio.script("dsInitMusic", {0});
    form->Load();
    EXPECT_EQ(program.state.DoorDelay, 0); // never read
    // Commands that store the settings at once store nothing either.
    form->menus().mnuUseFadeIn_Click();
    frmOptions options(program, SettingsTargets{*form, *form->Timer1, form->CmDialog});
    options.Form_Load();
    options.cmdOK_Click();
    EXPECT_EQ(readFile(ini), choices);
    std::int16_t cancel = 0;
    form->Form_Unload(cancel);
    EXPECT_EQ(readFile(ini), choices);
}

} // namespace

namespace {

TEST_F(StartUp, TheSavedDoorAnnouncementIsCheckedAndLoaded)
{
    QDir(programDir.path()).mkpath(QStringLiteral("Door"));
    for (const char* name : {"Door/b.wav", "Door/a.wav", "tarnek.ini"}) {
        QFile file(programDir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(name) == "tarnek.ini" ? "[TARNEK 1.10]\nDoorWAV=b.wav\n" : "RIFF....WAVE");
    }
    audio.script("dsCreateDSB", {21}); // the announcement from Door/
    form->Load();
    frmMenus& menus = form->menus();
    ASSERT_EQ(menus.mnuDoor.size(), 3u);
    EXPECT_EQ(menus.mnuDoor[2]->text(), QStringLiteral("b.wav"));
    EXPECT_TRUE(menus.mnuDoor[2]->isChecked());
    EXPECT_TRUE(menus.mnuDoor2[2]->isChecked());
    EXPECT_FALSE(menus.mnuDoor[0]->isChecked());
    EXPECT_EQ(program.state.DoorBuffer, 21);
}

} // namespace
