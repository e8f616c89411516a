// Music through the SoundFont, rendered offline.
#include "MidiWriter.h"
#include "SegmentWriter.h"
#include "SoundFontSynth.h"
#include "VbDSnd2.h"

#include <fluidsynth.h>
#include <gtest/gtest.h>

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

} // namespace
