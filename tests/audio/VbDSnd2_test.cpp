#include "EveryOperation.h"
#include "MidiWriter.h"
#include "Mixer.h"
#include "VbDSnd2.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

struct TempDir {
    fs::path path = fs::temp_directory_path() / ("tarnek-audio-" + std::to_string(::getpid()));
    TempDir() { fs::create_directories(path); }
    ~TempDir() { fs::remove_all(path); }
    std::string write(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(path / name, std::ios::binary) << bytes;
        return (path / name).string();
    }
};

// A SoundFont as far as its header goes.
const std::string kSoundFontHeader = std::string("RIFF\x04\x00\x00\x00sfbk", 12);

struct DriverScope {
    explicit DriverScope(const char* driver) { ::setenv("SDL_AUDIODRIVER", driver, 1); }
    ~DriverScope() { ::setenv("SDL_AUDIODRIVER", "dummy", 1); }
};

TEST(VbDSnd2, OpensTheDeviceWithASmallBlockAndClosesIt)
{
    DriverScope driver("dummy");
    VbDSnd2 audio({});
    ASSERT_NE(audio.dsInit2(0, 2), 0);
    EXPECT_GT(audio.deviceBlockFrames(), 0);
    EXPECT_LE(audio.deviceBlockFrames(), 256);
    audio.dsQuit();
    EXPECT_EQ(audio.deviceBlockFrames(), 0);
    // Opening again after a close works, as a retry would.
    EXPECT_NE(audio.dsInit2(0, 2), 0);
}

TEST(VbDSnd2, ReportsZeroWhenNoDeviceCanBeOpened)
{
    DriverScope driver("no-such-driver");
    VbDSnd2 audio({});
    EXPECT_EQ(audio.dsInit2(0, 2), 0);
}

TEST(VbDSnd2, MusicNeedsASoundFontAndTakesTheFirstOneFound)
{
    TempDir dir;
    const std::string notASoundFont = dir.write("text.sf2", "hello, this is not a soundfont");
    const std::string empty = dir.write("empty.sf2", "");
    const std::string first = dir.write("first.sf2", kSoundFontHeader);
    const std::string second = dir.write("second.sf2", kSoundFontHeader);

    VbDSnd2 none({"", (dir.path / "missing.sf2").string(), notASoundFont, empty});
    EXPECT_EQ(none.dsInitMusic(), 0);
    EXPECT_EQ(none.soundFontPath(), "");

    VbDSnd2 audio({"", notASoundFont, first, second});
    EXPECT_NE(audio.dsInitMusic(), 0);
    EXPECT_EQ(audio.soundFontPath(), first);
    audio.dsQuitMusic();
    EXPECT_EQ(audio.soundFontPath(), "");
    EXPECT_NE(audio.dsInitMusic(), 0);
}

TEST(VbDSnd2, ASoundFontThatFailsToLoadGivesWayToTheNext)
{
    TempDir dir;
    const std::string broken = dir.write("broken.sf2", kSoundFontHeader); // the header, and nothing to load
    const std::string good = "/usr/share/sounds/sf2/default-GM.sf2";
    SmfTrack track;
    track.note(0, 96, 0, 72, 100);
    const Bytes smf = writeSmf(0, 96, {track});
    const std::string tune = dir.write("tune.mid", std::string(smf.begin(), smf.end()));

    VbDSnd2 audio({broken, good});
    ASSERT_NE(audio.dsInitMusic(), 0);
    const AudioLibrary::Handle song = audio.dsLoadMusicSegment(tune, 32);
    ASSERT_NE(song, 0);
    EXPECT_EQ(audio.soundFontPath(), good);
    audio.dsPlayMusicSegment(song, 0);
    std::vector<float> out(2 * 9600);
    audio.render(out.data(), 9600);
    EXPECT_NE(*std::max_element(out.begin(), out.end()), 0.0f);
    audio.dsQuitMusic(); // the next start goes straight to the one that loads
    EXPECT_NE(audio.dsInitMusic(), 0);
    EXPECT_EQ(audio.soundFontPath(), good);

    // Nothing loads: music loads fail, but music still starts, as WAVE bells need it to.
    VbDSnd2 none({broken});
    for (int round = 0; round < 2; ++round) {
        EXPECT_NE(none.dsInitMusic(), 0);
        EXPECT_EQ(none.dsLoadMusicSegment(tune, 32), 0);
    }
}

TEST(VbDSnd2, EveryOperationAcceptsHandleZero)
{
    DriverScope driver("dummy");
    VbDSnd2 audio({});
    ASSERT_NE(audio.dsInit2(0, 2), 0);
    audio.dsSetGlobalFocus(-1);
    audio.dsSetMasterVolume(0);
    expectEveryOperationHarmless(audio, 0);
    AudioLibrary::Handle buffer = 5, segment = 6;
    audio.dsFree(buffer);
    audio.dsFreeMusicSegment(segment);
    EXPECT_EQ(buffer, 0);
    EXPECT_EQ(segment, 0);
    audio.dsQuitMusic();
    audio.dsQuit();
    audio.dsQuit();
}

TEST(Mixer, RendersSilenceWithNothingPlayingAndCountsFrames)
{
    Mixer mixer;
    std::vector<float> out(256 * Mixer::kChannels, 1.0f);
    mixer.render(out.data(), 256);
    for (float sample : out) EXPECT_EQ(sample, 0.0f);
    EXPECT_EQ(mixer.framesRendered(), 256);
}

} // namespace

int main(int argc, char** argv)
{
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
