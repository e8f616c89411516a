#include "MidiWriter.h"
#include "SegmentReader.h"
#include "SegmentWriter.h"
#include "SmfReader.h"
#include "Style.h"
#include "WaveWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace {

std::optional<MidiSong> read(const Bytes& bytes) { return readSegmentFile(bytes); }

std::vector<MidiEvent> ofType(const MidiSong& song, std::uint8_t type)
{
    std::vector<MidiEvent> out;
    for (const MidiEvent& e : song.events)
        if ((e.status & 0xF0) == type) out.push_back(e);
    return out;
}

std::vector<MidiEvent> notesOf(const MidiSong& song)
{
    std::vector<MidiEvent> notes;
    for (const MidiEvent& e : song.events)
        if ((e.status & 0xE0) == 0x80) notes.push_back(e);
    return notes;
}

// 768 ticks per quarter at 120 BPM: 500 ms per quarter.
constexpr double msPerTick = 500.0 / 768.0;

Segment oneNote()
{
    Segment s;
    s.length = 768 * 4;
    s.notes.push_back({0, 768, 0, 0, 0x90, 60, 100});
    return s;
}

Melody tune()
{
    Melody m;
    m.ticksPerQuarter = 192;
    m.lengthTicks = 192 * 8;
    m.notes = {{0, 96, 0, 60, 100}, {96, 96, 0, 64, 90}, {192, 384, 1, 67, 80},
               {384, 192, 9, 36, 127}, {768, 192, 0, 72, 70}, {1152, 96, 2, 48, 60}};
    m.tempos = {{0, 100.0}, {576, 150.0}, {1000, 90.0}};
    m.programs = {{0, 19}, {1, 52}, {2, 33}};
    return m;
}

TEST(SegmentReader, RejectsWhatIsNotASegment)
{
    const Bytes good = writeSegment(oneNote());
    Bytes wave = good;
    std::copy_n("WAVE", 4, wave.begin() + 8);
    Bytes rifx = good;
    rifx[3] = 'X';
    const std::pair<const char*, Bytes> rows[] = {
        {"empty", {}},
        {"eleven bytes", Bytes(good.begin(), good.begin() + 11)},
        {"a RIFF of another form", wave},
        {"not RIFF", rifx},
        {"a MIDI file", midiFromMelody(tune())},
    };
    for (const auto& [name, bytes] : rows) EXPECT_FALSE(read(bytes)) << name;
}

TEST(SegmentReader, PlaysTheSameNotesAsTheEquivalentMidiFile)
{
    const Melody melody = tune();
    const auto fromSegment = read(writeSegment(segmentFromMelody(melody)));
    const auto fromMidi = readStandardMidiFile(midiFromMelody(melody));
    ASSERT_TRUE(fromSegment);
    ASSERT_TRUE(fromMidi);

    const auto a = notesOf(*fromSegment);
    const auto b = notesOf(*fromMidi);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_NEAR(a[i].timeMs, b[i].timeMs, 1e-2) << i; // MIDI tempo is in whole microseconds
        EXPECT_EQ(a[i].status | 0x10, b[i].status | 0x10) << i; // note-off as 0x80 or 0x90 velocity 0
        EXPECT_EQ(a[i].data1, b[i].data1) << i;
        if ((a[i].status & 0xF0) == 0x90 && a[i].data2) {
            EXPECT_EQ(a[i].data2, b[i].data2) << i;
        }
    }
    EXPECT_NEAR(fromSegment->lengthMs, fromMidi->lengthMs, 1e-2);

    // The band sets the programs, with bank select, before the first note.
    const auto programs = ofType(*fromSegment, 0xC0);
    ASSERT_EQ(programs.size(), 3u);
    for (std::size_t i = 0; i < programs.size(); ++i) {
        EXPECT_EQ(programs[i].status, 0xC0 | melody.programs[i].channel);
        EXPECT_EQ(programs[i].data1, melody.programs[i].program);
        EXPECT_EQ(programs[i].timeMs, 0.0);
    }
    const auto first = std::find_if(fromSegment->events.begin(), fromSegment->events.end(),
                                    [](const MidiEvent& e) { return (e.status & 0xF0) == 0x90; });
    EXPECT_TRUE(std::all_of(fromSegment->events.begin(), first,
                            [](const MidiEvent& e) { return (e.status & 0xF0) == 0xB0 || (e.status & 0xF0) == 0xC0; }));
    EXPECT_EQ(std::count_if(fromSegment->events.begin(), first, [](const MidiEvent& e) { return e.status == 0xB0; }),
              2); // bank select MSB and LSB on channel 0
}

TEST(SegmentReader, LengthComesFromTheHeader)
{
    Segment s = oneNote();
    s.length = 768 * 8;
    auto song = read(writeSegment(s));
    ASSERT_TRUE(song);
    EXPECT_NEAR(song->lengthMs, 4000.0, 1e-9);
    EXPECT_DOUBLE_EQ(song->loopStartMs, 0.0);
    EXPECT_DOUBLE_EQ(song->loopEndMs, song->lengthMs);

    s.flags = 1; // the reference-time length wins when flagged
    s.refLength = 123'456'789;
    song = read(writeSegment(s));
    ASSERT_TRUE(song);
    EXPECT_NEAR(song->lengthMs, 12345.6789, 1e-6);

    s.flags = 0; // unflagged, it is ignored
    song = read(writeSegment(s));
    EXPECT_NEAR(song->lengthMs, 4000.0, 1e-9);

    s.headerSize = 24; // the oldest header has no reference length
    s.flags = 1;
    song = read(writeSegment(s));
    EXPECT_NEAR(song->lengthMs, 4000.0, 1e-9);

    for (std::uint32_t size : {56u, 64u}) {
        s.headerSize = size;
        song = read(writeSegment(s));
        EXPECT_NEAR(song->lengthMs, 12345.6789, 1e-6) << size;
    }

    s.headerSize = 32; // a layout nobody wrote: no header, the events give the length
    song = read(writeSegment(s));
    ASSERT_TRUE(song);
    EXPECT_NEAR(song->lengthMs, 768 * msPerTick, 1e-9);
    EXPECT_EQ(notesOf(*song).size(), 2u);
}

TEST(SegmentReader, LengthFollowsTheTempoTrack)
{
    Segment s = oneNote();
    s.length = 768 * 4;
    s.tempos = {{0, 60.0}, {768 * 2, 240.0}};
    const auto song = read(writeSegment(s));
    ASSERT_TRUE(song);
    EXPECT_NEAR(song->lengthMs, 2 * 1000.0 + 2 * 250.0, 1e-9);
    EXPECT_NEAR(song->events[1].timeMs, 1000.0, 1e-9); // the note-off at one quarter

    s.tempoNamedByType = true; // trkh naming a plain chunk through fccType
    EXPECT_NEAR(read(writeSegment(s))->lengthMs, 2500.0, 1e-9);

    s.tempos = {{0, 0.0}, {0, -5.0}, {0, 5000.0}}; // unusable, then clamped to 1000 BPM
    EXPECT_NEAR(read(writeSegment(s))->lengthMs, 4 * 768 * 60000.0 / (1000.0 * 768), 1e-9);
}

TEST(SegmentReader, PlayStartAndLoopPointsAreUsedOnlyWhenValid)
{
    Segment s = oneNote();
    s.length = 768 * 4;
    s.playStart = 384;
    s.loopStart = 768;
    s.loopEnd = 768 * 3;
    auto song = read(writeSegment(s));
    EXPECT_NEAR(song->playStartMs, 250.0, 1e-9);
    EXPECT_NEAR(song->loopStartMs, 500.0, 1e-9);
    EXPECT_NEAR(song->loopEndMs, 1500.0, 1e-9);
    for (std::int32_t start : {768 * 3, 768 * 4, -1}) { // at or past the loop's end, or before the start
        s.playStart = start;
        EXPECT_DOUBLE_EQ(read(writeSegment(s))->playStartMs, 0.0) << start;
    }
    s.playStart = 0;

    s.loopEnd = 0; // loop to the end
    song = read(writeSegment(s));
    EXPECT_NEAR(song->loopStartMs, 500.0, 1e-9);
    EXPECT_NEAR(song->loopEndMs, 2000.0, 1e-9);

    for (auto [start, end] : {std::pair{768 * 3, 768}, {768, 768 * 5}, {-10, 768}, {768, 768}}) {
        s.loopStart = start;
        s.loopEnd = end;
        song = read(writeSegment(s));
        EXPECT_DOUBLE_EQ(song->loopStartMs, 0.0) << start << ".." << end;
        EXPECT_DOUBLE_EQ(song->loopEndMs, song->lengthMs) << start << ".." << end;
    }

    // A clock-time segment takes all of them in 100 ns units, and only those.
    s.headerSize = 64;
    s.flags = 2;
    s.refLength = 30'000'000;
    s.refLoopStart = 10'000'000;
    s.refLoopEnd = 20'000'000;
    s.refPlayStart = 5'000'000;
    song = read(writeSegment(s));
    EXPECT_DOUBLE_EQ(song->lengthMs, 3000.0);
    EXPECT_DOUBLE_EQ(song->loopStartMs, 1000.0);
    EXPECT_DOUBLE_EQ(song->loopEndMs, 2000.0);
    EXPECT_DOUBLE_EQ(song->playStartMs, 500.0);
    s.refLoopEnd = 40'000'000; // past the end
    song = read(writeSegment(s));
    EXPECT_DOUBLE_EQ(song->loopStartMs, 0.0);
    EXPECT_DOUBLE_EQ(song->loopEndMs, 3000.0);
}

TEST(SegmentReader, NotesUseChannelOffsetAndDuration)
{
    Segment s;
    s.length = 768 * 4;
    s.notes = {{768, 384, 17, -384, 0x90, 62, 90}, // pchannel 17: channel 1 of the second group, 384 ticks early
               {0, 100, 3, -50, 0x90, 64, 80},     // before the start: clamped to 0
               {10, 100, 0, 0, 0x90, 65, 0},       // velocity 0 never sounds
               {20, -5, 4, 0, 0x90, 66, 70}};      // negative duration: off one tick later
    s.noteItemSize = 24; // newer items carry more fields behind
    const auto song = read(writeSegment(s));
    ASSERT_TRUE(song);
    const auto notes = notesOf(*song);
    ASSERT_EQ(notes.size(), 6u);
    EXPECT_EQ(notes[0].status, 0x93);
    EXPECT_DOUBLE_EQ(notes[0].timeMs, 0.0);
    EXPECT_EQ(notes[1].status, 0x94);
    EXPECT_EQ(notes[2].status, 0x84);
    EXPECT_NEAR(notes[2].timeMs, notes[1].timeMs + msPerTick, 1e-9); // never ahead of its own note-on
    EXPECT_EQ(notes[3].status, 0x83);
    EXPECT_NEAR(notes[3].timeMs, 50 * msPerTick, 1e-9);
    EXPECT_EQ(notes[4].status, 0x91);
    EXPECT_EQ(notes[4].group, 1);
    EXPECT_EQ(notes[3].group, 0);
    EXPECT_EQ(notes[4].data1, 62);
    EXPECT_NEAR(notes[4].timeMs, 384 * msPerTick, 1e-9);
    EXPECT_EQ(notes[5].status, 0x81);
    EXPECT_NEAR(notes[5].timeMs, 768 * msPerTick, 1e-9);

    s.noteItemSize = 16; // too small to hold a note: nothing read
    EXPECT_TRUE(notesOf(*read(writeSegment(s))).empty());
}

TEST(SegmentReader, OtherChannelMessagesPassThrough)
{
    Segment s;
    s.length = 768;
    s.notes = {{0, 0, 2, 0, 0xB0, 91, 40}, {10, 0, 2, 0, 0xC0, 5, 99}, {20, 0, 2, 0, 0xF0, 1, 2},
               {30, 0, 2, 0, 0x40, 1, 2}, {40, 0, 2, 0, 0xE0, 0, 64}};
    const auto song = read(writeSegment(s));
    ASSERT_EQ(song->events.size(), 3u);
    EXPECT_EQ(song->events[0].status, 0xB2);
    EXPECT_EQ(song->events[0].data2, 40);
    EXPECT_EQ(song->events[1].status, 0xC2);
    EXPECT_EQ(song->events[1].data2, 0); // two-byte message
    EXPECT_EQ(song->events[2].status, 0xE2);
}

TEST(SegmentReader, CurvesBecomeControllerRamps)
{
    Segment s;
    s.length = 768 * 4;
    SegmentCurve ramp;
    ramp.start = 768;
    ramp.duration = 768;
    ramp.pchannel = 1;
    ramp.startValue = 0;
    ramp.endValue = 127;
    ramp.type = 4;
    ramp.ccData = 11;
    s.curves = {ramp};
    auto song = read(writeSegment(s));
    ASSERT_TRUE(song);
    const auto cc = ofType(*song, 0xB0);
    ASSERT_GT(cc.size(), 30u);
    EXPECT_EQ(cc.front().data1, 11);
    EXPECT_EQ(cc.front().data2, 0);
    EXPECT_NEAR(cc.front().timeMs, 500.0, 1e-9);
    EXPECT_EQ(cc.back().data2, 127);
    EXPECT_NEAR(cc.back().timeMs, 1000.0, 1e-9);
    for (std::size_t i = 1; i < cc.size(); ++i) {
        EXPECT_GT(cc[i].data2, cc[i - 1].data2);
        EXPECT_GT(cc[i].timeMs, cc[i - 1].timeMs);
        EXPECT_EQ(cc[i].status, 0xB1);
    }
    // Linear: half way at half time.
    const auto mid = std::find_if(cc.begin(), cc.end(), [](const MidiEvent& e) { return e.timeMs >= 750.0; });
    EXPECT_NEAR(mid->data2, 64, 2);

    // The short item form of older files reads the same.
    s.curveItemSize = 28;
    EXPECT_EQ(ofType(*read(writeSegment(s)), 0xB0).size(), cc.size());

    // Instant: one message with the end value at the start.
    s.curves[0].shape = 1;
    auto instant = ofType(*read(writeSegment(s)), 0xB0);
    ASSERT_EQ(instant.size(), 1u);
    EXPECT_EQ(instant[0].data2, 127);
    EXPECT_NEAR(instant[0].timeMs, 500.0, 1e-9);

    // Exponential starts slower than linear; logarithmic faster.
    auto valueAtQuarter = [&](std::uint8_t shape) {
        s.curves[0].shape = shape;
        const auto c = ofType(*read(writeSegment(s)), 0xB0);
        int value = 0;
        for (const MidiEvent& e : c)
            if (e.timeMs <= 625.0) value = e.data2;
        return value;
    };
    EXPECT_LT(valueAtQuarter(2), valueAtQuarter(0));
    EXPECT_GT(valueAtQuarter(3), valueAtQuarter(0));
    EXPECT_LT(valueAtQuarter(4), valueAtQuarter(0));

    // Reset: back to the reset value after the reset duration.
    s.curves[0].shape = 1;
    s.curves[0].flags = 1;
    s.curves[0].resetDuration = 768;
    s.curves[0].resetValue = 100;
    const auto reset = ofType(*read(writeSegment(s)), 0xB0);
    ASSERT_EQ(reset.size(), 2u);
    EXPECT_EQ(reset[1].data2, 100);
    EXPECT_NEAR(reset[1].timeMs, 1500.0, 1e-9);
}

TEST(SegmentReader, PitchBendPressureAndParameterCurves)
{
    Segment s;
    s.length = 768 * 2;
    SegmentCurve bend;
    bend.type = 3;
    bend.shape = 1;
    bend.endValue = 12000;
    bend.pchannel = 5;
    SegmentCurve pressure = bend;
    pressure.type = 5;
    pressure.endValue = 300; // clamped to 127
    SegmentCurve keyPressure = bend;
    keyPressure.type = 6;
    keyPressure.ccData = 61;
    keyPressure.endValue = 33;
    SegmentCurve rpn = bend;
    rpn.type = 7;
    rpn.paramType = 0; // pitch-bend range
    rpn.endValue = 12 << 7;
    SegmentCurve nrpn = bend;
    nrpn.type = 8;
    nrpn.paramType = (3 << 7) | 9;
    nrpn.endValue = 200;
    SegmentCurve none = bend;
    none.type = 1; // no MIDI form
    s.curves = {bend, pressure, keyPressure, rpn, nrpn, none};
    const auto song = read(writeSegment(s));
    ASSERT_TRUE(song);
    std::vector<std::array<int, 3>> got;
    for (const MidiEvent& e : song->events) got.push_back({e.status, e.data1, e.data2});
    const std::vector<std::array<int, 3>> want = {
        {0xE5, 12000 & 0x7F, 12000 >> 7}, {0xD5, 127, 0}, {0xA5, 61, 33},
        {0xB5, 101, 0}, {0xB5, 100, 0}, {0xB5, 6, 12}, {0xB5, 38, 0},
        {0xB5, 99, 3}, {0xB5, 98, 9}, {0xB5, 6, 1}, {0xB5, 38, 200 & 0x7F},
    };
    EXPECT_EQ(got, want);
}

TEST(SegmentReader, BandsSetProgramsPanAndVolume)
{
    Segment s;
    s.length = 768 * 4;
    s.bands = {{768, false, {{0x7F0102 & 0xFFFFFF, 18, 0x1 | 0x20 | 0x40, 20, 90}}},
               {-1, true, {{7, 3, 0x40, 64, 55}}}};
    s.instrumentSize = 40;
    const auto song = read(writeSegment(s));
    ASSERT_TRUE(song);
    std::vector<std::array<int, 3>> got;
    std::vector<double> times;
    for (const MidiEvent& e : song->events) {
        got.push_back({e.status, e.data1, e.data2});
        times.push_back(e.timeMs);
    }
    const std::vector<std::array<int, 3>> want = {
        {0xB3, 7, 55}, // the old-style band at the start sets only the volume
        {0xB2, 0, 0x7F}, {0xB2, 32, 0x01}, {0xC2, 0x02, MidiEvent::kMelodic}, {0xB2, 10, 20}, {0xB2, 7, 90},
    };
    EXPECT_EQ(got, want);
    EXPECT_EQ(times.front(), 0.0);
    EXPECT_NEAR(times.back(), 500.0, 1e-9);
}

TEST(SegmentReader, SkipsTracksItDoesNotPlay)
{
    Segment s = oneNote();
    s.unplayedTrack = true;
    const auto song = read(writeSegment(s));
    ASSERT_TRUE(song);
    EXPECT_EQ(song->events.size(), 2u);
}

// Two small waves, told apart by their length.
std::vector<Bytes> twoWaves()
{
    RawWave a;
    a.data = Bytes(96, 0x10);
    RawWave b = a;
    b.data.resize(200, 0x20);
    return {rawWave(a), rawWave(b)};
}

TEST(SegmentReader, ReadsWaveTracksInMusicOrClockTime)
{
    for (const bool clock : {false, true}) {
        SCOPED_TRACE(clock ? "clock time" : "music time");
        Segment s;
        s.length = 768 * 8;
        s.tempos = {{0, 120.0}, {768, 60.0}};
        s.waves = twoWaves();
        s.waveClockTime = clock;
        s.waveTrackVolume = -100;
        // Each time in ticks or in 100 ns: 2 quarters are 500 + 1000 ms, a quarter at 60 BPM 1000 ms.
        auto t = [&](std::int64_t ticks, std::int64_t ms) { return clock ? ms * 10000 : ticks; };
        SegmentWavePart part{-200, 0x3, 5, 4, {}};
        part.items = {{t(1536, 1500), t(768, 1000), 5000000, -300, 50, 0x2, 0x20, 100, 30, 1},
                      {t(0, 0), t(384, 250)},                          // listed later, comes first
                      {t(100, 65), t(384, 250), 0, 0, 0, 0x1, 0, 0, 0, 7}, // names a wave there is not
                      {t(384, 250), t(384, 250), 0, -9800}};           // the first wave again
        s.waveParts = {part, SegmentWavePart{}}; // a part without items plays nothing
        const auto song = read(writeSegment(s));
        ASSERT_TRUE(song);
        ASSERT_EQ(song->waveParts.size(), 1u);
        const WavePart& p = song->waveParts[0];
        ASSERT_EQ(p.items.size(), 3u);
        EXPECT_EQ(p.items[0].timeMs, 0.0);
        EXPECT_NEAR(p.items[1].timeMs, 250.0, 1e-9);
        EXPECT_EQ(p.items[1].volume, -10000); // track, part and item together, at most silence
        const WaveItem& w = p.items[2];
        EXPECT_NEAR(w.timeMs, 1500.0, 1e-9);
        EXPECT_NEAR(w.durationMs, 1000.0, 1e-9);
        EXPECT_NEAR(w.offsetMs, 500.0, 1e-9); // 100 ns in either time base
        EXPECT_EQ(w.volume, -600);
        // Each wave is kept once, whole, however many items play it.
        ASSERT_EQ(song->waveImages.size(), 2u);
        EXPECT_EQ(p.items[0].wave, p.items[1].wave);
        EXPECT_EQ(song->waveImages[w.wave].size(), s.waves[1].size() + 24); // with its guid chunk
    }
}

TEST(SegmentReader, ReadsSegmentsMadeByTheAuthoringTools)
{
    // A tempo and a wave track; a style with its band, chords and commands. Neither has a note
    // that a sequence track would play; only the first has waves.
    const std::filesystem::path dir = std::filesystem::path(TARNEK_OUTSIDE_TESTDATA) / "sgt";
    for (const char* name : {"Crtr_Chicken_Idle.sgt", "sample.sgt"}) {
        std::ifstream in(dir / name, std::ios::binary);
        if (!in) GTEST_SKIP() << "no outside test data at " << dir / name;
        const Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const auto song = read(bytes);
        ASSERT_TRUE(song) << name;
        EXPECT_FALSE(soundsAnyNote(*song)) << name;
        EXPECT_LE(song->loopEndMs, song->lengthMs) << name;
        if (std::string(name) != "Crtr_Chicken_Idle.sgt") {
            EXPECT_FALSE(soundsAnyWave(*song)) << name;
            continue;
        }
        EXPECT_NEAR(song->lengthMs, 4333.0, 1e-9);
        EXPECT_EQ(song->loopEndMs, song->lengthMs); // its loop, to the last tick, ends there too
        // 110 items in clock time, on 9 waves embedded in the container.
        ASSERT_EQ(song->waveParts.size(), 1u);
        const WavePart& part = song->waveParts[0];
        EXPECT_EQ(part.variations, 0x7FFFFu);
        EXPECT_EQ(part.order, 1u);
        EXPECT_TRUE(part.keepsOrder);
        ASSERT_EQ(part.items.size(), 110u);
        EXPECT_EQ(song->waveImages.size(), 9u);
        EXPECT_NEAR(part.items.back().timeMs, 3823.4375, 1e-9);
    }
}

TEST(SegmentReader, ACollectionTheSegmentHoldsIsKeptOnceAndServesOnlyTheInstrumentsItHas)
{
    Segment s = oneNote();
    const Bytes dlid(16, 0x3C);
    s.embedded = {writeCollection(0x00000400, 127, dlid)}; // bank MSB 4, program 127
    s.bands = {{0, false, {{0x0004007F, 0, 0x3, 64, 100, "", dlid}, {0x0004007F, 1, 0x3, 64, 100, "", dlid},
                           {0x0005007F, 2, 0x3, 64, 100, "", dlid},  // another bank
                           {0x0004007F, 3, 0x1, 64, 100, "", dlid}}}}; // bank bytes not valid: bank 0
    const auto song = read(writeSegment(s));
    ASSERT_TRUE(song);
    ASSERT_EQ(song->collections.size(), 1u);
    std::vector<std::array<int, 3>> got; // channel, collection, bank
    for (const MidiEvent& e : ofType(*song, 0xC0)) got.push_back({e.status & 0x0F, e.collection, e.bank});
    EXPECT_EQ(got, (std::vector<std::array<int, 3>>{{0, 1, 1024}, {1, 1, 1024}, {2, 0, 5}, {3, 0, 0}}));
}

TEST(SegmentReader, ABandInstrumentTakesItsCollectionFromTheFileItNames)
{
    const std::filesystem::path dir = std::filesystem::path(TARNEK_OUTSIDE_TESTDATA) / "sgt";
    std::ifstream in(dir / "sample.sgt", std::ios::binary), dls(dir / "sample.dls", std::ios::binary);
    if (!in || !dls) GTEST_SKIP() << "no outside test data at " << dir;
    const Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const Bytes collection((std::istreambuf_iterator<char>(dls)), std::istreambuf_iterator<char>());

    auto programsOnChannel2 = [](const MidiSong& song) {
        std::vector<std::pair<int, int>> got; // collection, bank
        for (const MidiEvent& e : ofType(song, 0xC0))
            if ((e.status & 0x0F) == 2 && e.group == 0) got.emplace_back(e.collection, e.bank);
        return got;
    };
    const auto found = readSegmentFile(bytes, {dir.string()});
    ASSERT_TRUE(found);
    ASSERT_EQ(found->collections.size(), 1u);
    EXPECT_EQ(found->collections[0], collection);
    // MSB 4, program 127: the synthesizer's bank 4 << 8. The other fifteen stay General MIDI.
    EXPECT_EQ(programsOnChannel2(*found), (std::vector<std::pair<int, int>>{{1, 1024}}));
    EXPECT_EQ(std::count_if(found->events.begin(), found->events.end(), [](auto& e) { return e.collection != 0; }), 1);

    // Not beside it: the General MIDI program, through the ordinary bank select.
    const auto missing = readSegmentFile(bytes, {(dir / "nowhere").string()});
    ASSERT_TRUE(missing);
    EXPECT_TRUE(missing->collections.empty());
    EXPECT_EQ(programsOnChannel2(*missing), (std::vector<std::pair<int, int>>{{0, 4}}));
}

// Every cut of a good file, and random damage, reads without fault and keeps what comes first.
TEST(SegmentReader, DamagedFilesAreSafe)
{
    Segment s = segmentFromMelody(tune());
    SegmentCurve c;
    c.duration = 768;
    c.endValue = 100;
    s.curves = {c};
    s.waves = twoWaves();
    s.waveParts = {SegmentWavePart{0, 0x3, 0, 1, {{0, 768}, {384, 768, 0, 0, 0, 0x2, 0, 0, 0, 1}}}};
    const Bytes good = writeSegment(s);
    const std::size_t full = read(good)->events.size();
    std::size_t previous = 0;
    for (std::size_t n = 12; n <= good.size(); ++n) {
        const auto song = read(Bytes(good.begin(), good.begin() + n));
        ASSERT_TRUE(song) << n; // a cut file is still a segment, perhaps an empty one
        EXPECT_LE(song->events.size(), full) << n;
        previous = std::max(previous, song->events.size());
    }
    EXPECT_EQ(previous, full);

    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        Bytes bad = good;
        const int flips = 1 + int(random() % 8);
        for (int f = 0; f < flips; ++f) bad[12 + random() % (bad.size() - 12)] = std::uint8_t(random());
        const auto song = read(bad);
        if (!song) continue;
        for (const WavePart& part : song->waveParts)
            for (const WaveItem& item : part.items) {
                ASSERT_LT(item.wave, song->waveImages.size());
                ASSERT_TRUE(std::isfinite(item.timeMs) && std::isfinite(item.durationMs));
            }
        for (const MidiEvent& e : song->events) {
            ASSERT_GE(e.status, 0x80);
            ASSERT_LT(e.status, 0xF0);
            ASSERT_LT(e.data1, 0x80);
            ASSERT_LT(e.data2, 0x80);
            ASSERT_TRUE(std::isfinite(e.timeMs));
        }
    }
}

TEST(SegmentReader, StopsAtTheEventCap)
{
    // Long pitch-bend ramps, each sampled into thousands of messages.
    Segment s;
    s.length = 768;
    SegmentCurve bend;
    bend.type = 3;
    bend.duration = 4096 * 12;
    bend.endValue = 16383;
    s.curves.assign(250, bend);
    const auto song = read(writeSegment(s));
    ASSERT_TRUE(song);
    EXPECT_EQ(song->events.size(), kMaxSegmentEvents);
}


TEST(SegmentReader, AStyleSegmentWithoutABandTrackTakesTheStylesBand)
{
    MinimalStyle style;
    style.band = {{12, 3}};
    Segment s;
    s.length = 3072;
    s.embedded = {writeMinimalStyle(style)};
    s.styles = {{0, "", style.guid}};
    auto programs = [&] { return ofType(*read(writeSegment(s)), 0xC0); };
    ASSERT_EQ(programs().size(), 1u);
    EXPECT_EQ(programs()[0].status, 0xC3);
    EXPECT_EQ(programs()[0].data1, 12);
    s.bands.push_back({0, false, {{40, 5}}}); // the segment's own band wins
    ASSERT_EQ(programs().size(), 1u);
    EXPECT_EQ(programs()[0].data1, 40);
}

TEST(SegmentReader, AStyleSegmentComposesFromItsEmbeddedStyleAtTheStylesTempo)
{
    MinimalStyle style;
    style.tempo = 60.0; // a second a quarter
    style.parts = {{4, 1, 0, 1, {{4, 1, 96, 0, 40}}}, {4, 1, 0, 1, {{4, 1, 96, 0, 50}}}};
    style.patterns = {{1, 1, 50, 0, {{0, 3}}}, {1, 51, 100, 0, {{1, 3}}}};
    const Bytes sty = writeMinimalStyle(style);
    Segment s;
    s.length = 2 * 3072;
    s.embedded = {sty};
    s.styles = {{0, "", style.guid}};
    s.chordTrack = s.commandTrack = true;
    s.chords = {{0}};
    s.commands = {{0, 0, 10}, {3072, 0, 90}};
    const auto song = read(writeSegment(s));
    ASSERT_TRUE(song);
    const std::vector<MidiEvent> on = ofType(*song, 0x90);
    ASSERT_EQ(on.size(), 2u);
    EXPECT_EQ(on[0].status, 0x93);
    EXPECT_EQ(on[0].data1, 40);
    EXPECT_NEAR(on[0].timeMs, 1000.0, 1e-6);
    EXPECT_EQ(on[1].data1, 50);
    EXPECT_NEAR(on[1].timeMs, 5000.0, 1e-6);
}

} // namespace
