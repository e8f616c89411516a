// Loading bells through the real audio library, with real files in a temporary program directory.
#include "FakeHost.h"
#include "MidiWriter.h"
#include "Program.h"
#include "SegmentWriter.h"
#include "Sound.h"
#include "VbDSnd2.h"
#include "VbDSound.h"
#include "WaveWriter.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QTemporaryDir>
#include <QWidget>

#include <sndfile.h>

namespace {

const char* const kSoundFont = "/usr/share/sounds/sf2/default-GM.sf2";

void write(const QString& path, const std::vector<std::uint8_t>& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
}

Melody melody()
{
    Melody m;
    m.ticksPerQuarter = 96;
    m.lengthTicks = 96 * 4; // two seconds at 120 BPM
    m.notes = {{0, 96, 0, 76, 100}, {96, 96, 0, 72, 100}};
    return m;
}

struct Bells : ::testing::Test {
    QTemporaryDir programDir;
    QTemporaryDir userDir; // where the user's files lie
    FakeHost host;
    VbDSnd2 audio{{kSoundFont}};
    Program program{host, audio};
    QWidget window;
    QLabel lblFileName{&window};
    QLabel lblFileInfo{&window};
    BellDisplay display{window, lblFileName, lblFileInfo};

    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
        host.programDir = programDir.path();
        ASSERT_EQ(audio.dsInitMusic(), 1);
    }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }

    QString user(const QString& name) const { return userDir.filePath(name); }
    QString beside(const QString& name) const { return programDir.filePath(name); }

    QString wave(const QString& name, int rate = 44100, int channels = 2, int frames = 22050)
    {
        const QString path = user(name);
        write(path, writeWave(sineSignal(440.0, rate, frames, channels), channels, rate, SF_FORMAT_PCM_16));
        return path;
    }
};

TEST_F(Bells, AWaveFileBecomesABufferAndDescribesItself)
{
    const QString path = wave(QStringLiteral("BELL.WAV"));
    LoadBell(program, display, path);

    EXPECT_NE(program.state.BellBuffer, 0);
    EXPECT_EQ(program.state.BellSegment, 0);
    EXPECT_TRUE(QFile::exists(beside(QStringLiteral("~tarnek.wav"))));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("BELL.WAV - タルネク"));
    EXPECT_EQ(lblFileName.text(), QStringLiteral("BELL.WAV"));
    EXPECT_EQ(lblFileInfo.text(), QStringLiteral("0.500 秒\n44,100 Hz, 16 ビット, ステレオ"));
    EXPECT_EQ(host.recentDocs, QStringList{path}); // the user's file, not the working copy
    EXPECT_TRUE(host.messages.empty());
    ASSERT_GE(host.pointers.size(), 2u);
    EXPECT_EQ(host.pointers.front(), MousePointer::Hourglass);
    EXPECT_EQ(host.pointers.back(), MousePointer::Default);

    // The user's file is never touched: the buffer comes from the copy.
    EXPECT_TRUE(QFile::exists(path));
}

TEST_F(Bells, MidiAndSegmentFilesBecomeSegmentsWithALengthLine)
{
    const QString mid = user(QStringLiteral("melody.MID"));
    write(mid, midiFromMelody(melody()));
    const QString sgt = user(QStringLiteral("x.sgt"));
    write(sgt, writeSegment(segmentFromMelody(melody())));

    LoadBell(program, display, mid);
    EXPECT_NE(program.state.BellSegment, 0);
    EXPECT_EQ(program.state.BellBuffer, 0);
    EXPECT_EQ(lblFileInfo.text(), QStringLiteral("2.000 秒"));
    EXPECT_TRUE(QFile::exists(beside(QStringLiteral("~tarnek.mid"))));

    LoadBell(program, display, sgt);
    EXPECT_NE(program.state.BellSegment, 0);
    EXPECT_EQ(lblFileInfo.text(), QStringLiteral("2.000 秒"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("x.sgt - タルネク"));
    // Every load clears out the other working copies.
    EXPECT_FALSE(QFile::exists(beside(QStringLiteral("~tarnek.mid"))));
    EXPECT_TRUE(QFile::exists(beside(QStringLiteral("~tarnek.sgt"))));

    // A WAVE after a MIDI leaves no segment behind.
    LoadBell(program, display, wave(QStringLiteral("b.wav")));
    EXPECT_EQ(program.state.BellSegment, 0);
    EXPECT_NE(program.state.BellBuffer, 0);
    EXPECT_EQ(host.recentDocs.size(), 3);
}

TEST_F(Bells, OnlyTheLastFourCharactersDecideTheType)
{
    const QString path = user(QStringLiteral("tune.midi"));
    write(path, midiFromMelody(melody()));
    LoadBell(program, display, path);
    EXPECT_EQ(program.state.BellSegment, 0);
    EXPECT_EQ(program.state.BellBuffer, 0);
    EXPECT_TRUE(QFile::exists(beside(QStringLiteral("~tarnekmidi"))));
    EXPECT_TRUE(host.recentDocs.isEmpty());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("tune.midi - タルネク"));
    EXPECT_EQ(lblFileInfo.text(), kNothingLoaded);
}

TEST_F(Bells, AnEmptyWaveFileWarnsAndLoadsNothing)
{
    const QString path = user(QStringLiteral("empty.wav"));
    write(path, {});
    LoadBell(program, display, path);
    EXPECT_EQ(program.state.BellBuffer, 0);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].style, MsgBoxStyle::vbOKOnly | MsgBoxStyle::vbExclamation);
    EXPECT_EQ(host.messages[0].title, QStringLiteral("タルネク"));
    EXPECT_TRUE(host.messages[0].prompt.contains(QStringLiteral("空")));
    EXPECT_EQ(lblFileInfo.text(), kNothingLoaded);
    EXPECT_TRUE(host.recentDocs.isEmpty());

    // Data the library refuses: no message, no bell.
    host.messages.clear();
    const QString junk = user(QStringLiteral("junk.wav"));
    write(junk, {'R', 'I', 'F', 'F', 1, 2, 3, 4, 'W', 'A', 'V', 'E'});
    LoadBell(program, display, junk);
    EXPECT_EQ(program.state.BellBuffer, 0);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(Bells, BrokenBellsSayTheyCannotPlayAndMessagesNameTheUsersFile)
{
    for (const char* name : {"broken.mid", "broken.sgt"}) {
        const QString path = user(QString::fromLatin1(name));
        write(path, {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1});
        LoadBell(program, display, path);
        EXPECT_EQ(program.state.BellSegment, 0) << name;
        EXPECT_EQ(lblFileInfo.text(), kNothingLoaded) << name;
    }
    EXPECT_TRUE(host.recentDocs.isEmpty());

    const QString empty = user(QStringLiteral("empty.wav"));
    write(empty, {});
    LoadBell(program, display, empty);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_TRUE(host.messages[0].prompt.contains(empty)) << host.messages[0].prompt.toStdString();
    EXPECT_FALSE(host.messages[0].prompt.contains(QStringLiteral("~tarnek")));
}

TEST_F(Bells, ASegmentLongerThanTheMillisecondsCanCountShowsTheLongestLength)
{
    Segment segment = segmentFromMelody(melody());
    segment.flags = 1;
    segment.refLength = std::int64_t{1} << 60; // some 3,600 years, in 100 ns units
    const QString path = user(QStringLiteral("forever.sgt"));
    write(path, writeSegment(segment));
    LoadBell(program, display, path);
    ASSERT_NE(program.state.BellSegment, 0);
    EXPECT_EQ(audio.dsGetLengthMSec(program.state.BellSegment), INT32_MAX);
    EXPECT_EQ(lblFileInfo.text(), QStringLiteral("2,147,483.647 秒"));

    // It plays, keeps its place, and a release reckons with a pass that long.
    audio.dsPlayMusicSegment(program.state.BellSegment, 1000);
    std::vector<float> out(2 * 4800);
    audio.render(out.data(), 4800);
    EXPECT_EQ(audio.dsGetSeekMSec(program.state.BellSegment), 100);
    program.state.EffectUrawa = -1;
    BellStop(program);
    EXPECT_NEAR(host.clock, 2'147'483.447, 1e-3); // to 0.1 s before the pass's end
}

TEST_F(Bells, AFileTooLargeToLoadIsRefusedBeforeItIsCopied)
{
    // Sparse files: their size costs no disk, but a copy would write it all.
    const std::pair<const char*, qint64> huge[] = {{"huge.wav", qint64(2) << 30}, {"huge.mid", kMaxMusicFileBytes + 1}};
    for (const auto& [name, size] : huge) {
        host.messages.clear();
        const QString path = user(QString::fromLatin1(name));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(size));
        file.close();
        LoadBell(program, display, path);
        EXPECT_EQ(program.state.BellBuffer, 0);
        EXPECT_EQ(program.state.BellSegment, 0);
        EXPECT_EQ(lblFileInfo.text(), kNothingLoaded);
        ASSERT_EQ(host.messages.size(), 1u) << name;
        EXPECT_EQ(host.messages[0].prompt, QStringLiteral("ファイルが大きすぎます。\n\n") + path);
        EXPECT_TRUE(QDir(programDir.path()).entryList(QDir::Files).isEmpty()) << name; // no copy begun
    }
}

TEST_F(Bells, ALoadWhileTheBellPlaysStopsIt)
{
    LoadBell(program, display, wave(QStringLiteral("one.wav")));
    const AudioLibrary::Handle old = program.state.BellBuffer;
    audio.dsPlayLooping(old);
    ASSERT_NE(audio.dsIsPlaying(old), 0);

    LoadBell(program, display, wave(QStringLiteral("two.wav")));
    EXPECT_EQ(audio.dsIsPlaying(old), 0);
    EXPECT_EQ(audio.dsIsPlaying(program.state.BellBuffer), 0); // the new bell waits for the next press
    std::vector<float> out(512);
    audio.render(out.data(), 256);
    for (float s : out) ASSERT_EQ(s, 0.0f);
}

TEST_F(Bells, ChoosingAWorkingCopyItselfKeepsIt)
{
    const QString copy = beside(QStringLiteral("~tarnek.wav"));
    write(copy, writeWave(sineSignal(440.0, 48000, 4800, 1), 1, 48000, SF_FORMAT_PCM_16));
    LoadBell(program, display, copy);
    EXPECT_TRUE(QFile::exists(copy));
    EXPECT_NE(program.state.BellBuffer, 0);
    EXPECT_EQ(lblFileInfo.text(), QStringLiteral("0.100 秒\n48,000 Hz, 16 ビット, モノラル"));
}

TEST_F(Bells, ACopyThatFailsWarnsAndLoadsNothing)
{
    LoadBell(program, display, user(QStringLiteral("gone.wav")));
    EXPECT_EQ(program.state.BellBuffer, 0);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].style, MsgBoxStyle::vbOKOnly | MsgBoxStyle::vbExclamation);
    EXPECT_TRUE(host.messages[0].prompt.contains(user(QStringLiteral("gone.wav"))));
    EXPECT_FALSE(host.endedWith);

    // A working copy that cannot be replaced (a folder in its place that is not empty).
    host.messages.clear();
    QDir(programDir.path()).mkpath(QStringLiteral("~tarnek.wav/inside"));
    LoadBell(program, display, wave(QStringLiteral("ok.wav")));
    EXPECT_EQ(program.state.BellBuffer, 0);
    EXPECT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(lblFileInfo.text(), kNothingLoaded);
}

TEST_F(Bells, WithoutMusicNoBellIsLoadedAndTheLabelsStay)
{
    VbDSnd2 silent({});
    Program noMusic{host, silent};
    lblFileName.setText(QStringLiteral("old"));
    LoadBell(noMusic, display, wave(QStringLiteral("bell.wav")));
    EXPECT_EQ(noMusic.state.BellBuffer, 0);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].prompt, QStringLiteral("DirectMusicが使えません。"));
    EXPECT_EQ(host.messages[0].style, MsgBoxStyle::vbOKOnly);
    EXPECT_EQ(lblFileName.text(), QStringLiteral("old"));
    EXPECT_EQ(host.pointers.back(), MousePointer::Default);
}

TEST(FileInformation, LengthAndFormatLinesFollowTheLocale)
{
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    EXPECT_EQ(lengthLine(12345), QStringLiteral("12.345 秒"));
    EXPECT_EQ(lengthLine(0), QStringLiteral("0.000 秒"));
    EXPECT_EQ(lengthLine(1234567), QStringLiteral("1,234.567 秒"));
    EXPECT_EQ(formatLine({2, 16, 44100}), QStringLiteral("44,100 Hz, 16 ビット, ステレオ"));
    EXPECT_EQ(formatLine({1, 8, 8000}), QStringLiteral("8,000 Hz, 8 ビット, モノラル"));
    EXPECT_EQ(formatLine({6, 24, 48000}), QStringLiteral("48,000 Hz, 24 ビット, 6 チャンネル"));
    EXPECT_EQ(formatLine({0, 0, 0}), QStringLiteral(" Hz,  ビット, "));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); // the locale's own signs
    EXPECT_EQ(lengthLine(1234567), QStringLiteral("1.234,567 秒"));
    QLocale::setDefault(QLocale::c());

    EXPECT_EQ(bellExtension(QStringLiteral("/a/BELL.WAV")), QStringLiteral(".wav"));
    EXPECT_EQ(bellExtension(QStringLiteral("mid")), QStringLiteral("mid"));
    EXPECT_EQ(shortName(QStringLiteral("/home/me/発車ベル.wav")), QStringLiteral("発車ベル.wav"));
    EXPECT_EQ(shortName(QStringLiteral("bell.wav")), QStringLiteral("bell.wav"));
}

TEST_F(Bells, LoadWaveIgnoresMissingAndHiddenFiles)
{
    EXPECT_EQ(LoadWave(program, user(QStringLiteral("none.wav")), 1), 0);
    EXPECT_EQ(LoadWave(program, userDir.path(), 1), 0);
    EXPECT_EQ(LoadWave(program, QString(), 1), 0);
    const QString hidden = wave(QStringLiteral(".hidden.wav"));
    EXPECT_EQ(LoadWave(program, hidden, 1), 0);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_NE(LoadWave(program, wave(QStringLiteral("shown.wav")), 1), 0);
}

} // namespace

namespace {

// The sounds the program carries: they load, say what they are, and the sample bell loops
// without a seam.
TEST_F(Bells, TheCarriedSoundsLoad)
{
    const QDir data(QStringLiteral(TARNEK_DATA_DIR));
    for (const char* name : {"door.wav", "b.wav"})
        EXPECT_NE(LoadWave(program, data.filePath(QString::fromLatin1(name)), 1), 0) << name;

    LoadBell(program, display, data.filePath(QStringLiteral("samples/electric-bell.wav")));
    ASSERT_NE(program.state.BellBuffer, 0);
    EXPECT_GE(audio.dsGetBufferMSec(program.state.BellBuffer), 3000);
    EXPECT_TRUE(lblFileInfo.text().endsWith(QStringLiteral("44,100 Hz, 16 ビット, ステレオ")));

    // Looping: the step across the seam is no larger than the steps within the sound.
    audio.dsPlayLooping(program.state.BellBuffer);
    const int frames = audio.dsGetBufferMSec(program.state.BellBuffer) * 48; // one pass, and a little
    std::vector<float> out(std::size_t(frames + 4800) * 2);
    for (int done = 0; done < frames + 4800; done += 256)
        audio.render(out.data() + std::size_t(done) * 2, std::min(256, frames + 4800 - done));
    double largest = 0.0;
    for (int f = 1; f < frames - 10; ++f) largest = std::max(largest, double(std::fabs(out[2 * f] - out[2 * f - 2])));
    double seam = 0.0;
    for (int f = frames - 10; f < frames + 10; ++f) seam = std::max(seam, double(std::fabs(out[2 * f] - out[2 * f - 2])));
    EXPECT_LE(seam, largest);

    for (const char* name : {"samples/departure.mid", "samples/departure.sgt"}) {
        LoadBell(program, display, data.filePath(QString::fromLatin1(name)));
        EXPECT_NE(program.state.BellSegment, 0) << name;
        EXPECT_EQ(lblFileInfo.text(), QStringLiteral("6.857 秒")) << name; // 16 quarters at 140 BPM
    }
}

} // namespace
