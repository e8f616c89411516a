// Music through the SoundFont, rendered offline.
#include "MidiWriter.h"
#include "SegmentWriter.h"
#include "SoundFontSynth.h"
#include "VbDSnd2.h"
#include "WaveDecoder.h"
#include "WavePlayer.h"
#include "WaveWriter.h"
#include "SegmentReader.h"
#include "Style.h"

#include <fluidsynth.h>
#include <gtest/gtest.h>

#include <set>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <numeric>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kRate = Mixer::kSampleRate;
constexpr int kBlock = 256;
const char* const kSystemSoundFont = "/usr/share/sounds/sf2/default-GM.sf2";

Melody tune()
{
    Melody m;
    m.ticksPerQuarter = 96;
    m.lengthTicks = 96 * 4;
    m.notes = {{0, 48, 0, 72, 110}, {48, 48, 0, 76, 100}, {96, 96, 1, 55, 90}, {192, 144, 0, 79, 120}};
    m.tempos = {{0, 150.0}, {192, 200.0}};
    m.programs = {{0, 14}, {1, 0}};
    return m;
}

double rms(const std::vector<float>& s, std::size_t from = 0)
{
    double sum = 0.0;
    for (std::size_t i = from; i < s.size(); ++i) sum += double(s[i]) * s[i];
    return s.size() > from ? std::sqrt(sum / double(s.size() - from)) : 0.0;
}

struct Music : ::testing::Test {
    fs::path dir;
    std::unique_ptr<VbDSnd2> audio = std::make_unique<VbDSnd2>(std::vector<std::string>{kSystemSoundFont});

    void SetUp() override
    {
        ASSERT_TRUE(isSoundFontFile(kSystemSoundFont)) << "the setup installs a General MIDI SoundFont";
        dir = fs::temp_directory_path() / ("tarnek-music-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        ASSERT_EQ(audio->dsInitMusic(), 1);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string save(const std::string& name, const Bytes& bytes)
    {
        const fs::path path = dir / name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path.string();
    }

    std::vector<float> render(int frames, VbDSnd2* on = nullptr)
    {
        VbDSnd2& a = on ? *on : *audio;
        std::vector<float> out(std::size_t(frames) * 2);
        for (int done = 0; done < frames; done += kBlock)
            a.render(out.data() + std::size_t(done) * 2, std::min(kBlock, frames - done));
        return out;
    }

    static int framesOf(double ms) { return int(ms * kRate / 1000.0); }
};

TEST_F(Music, MidiLengthFollowsItsTempoMap)
{
    // A quarter at 150 BPM (400 ms) and one at 200 BPM (300 ms), twice over.
    const std::string path = save("tune.mid", midiFromMelody(tune()));
    AudioLibrary::Handle h = audio->dsLoadMusicSegment(path, 32);
    ASSERT_NE(h, 0);
    EXPECT_EQ(audio->dsGetLengthMSec(h), 400 + 400 + 300 + 300);
    EXPECT_EQ(audio->dsGetLengthMSec(audio->dsLoadMusicSegment(save("zero.mid", midiFromMelody(tune(), 0)), 32)),
              1400);
}

TEST_F(Music, ASegmentSoundsLikeTheSameTuneAsMidi)
{
    const Melody melody = tune();
    Segment segment = segmentFromMelody(melody);
    segment.flags = 1;
    segment.refLength = 1'400 * 10'000 + 5'000; // the header length rules: 1400.5 ms
    const std::string sgt = save("tune.sgt", writeSegment(segment));
    const std::string mid = save("tune.mid", midiFromMelody(melody));

    // Each on a fresh synthesizer, so that neither hears the other's reverb.
    auto play = [&](const std::string& path, std::int32_t* length) {
        VbDSnd2 a({kSystemSoundFont});
        EXPECT_EQ(a.dsInitMusic(), 1);
        AudioLibrary::Handle h = a.dsLoadMusicSegment(path, 32);
        EXPECT_NE(h, 0);
        *length = a.dsGetLengthMSec(h);
        a.dsPlayMusicSegment(h, 0);
        return render(framesOf(1800), &a);
    };
    std::int32_t sgtLength = 0, midLength = 0;
    const std::vector<float> fromSegment = play(sgt, &sgtLength);
    const std::vector<float> fromMidi = play(mid, &midLength);
    EXPECT_EQ(sgtLength, 1400);
    EXPECT_EQ(midLength, 1400);

    ASSERT_GT(rms(fromMidi), 0.01);
    std::vector<float> difference(fromMidi.size());
    for (std::size_t i = 0; i < difference.size(); ++i) difference[i] = fromSegment[i] - fromMidi[i];
    EXPECT_LT(rms(difference), rms(fromMidi) * 1e-3);
}

TEST_F(Music, SeekWrapsAtEachRepeatAndPlayingEndsAfterTheLast)
{
    Segment s;
    s.length = 768; // 500 ms at 120 BPM
    s.notes = {{0, 384, 0, 0, 0x90, 60, 100}};
    AudioLibrary::Handle h = audio->dsLoadMusicSegment(save("short.sgt", writeSegment(s)), 32);
    ASSERT_NE(h, 0);
    EXPECT_EQ(audio->dsGetLengthMSec(h), 500);
    audio->dsPlayMusicSegment(h, 2);
    EXPECT_NE(audio->dsIsPlayingMusicSegment(h), 0);

    std::vector<int> seeks;
    int rendered = 0;
    while (audio->dsIsPlayingMusicSegment(h) && rendered < framesOf(5000)) {
        render(kBlock);
        rendered += kBlock;
        seeks.push_back(audio->dsGetSeekMSec(h));
    }
    EXPECT_NEAR(rendered, framesOf(1500), kBlock); // three passes, then it ends
    int wraps = 0;
    for (std::size_t i = 1; i < seeks.size(); ++i) {
        const int step = seeks[i] - seeks[i - 1];
        if (step < 0) {
            ++wraps;
            EXPECT_LT(seeks[i], 6) << i; // back to the start, within a block
        } else {
            EXPECT_LE(step, 6) << i; // otherwise following rendered time
        }
    }
    EXPECT_EQ(wraps, 2);

    // A thousand repeats keep it going well past its length, until stopped.
    audio->dsPlayMusicSegment(h, 1000);
    render(framesOf(2600));
    EXPECT_NE(audio->dsIsPlayingMusicSegment(h), 0);
    EXPECT_NEAR(audio->dsGetSeekMSec(h), 100, 6);
    audio->dsStopMusicSegment(h);
    EXPECT_EQ(audio->dsIsPlayingMusicSegment(h), 0);
}

TEST_F(Music, PlayStartsAtTheHeadersStartLoopsItsLoopAndEndsWithTheRest)
{
    // 120 BPM: starts at 250 ms, loops [500, 1000) ms, ends at 1500 ms. The band at the song's
    // start applies from the play start on; the one note lies past the loop, so it sounds only
    // after the last repeat.
    Segment s;
    s.length = 768 * 2 + 768;
    s.playStart = 384;
    s.loopStart = 768;
    s.loopEnd = 768 * 2;
    s.notes = {{768 * 2, 384, 0, 0, 0x90, 60, 120}};
    s.bands = {{0, false, {{0, 0, 0x41, 64, 0}}}}; // volume 0: silent only if the band is sent
    AudioLibrary::Handle h = audio->dsLoadMusicSegment(save("loop.sgt", writeSegment(s)), 32);
    ASSERT_NE(h, 0);
    audio->dsPlayMusicSegment(h, 1);

    std::vector<int> seeks;
    std::vector<float> sound;
    int rendered = 0;
    while (audio->dsIsPlayingMusicSegment(h) && rendered < framesOf(5000)) {
        const std::vector<float> block = render(kBlock);
        sound.insert(sound.end(), block.begin(), block.end());
        rendered += kBlock;
        seeks.push_back(audio->dsGetSeekMSec(h));
    }
    EXPECT_NEAR(seeks.front(), 250, 6);
    EXPECT_NEAR(rendered, framesOf(750 + 500 + 500), kBlock);
    int wraps = 0;
    for (std::size_t i = 1; i < seeks.size(); ++i)
        if (seeks[i] < seeks[i - 1]) {
            ++wraps;
            EXPECT_NEAR(seeks[i], 500, 6);
        }
    EXPECT_EQ(wraps, 1);
    EXPECT_LT(rms(std::vector<float>(sound.begin(), sound.begin() + framesOf(1200) * 2)), 1e-4);
    EXPECT_LT(rms(std::vector<float>(sound.begin() + framesOf(1250) * 2, sound.end())), 1e-4);

    s.bands.clear(); // without the band the note is heard, after the last repeat only
    h = audio->dsLoadMusicSegment(save("loud.sgt", writeSegment(s)), 32);
    audio->dsPlayMusicSegment(h, 1);
    const std::vector<float> loud = render(framesOf(1750));
    EXPECT_LT(rms(std::vector<float>(loud.begin(), loud.begin() + framesOf(1240) * 2)), 1e-4);
    EXPECT_GT(rms(std::vector<float>(loud.begin() + framesOf(1250) * 2, loud.end())), 0.01);
}

TEST_F(Music, EveryPChannelHasItsOwnInstrument)
{
    // Each on a fresh synthesizer: how far the second render is from the first.
    auto render2 = [&](const Segment& a, const Segment& b) {
        std::vector<float> out[2];
        for (int i = 0; i < 2; ++i) {
            VbDSnd2 lib({kSystemSoundFont});
            EXPECT_EQ(lib.dsInitMusic(), 1);
            const AudioLibrary::Handle h = lib.dsLoadMusicSegment(save("p.sgt", writeSegment(i == 0 ? a : b)), 32);
            EXPECT_NE(h, 0);
            lib.dsPlayMusicSegment(h, 0);
            out[i] = render(framesOf(600), &lib);
        }
        std::vector<float> difference(out[0].size());
        for (std::size_t i = 0; i < difference.size(); ++i) difference[i] = out[0][i] - out[1][i];
        EXPECT_GT(rms(out[0]), 0.01);
        return rms(difference) / rms(out[0]);
    };
    Segment piano;
    piano.length = 768;
    piano.notes = {{0, 384, 0, 0, 0x90, 60, 110}};
    piano.bands = {{0, false, {{0, 0}}}};
    // A band giving PChannel 16 a violin leaves PChannel 0 a piano.
    Segment withViolin = piano;
    withViolin.bands[0].instruments.push_back({40, 16});
    EXPECT_LT(render2(piano, withViolin), 1e-3);
    // The violin is heard on PChannel 16, not the piano.
    Segment violin = withViolin;
    violin.notes[0].pchannel = 16;
    EXPECT_GT(render2(piano, violin), 0.1);
    // PChannel 25 is a drum channel, as PChannel 9 is.
    Segment drums9;
    drums9.length = 768;
    drums9.notes = {{0, 384, 9, 0, 0x90, 38, 110}};
    Segment drums25 = drums9;
    drums25.notes[0].pchannel = 25;
    EXPECT_LT(render2(drums9, drums25), 1e-3);
    // A band's drum kit plays as a kit on any channel, and its melody on the tenth as a melody.
    Segment kit3 = drums9;
    kit3.notes[0].pchannel = 3;
    kit3.bands = {{0, false, {{0x80000000u, 3}}}};
    EXPECT_LT(render2(drums9, kit3), 1e-3);
    Segment piano9 = piano;
    piano9.notes[0].pchannel = 9;
    piano9.bands = {{0, false, {{0, 9}}}};
    EXPECT_LT(render2(piano, piano9), 1e-3);
}

// Band instruments from a DLS collection beside the segment: the authoring tools' sample.dls,
// one instrument at bank MSB 4, program 127, whose regions for keys 95 and up have a velocity
// range of 0..0.
struct MusicWithCollection : Music {
    Bytes dls;

    void SetUp() override
    {
        Music::SetUp();
        std::ifstream in(fs::path(TARNEK_OUTSIDE_TESTDATA) / "sgt" / "sample.dls", std::ios::binary);
        if (!in) GTEST_SKIP() << "no outside test data";
        dls.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::vector<float> play(const Segment& s, int ms)
    {
        VbDSnd2 lib({kSystemSoundFont}); // each on a fresh synthesizer
        EXPECT_EQ(lib.dsInitMusic(), 1);
        const AudioLibrary::Handle h = lib.dsLoadMusicSegment(save("band.sgt", writeSegment(s)), 32);
        EXPECT_NE(h, 0);
        lib.dsPlayMusicSegment(h, 0);
        return render(framesOf(ms), &lib);
    }

    static double relativeDifference(const std::vector<float>& a, const std::vector<float>& b)
    {
        std::vector<float> difference(a.size());
        for (std::size_t i = 0; i < a.size(); ++i) difference[i] = a[i] - b[i];
        return rms(difference) / rms(b);
    }
};

TEST_F(MusicWithCollection, TheInstrumentComesFromTheCollectionOrElseFromTheGeneralMidiSet)
{
    save("sample.dls", dls);
    Segment s;
    s.length = 768 * 3;
    s.bands = {{0, false, {{0x0004007F, 2, 0x3, 64, 100, "sample.dls"}}}};
    s.notes = {{0, 600, 2, 0, 0x90, 60, 100}, {1152, 600, 2, 0, 0x90, 100, 100}};
    Segment generalMidi = s;
    generalMidi.bands[0].instruments[0].collectionFile.clear();

    const std::vector<float> fromCollection = play(s, 1500);
    const auto low = std::vector<float>(fromCollection.begin(), fromCollection.begin() + framesOf(700) * 2);
    const auto high = std::vector<float>(fromCollection.begin() + framesOf(760) * 2, fromCollection.end());
    EXPECT_GT(rms(low), 0.003);
    EXPECT_GT(rms(high), 0.003); // a 0..0 velocity range still sounds
    const std::vector<float> gm = play(generalMidi, 1500);
    EXPECT_GT(relativeDifference(fromCollection, gm), 0.5);

    // A region linked to a wave the collection lacks (FluidSynth's reader would crash), and no
    // collection at all.
    Bytes broken = dls;
    const auto wlnk = std::search(broken.begin(), broken.end(), std::begin("wlnk"), std::end("wlnk") - 1);
    ASSERT_NE(wlnk, broken.end());
    wlnk[16] = 99; // the wave pool index
    save("sample.dls", broken);
    EXPECT_LT(relativeDifference(play(s, 1500), gm), 1e-3);
    fs::remove(dir / "sample.dls");
    EXPECT_LT(relativeDifference(play(s, 1500), gm), 1e-3);
}

TEST_F(MusicWithCollection, OrdinaryProgramChangesKeepTheGeneralMidiSet)
{
    // The collection's one instrument moved to bank 0, program 0: the General MIDI piano's number.
    Bytes piano = dls;
    const auto insh = std::search(piano.begin(), piano.end(), std::begin("insh"), std::end("insh") - 1);
    ASSERT_NE(insh, piano.end());
    std::fill(insh + 12, insh + 20, 0);
    save("piano.dls", piano);

    Segment gm;
    gm.length = 768;
    gm.bands = {{0, false, {{0, 0, 0x1}}}};
    gm.notes = {{0, 600, 0, 0, 0x90, 60, 100}};
    Segment besideCollection = gm;
    besideCollection.bands[0].instruments.push_back({0, 2, 0x3, 64, 100, "piano.dls"});
    Segment fromCollection = besideCollection;
    fromCollection.notes[0].pchannel = 2;

    const std::vector<float> reference = play(gm, 800);
    EXPECT_LT(relativeDifference(play(besideCollection, 800), reference), 1e-3);
    EXPECT_GT(relativeDifference(play(fromCollection, 800), reference), 0.5);
}

TEST_F(MusicWithCollection, SegmentsNamingOneCollectionShareItUntilTheLastIsFreed)
{
    save("sample.dls", dls);
    Segment s;
    s.length = 768;
    s.bands = {{0, false, {{0x0004007F, 2, 0x3, 64, 100, "sample.dls"}}}};
    s.notes = {{0, 700, 2, 0, 0x90, 60, 100}};
    AudioLibrary::Handle a = audio->dsLoadMusicSegment(save("a.sgt", writeSegment(s)), 32);
    AudioLibrary::Handle b = audio->dsLoadMusicSegment(save("b.sgt", writeSegment(s)), 32);
    fluid_synth_t* synth = audio->synth()->ready();
    ASSERT_NE(synth, nullptr);
    EXPECT_EQ(fluid_synth_sfcount(synth), 2); // the General MIDI set and one collection

    // Each freed while it sounds; the collection goes with the last.
    audio->dsPlayMusicSegment(a, 0);
    render(framesOf(100));
    audio->dsFreeMusicSegment(a);
    EXPECT_EQ(fluid_synth_sfcount(synth), 2);
    render(framesOf(100));
    audio->dsPlayMusicSegment(b, 0);
    EXPECT_GT(rms(render(framesOf(400))), 0.003);
    audio->dsFreeMusicSegment(b);
    EXPECT_EQ(fluid_synth_sfcount(synth), 1);
    render(framesOf(100));
}

TEST_F(Music, StopCutsTheSoundAndVolumeFollowsTheDecibelRule)
{
    Segment s;
    s.length = 768 * 8;
    s.notes = {{0, 768 * 8, 0, 0, 0x90, 60, 100}, {0, 768 * 8, 0, 0, 0x90, 67, 100}};
    const std::string path = save("held.sgt", writeSegment(s));

    auto playAt = [&](std::int32_t volume) {
        VbDSnd2 a({kSystemSoundFont});
        a.dsInitMusic();
        AudioLibrary::Handle h = a.dsLoadMusicSegment(path, 32);
        a.dsSetMasterVolume(volume);
        a.dsPlayMusicSegment(h, 0);
        return render(framesOf(500), &a);
    };
    const std::size_t afterRamp = kBlock * 2; // the first block glides to the new volume
    const double full = rms(playAt(0), afterRamp);
    ASSERT_GT(full, 0.01);
    EXPECT_NEAR(20.0 * std::log10(rms(playAt(-1000), afterRamp) / full), -10.0, 0.1);
    EXPECT_EQ(rms(playAt(-10000), afterRamp), 0.0);

    // A stop fades out as a stopped buffer does: no step beyond the music's own, then silence.
    AudioLibrary::Handle h = audio->dsLoadMusicSegment(path, 32);
    audio->dsPlayMusicSegment(h, 0);
    const std::vector<float> before = render(framesOf(300));
    audio->dsStopMusicSegment(h);
    const std::vector<float> after = render(kBlock);
    auto step = [](float from, const std::vector<float>& s, std::size_t i) { return std::fabs(s[i] - from); };
    float own = 0.0f;
    for (std::size_t i = 2; i < before.size(); ++i) own = std::max(own, step(before[i - 2], before, i));
    float cut = std::max(step(before[before.size() - 2], after, 0), step(before.back(), after, 1));
    for (std::size_t i = 2; i < after.size(); ++i) cut = std::max(cut, step(after[i - 2], after, i));
    EXPECT_LE(cut, own);
    EXPECT_GT(rms(after), 0.0);
    for (std::size_t i = Mixer::kFadeFrames * 2; i < after.size(); ++i) ASSERT_EQ(after[i], 0.0f) << i;
    EXPECT_EQ(rms(render(framesOf(100))), 0.0);
}

TEST_F(Music, TheSoundFontLoadsInTheBackgroundOnceAndIsKept)
{
    SoundFontSynth* first = audio->synth();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(audio->soundFontPath(), kSystemSoundFont);
    EXPECT_NE(first->wait(), nullptr);
    EXPECT_GT(first->loadMs(), 0.0);

    audio->dsQuitMusic();
    EXPECT_EQ(audio->dsLoadMusicSegment(save("a.mid", midiFromMelody(tune())), 32), 0); // music is off
    EXPECT_EQ(audio->dsInitMusic(), 1);
    EXPECT_EQ(audio->synth(), first); // not loaded again
    EXPECT_NE(audio->dsLoadMusicSegment(save("b.mid", midiFromMelody(tune())), 32), 0);
}

TEST_F(Music, WithoutAUsableSoundFontThereIsNoMusic)
{
    const std::string notAFont = save("fake.sf2", Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'});
    VbDSnd2 none({"", (dir / "missing.sf2").string(), notAFont, dir.string()});
    EXPECT_EQ(none.dsInitMusic(), 0);
    EXPECT_EQ(none.synth(), nullptr);
    EXPECT_EQ(none.dsLoadMusicSegment(save("a.mid", midiFromMelody(tune())), 32), 0);

    // The first usable candidate wins.
    VbDSnd2 later({notAFont, kSystemSoundFont});
    EXPECT_EQ(later.dsInitMusic(), 1);
    EXPECT_EQ(later.soundFontPath(), kSystemSoundFont);
}

TEST_F(Music, BadMusicFilesGiveNoSegment)
{
    const Bytes midi = midiFromMelody(tune());
    for (const auto& [name, bytes] : {std::pair<std::string, Bytes>{"empty.mid", {}},
                                      {"cut.mid", Bytes(midi.begin(), midi.begin() + 10)},
                                      {"text.sgt", Bytes{'h', 'e', 'l', 'l', 'o'}},
                                      {"wave.sgt", Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'}},
                                      {"style.sgt", Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'D', 'M', 'S', 'T'}}})
        EXPECT_EQ(audio->dsLoadMusicSegment(save(name, bytes), 32), 0) << name;
    EXPECT_EQ(audio->dsLoadMusicSegment((dir / "missing.mid").string(), 32), 0);
    EXPECT_EQ(audio->dsLoadMusicSegment(dir.string(), 32), 0);
    EXPECT_EQ(audio->dsLoadMusicSegment("", 32), 0);
}

TEST_F(Music, TheContentDecidesNotTheName)
{
    // A MIDI file named .sgt plays as that MIDI file, a segment named .mid as that segment.
    const AudioLibrary::Handle midi = audio->dsLoadMusicSegment(save("midi.sgt", midiFromMelody(tune())), 32);
    ASSERT_NE(midi, 0);
    EXPECT_EQ(audio->dsGetLengthMSec(midi), 1400);
    Segment s = segmentFromMelody(tune());
    s.length = 768 * 3;
    const AudioLibrary::Handle segment = audio->dsLoadMusicSegment(save("segment.mid", writeSegment(s)), 32);
    ASSERT_NE(segment, 0);
    EXPECT_EQ(audio->dsGetLengthMSec(segment), 1100); // three quarters of its tempo map
    audio->dsPlayMusicSegment(midi, 0);
    EXPECT_GT(rms(render(framesOf(300))), 0.01);
}

TEST_F(Music, ASegmentWithNothingToSoundGivesNoSegment)
{
    // Tempo, a band and controller curves, but not one note: it would play silent.
    Segment s = segmentFromMelody(tune());
    s.notes.clear();
    s.curves = {{0, 768, 0, 0, 0, 0, 127}};
    EXPECT_EQ(audio->dsLoadMusicSegment(save("silent.sgt", writeSegment(s)), 32), 0);
    s.notes = {{0, 384, 0, 0, 0x90, 60, 0}}; // a note of velocity 0 never sounds
    EXPECT_EQ(audio->dsLoadMusicSegment(save("mute.sgt", writeSegment(s)), 32), 0);
    s.notes = {{0, 384, 0, 0, 0x90, 60, 1}};
    EXPECT_NE(audio->dsLoadMusicSegment(save("quiet.sgt", writeSegment(s)), 32), 0);
    // Wave items that cannot sound: a wave that does not decode, a variation never played.
    s.notes.clear();
    s.waves = {Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'}, writeWave({0.5f}, 1, kRate, SF_FORMAT_PCM_16)};
    s.waveParts = {{0, 0x1, 0, 0, {{0, 768, 0, 0, 0, 0x1, 0, 0, 0, 0}, {0, 768, 0, 0, 0, 0x2, 0, 0, 0, 1}}}};
    EXPECT_EQ(audio->dsLoadMusicSegment(save("nowave.sgt", writeSegment(s)), 32), 0);

    // The sample bell made by the project's own tool still plays.
    const AudioLibrary::Handle sample = audio->dsLoadMusicSegment(TARNEK_DATA_DIR "/samples/departure.sgt", 32);
    ASSERT_NE(sample, 0);
    audio->dsPlayMusicSegment(sample, 0);
    EXPECT_GT(rms(render(framesOf(500))), 0.01);
}

TEST_F(Music, FreedSegmentsAreHarmlessAndStopPlaying)
{
    AudioLibrary::Handle h = audio->dsLoadMusicSegment(save("a.mid", midiFromMelody(tune())), 32);
    const AudioLibrary::Handle freed = h;
    audio->dsPlayMusicSegment(h, 1000);
    render(kBlock);
    audio->dsFreeMusicSegment(h);
    EXPECT_EQ(h, 0);
    render(framesOf(200));
    EXPECT_LT(rms(render(kBlock)), 1e-3);

    AudioLibrary::Handle copy = freed;
    audio->dsPlayMusicSegment(freed, 1000);
    audio->dsStopMusicSegment(freed);
    EXPECT_EQ(audio->dsIsPlayingMusicSegment(freed), 0);
    EXPECT_EQ(audio->dsGetSeekMSec(freed), 0);
    EXPECT_EQ(audio->dsGetLengthMSec(freed), 0);
    audio->dsFreeMusicSegment(copy);
    EXPECT_EQ(copy, 0);
}

TEST_F(Music, PlayingAnotherPieceStopsTheFirst)
{
    AudioLibrary::Handle a = audio->dsLoadMusicSegment(save("a.mid", midiFromMelody(tune())), 32);
    AudioLibrary::Handle b = audio->dsLoadMusicSegment(save("b.sgt", writeSegment(segmentFromMelody(tune()))), 32);
    audio->dsPlayMusicSegment(a, 1000);
    render(framesOf(100));
    audio->dsPlayMusicSegment(b, 1000);
    EXPECT_EQ(audio->dsIsPlayingMusicSegment(a), 0);
    EXPECT_NE(audio->dsIsPlayingMusicSegment(b), 0);
    EXPECT_GT(rms(render(framesOf(300))), 0.01);
}

// ---- wave tracks ----

constexpr float kSilence = 1e-6f; // the synthesizer, running without notes, is not quite silent

// Renders while recording when the segment stops playing.
std::vector<float> renderUntilEnd(Music& m, AudioLibrary::Handle h, int frames, int& endedAt)
{
    std::vector<float> out;
    endedAt = 0;
    for (int done = 0; done < frames; done += kBlock) {
        const std::vector<float> block = m.render(kBlock);
        out.insert(out.end(), block.begin(), block.end());
        if (endedAt == 0 && m.audio->dsIsPlayingMusicSegment(h) == 0) endedAt = done + kBlock;
    }
    return out;
}

TEST_F(Music, AWaveItemStartsOnItsFrameWithItsOffsetLengthAndLevel)
{
    Segment s;
    s.length = 768 * 4;
    s.tempos = {{0, 150.0}}; // a quarter is 400 ms
    s.waves = {writeWave(rampSignal(kRate, 1), 1, kRate, SF_FORMAT_FLOAT)}; // 1 s, -0.9 up to 0.9
    // At 400 ms for 200 ms, from 200 ms into the wave, at -6 - 6 dB.
    s.waveParts = {SegmentWavePart{-600, 1, 0, 0, {{768, 384, 2000000, -600}}}};
    const AudioLibrary::Handle h = audio->dsLoadMusicSegment(save("ramp.sgt", writeSegment(s)), 32);
    ASSERT_NE(h, 0); // waves are all it has, and enough
    audio->dsPlayMusicSegment(h, 0);
    const std::vector<float> out = render(framesOf(1000));
    const int start = framesOf(400), length = framesOf(200);
    for (int f = 0; f < framesOf(1000); ++f) {
        if (f < start || f >= start + length) {
            ASSERT_LT(std::abs(out[2 * f]), kSilence) << f;
        } else if (f < start + length - Mixer::kFadeFrames) { // then it fades: it ends inside the wave
            ASSERT_NEAR(out[2 * f], (-0.9 + 1.8 * (length + f - start) / (kRate - 1)) * Mixer::gainOf(-1200), 1e-4) << f;
        }
    }
    EXPECT_GT(std::abs(out[2 * (start + length - 1)]), kSilence);

    // A loop inside the wave, in its samples, goes round until the item's time is up.
    SegmentWaveItem looping{0, 768};
    looping.loopStart = kRate / 10;
    looping.loopEnd = kRate / 5;
    s.waveParts = {SegmentWavePart{0, 1, 0, 0, {looping}}};
    const AudioLibrary::Handle l = audio->dsLoadMusicSegment(save("loop.sgt", writeSegment(s)), 32);
    audio->dsPlayMusicSegment(l, 0);
    const std::vector<float> round = render(framesOf(500));
    const int from = kRate / 10, to = kRate / 5;
    for (int f = 0; f < framesOf(400) - Mixer::kFadeFrames; ++f) {
        const int source = f < to ? f : from + (f - to) % (to - from);
        ASSERT_NEAR(round[2 * f], -0.9 + 1.8 * source / (kRate - 1), 1e-4) << f;
    }
    EXPECT_LT(std::abs(round[2 * framesOf(450)]), kSilence);
}

TEST_F(Music, EachPassPlaysItsVariationAndTheMusicCallsGovernTheWaves)
{
    Segment s;
    s.length = 768; // 500 ms
    auto level = [](float l) { return writeWave(std::vector<float>(kRate, l), 1, kRate, SF_FORMAT_PCM_16); };
    s.waves = {level(0.25f), level(0.5f), level(0.125f)}; // 1 s each
    // In order: the first variation plays the first wave, the second the second; a part locked
    // to it plays the third from 125 ms in the first variation, nothing in the second.
    s.waveParts = {SegmentWavePart{0, 0x3, 9, 0, {{0, 1536, 0, 0, 0, 0x1}, {0, 1536, 0, 0, 0, 0x2, 0, 0, 0, 1}}},
                   SegmentWavePart{0, 0x3, 9, 1, {{192, 1536, 0, 0, 0, 0x1, 0, 0, 0, 2}}}};
    const AudioLibrary::Handle h = audio->dsLoadMusicSegment(save("passes.sgt", writeSegment(s)), 32);
    ASSERT_NE(h, 0);
    audio->dsPlayMusicSegment(h, 2);
    int endedAt = 0;
    std::vector<float> out = renderUntilEnd(*this, h, framesOf(2300), endedAt);
    EXPECT_NEAR(endedAt, framesOf(1500), kBlock);
    // Variation 1, 2 (the loop cuts what sounds), 1 again; after the end the waves ring on.
    for (const auto& [ms, l] : std::vector<std::pair<double, float>>{{100, 0.25f}, {300, 0.375f}, {600, 0.5f},
             {900, 0.5f}, {1100, 0.25f}, {1300, 0.375f}, {1700, 0.375f}, {2050, 0.125f}, {2200, 0.0f}})
        EXPECT_NEAR(out[2 * std::size_t(framesOf(ms))], l, 1e-4) << ms << " ms";

    // A new play starts the order afresh, at the music volume; a stop silences the waves within
    // the fade, as it does after the end while they still ring.
    audio->dsSetMasterVolume(-600);
    audio->dsPlayMusicSegment(h, 0);
    EXPECT_NEAR(render(framesOf(100)).back(), 0.25f * Mixer::gainOf(-600), 1e-4);
    audio->dsStopMusicSegment(h);
    EXPECT_EQ(audio->dsIsPlayingMusicSegment(h), 0);
    EXPECT_LT(rms(render(framesOf(50)), Mixer::kFadeFrames * 2), kSilence);
    audio->dsPlayMusicSegment(h, 0);
    render(framesOf(700));
    EXPECT_GT(rms(render(kBlock)), 0.1);
    audio->dsStopMusicSegment(h);
    EXPECT_LT(rms(render(2 * kBlock), Mixer::kFadeFrames * 2), kSilence);
}

// A real segment: 110 items in 19 variations of one part, on 9 MS-ADPCM waves, in clock time.
TEST_F(Music, TheChickenPlaysOneVariationOfItsWavesEachPass)
{
    const fs::path path = fs::path(TARNEK_OUTSIDE_TESTDATA) / "sgt" / "Crtr_Chicken_Idle.sgt";
    std::ifstream in(path, std::ios::binary);
    if (!in) GTEST_SKIP() << "no outside test data at " << path;
    const AudioLibrary::Handle h = audio->dsLoadMusicSegment(path.string(), 32);
    ASSERT_NE(h, 0);
    EXPECT_EQ(audio->dsGetLengthMSec(h), 4333);

    // Each variation as it should sound, without the random spreads: the items' sounds at their
    // frames and volumes; and its envelope, 10 ms at a time, which those spreads barely change.
    std::optional<MidiSong> song = readSegmentFile(Bytes(std::istreambuf_iterator<char>(in), {}));
    decodeWaveItems(*song);
    const WavePart& part = song->waveParts.at(0);
    const int pass = int(WavePlayer::frameAfter(0.0, 4333.0));
    std::vector<std::vector<float>> expected(19, std::vector<float>(std::size_t(pass), 0.0f));
    for (const WaveItem& item : part.items) {
        const DecodedSound& sound = *song->sounds[item.sound];
        const std::int64_t at = WavePlayer::frameAfter(0.0, item.timeMs);
        for (std::int64_t k = 0; k < sound.frameCount && at + k < pass && k < item.durationMs * kRate / 1000; ++k)
            expected[std::size_t(std::countr_zero(item.variations))][std::size_t(at + k)] +=
                sound.frames.onceSample(k, 0) * Mixer::gainOf(item.volume);
    }
    auto envelope = [&](auto sample, int from) {
        std::vector<double> e;
        for (int w = from; w + kRate / 100 <= pass; w += kRate / 100) {
            double sum = 0.0;
            for (int f = w; f < w + kRate / 100; ++f) sum += double(sample(f)) * sample(f);
            e.push_back(std::sqrt(sum));
        }
        return e;
    };

    audio->dsPlayMusicSegment(h, 2);
    int endedAt = 0;
    const std::vector<float> out = renderUntilEnd(*this, h, 3 * pass + framesOf(500), endedAt);
    EXPECT_NEAR(endedAt, 3 * pass, kBlock); // three passes of 4.333 s
    for (int p = 0; p < 3; ++p) {
        SCOPED_TRACE("pass " + std::to_string(p));
        const int from = p == 0 ? 0 : Mixer::kFadeFrames; // the previous pass's cut fades out first
        auto played = [&](int f) { return out[2 * std::size_t(p * pass + f)]; };
        const std::vector<double> heard = envelope(played, from);
        if (std::all_of(heard.begin(), heard.end(), [](double e) { return e < 1e-4; })) continue; // no items
        // The variation played is the one it sounds like, and clearly so.
        std::vector<std::pair<double, int>> errors;
        for (int v = 0; v < 19; ++v) {
            const std::vector<double> e = envelope([&](int f) { return expected[std::size_t(v)][std::size_t(f)]; }, from);
            double d = 0.0, n = 0.0;
            for (std::size_t w = 0; w < e.size(); ++w) d += (heard[w] - e[w]) * (heard[w] - e[w]), n += heard[w] * heard[w];
            errors.emplace_back(std::sqrt(d / n), v);
        }
        std::sort(errors.begin(), errors.end());
        const int v = errors[0].second;
        SCOPED_TRACE("variation " + std::to_string(v + 1));
        EXPECT_LT(errors[0].first, 0.3);
        EXPECT_GT(errors[1].first, 3 * errors[0].first);
        // It starts on its first item's frame; a random pitch or volume may move where the
        // near-silence the wave begins with crosses the threshold.
        const WaveItem& first = *std::find_if(part.items.begin(), part.items.end(), [&](const WaveItem& i) { return i.variations >> v & 1; });
        int onset = from, sounded = from;
        while (std::abs(expected[std::size_t(v)][std::size_t(onset)]) < kSilence) ++onset;
        while (std::abs(played(sounded)) < kSilence) ++sounded;
        EXPECT_NEAR(sounded, onset, first.pitchRange == 0 && first.volumeRange == 0 ? 0 : kBlock);
        // As loud as the items' volumes say, down to what their random ranges allow.
        std::uint16_t widest = 0;
        for (const WaveItem& i : part.items) if (i.variations >> v & 1) widest = std::max(widest, i.volumeRange);
        const double ratio = rms(std::vector<float>(out.begin() + 2 * p * pass, out.begin() + 2 * (p + 1) * pass)) /
                             rms(expected[std::size_t(v)]);
        EXPECT_GT(ratio, Mixer::gainOf(-widest) * 0.9);
        EXPECT_LT(ratio, 1.1);
    }
}


TEST_F(Music, AStyleSegmentWhoseStyleIsMissingIsNoMusic)
{
    Segment s;
    s.length = 3072;
    s.styles = {{0, "Here.sty"}};
    s.chordTrack = s.commandTrack = true;
    s.chords = {{0}};
    s.commands = {{0, 0, 50}};
    const std::string path = save("style.sgt", writeSegment(s));
    EXPECT_EQ(audio->dsLoadMusicSegment(path, 32), 0);

    MinimalStyle style;
    style.parts = {{4, 1, 0, 1, {{0, 1, 768, 0, 60}}}};
    style.patterns = {{1, 1, 100, 0, {{0, 0}}}};
    save("here.sty", writeMinimalStyle(style));
    EXPECT_NE(audio->dsLoadMusicSegment(path, 32), 0);
}

TEST_F(Music, AStyleComposesAnewForEveryPlayAndAFixedSeedRepeatsIt)
{
    // Four variations in random order, a note of its own each, over eight measures.
    MinimalStyle style;
    style.parts = {{4, 1, 0, 0xF, {{0, 1, 768, 0, 60}, {0, 2, 768, 0, 62}, {0, 4, 768, 0, 64}, {0, 8, 768, 0, 65}}}};
    style.patterns = {{1, 1, 100, 0, {{0, 0}}}};
    Segment s;
    s.length = 8 * 3072;
    s.embedded = {writeMinimalStyle(style)};
    s.styles = {{0, "", style.guid}};
    s.chordTrack = s.commandTrack = true;
    s.chords = {{0}};
    s.commands = {{0, 0, 50}};
    const std::string path = save("style.sgt", writeSegment(s));
    auto plays = [&] {
        VbDSnd2 lib({kSystemSoundFont});
        lib.setCompositionSeed(11);
        EXPECT_EQ(lib.dsInitMusic(), 1);
        const AudioLibrary::Handle h = lib.dsLoadMusicSegment(path, 32);
        std::vector<std::vector<int>> heard;
        for (int play = 0; play < 5 && h != 0; ++play) {
            lib.dsPlayMusicSegment(h, 0);
            std::vector<int>& keys = heard.emplace_back();
            for (const MidiEvent& e : lib.music(h)->events)
                if ((e.status & 0xF0) == 0x90) keys.push_back(e.data1);
        }
        return heard;
    };
    const auto first = plays();
    ASSERT_EQ(first.size(), 5u);
    EXPECT_EQ(std::set(first.begin(), first.end()).size(), 5u); // every play its own
    EXPECT_EQ(plays(), first);
}

} // namespace

TEST_F(Music, TheAuthoringToolsStyleSegmentPlaysThroughItsLength)
{
    const fs::path from = fs::path(TARNEK_OUTSIDE_TESTDATA) / "sgt";
    if (!fs::exists(from / "sample.sgt")) GTEST_SKIP() << "no outside test data";
    for (const char* name : {"sample.sgt", "sample.sty", "sample.dls"}) fs::copy_file(from / name, dir / name);
    const AudioLibrary::Handle h = audio->dsLoadMusicSegment((dir / "sample.sgt").string(), 32);
    ASSERT_NE(h, 0);
    const int length = audio->dsGetLengthMSec(h);
    EXPECT_GT(length, 10000);
    audio->dsPlayMusicSegment(h, 0);
    for (int second = 0; second + 1000 <= length; second += 1000)
        EXPECT_GT(rms(render(framesOf(1000))), 1e-3) << "silent from " << second << " ms";

    // Without its style there is nothing to play.
    fs::remove(dir / "sample.sty");
    EXPECT_EQ(audio->dsLoadMusicSegment((dir / "sample.sgt").string(), 32), 0);
}
