#include "MidiWriter.h"
#include "SmfReader.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::optional<MidiSong> read(const Bytes& bytes) { return readStandardMidiFile(bytes); }

std::vector<MidiEvent> notesOf(const MidiSong& song)
{
    std::vector<MidiEvent> notes;
    for (const MidiEvent& e : song.events)
        if ((e.status & 0xE0) == 0x80)
            notes.push_back(e);
    return notes;
}

struct Rejected {
    std::string name;
    Bytes bytes;
};

Bytes withHeader(std::uint16_t format, std::uint16_t division)
{
    SmfTrack track;
    track.note(0, 10, 0, 60, 100);
    return writeSmf(format, division, {track});
}

TEST(SmfReader, RejectsWhatIsNotAMidiFile)
{
    const Bytes good = withHeader(0, 96);
    Bytes shortHeader = good;
    shortHeader[7] = 5;
    Bytes hugeHeader = good;
    hugeHeader[4] = 0x7F;
    const Rejected rows[] = {
        {"empty", {}},
        {"text", Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!', '!'}},
        {"header cut short", Bytes(good.begin(), good.begin() + 13)},
        {"header length below 6", shortHeader},
        {"header length past the end", hugeHeader},
        {"format 3", withHeader(3, 96)},
        {"division 0", withHeader(0, 0)},
        {"SMPTE 23 fps", withHeader(0, std::uint16_t(std::uint8_t(-23) << 8 | 40))},
        {"SMPTE 0 ticks per frame", withHeader(0, std::uint16_t(std::uint8_t(-25) << 8))},
        {"RIFF that is not RMID", Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E', 0, 0, 0, 0}},
    };
    for (const Rejected& row : rows)
        EXPECT_FALSE(read(row.bytes)) << row.name;
}

TEST(SmfReader, TimesAndLengthFollowTheTempoMap)
{
    // Two quarters at 120 BPM (500 ms each), then two at 240 BPM (250 ms each).
    SmfTrack track;
    track.tempo(0, 500000).tempo(192, 250000);
    track.note(96, 96, 0, 60, 100).note(192, 96, 0, 62, 100);
    track.endTick = 384;
    const auto song = read(writeSmf(0, 96, {track}));
    ASSERT_TRUE(song);
    ASSERT_EQ(song->events.size(), 4u);
    EXPECT_DOUBLE_EQ(song->events[0].timeMs, 500.0);
    EXPECT_DOUBLE_EQ(song->events[1].timeMs, 1000.0);
    EXPECT_DOUBLE_EQ(song->events[2].timeMs, 1000.0);
    EXPECT_DOUBLE_EQ(song->events[3].timeMs, 1250.0);
    EXPECT_EQ(song->events[1].status, 0x80); // the note-off of the first note stays ahead of the next note-on
    EXPECT_EQ(song->events[2].status, 0x90);
    EXPECT_DOUBLE_EQ(song->lengthMs, 1500.0);
    EXPECT_DOUBLE_EQ(song->loopStartMs, 0.0);
    EXPECT_DOUBLE_EQ(song->loopEndMs, 1500.0);
}

TEST(SmfReader, DefaultTempoAndIgnoredZeroTempo)
{
    SmfTrack track;
    track.tempo(0, 0).note(480, 480, 3, 64, 90);
    const auto song = read(writeSmf(0, 480, {track}));
    ASSERT_TRUE(song);
    ASSERT_EQ(song->events.size(), 2u);
    EXPECT_DOUBLE_EQ(song->events[0].timeMs, 500.0);
    EXPECT_DOUBLE_EQ(song->lengthMs, 1000.0);
}

TEST(SmfReader, RunningStatusAndZeroVelocityNoteOn)
{
    SmfTrack track;
    track.raw(0, {0x90, 60, 100});
    track.raw(10, {62, 100});               // running status
    track.raw(20, {60, 0});                 // note-on with velocity 0 stays a note-on
    track.raw(20, {0xFF, 0x01, 0x01, 'x'}); // a meta event between keeps running status
    track.raw(20, {62, 0});
    track.raw(25, {0xC1, 7});               // program change: one data byte
    track.raw(25, {9});
    track.raw(30, {0xE1, 0x00, 0x40});      // pitch bend centre
    const auto song = read(writeSmf(0, 96, {track}));
    ASSERT_TRUE(song);
    const std::vector<std::array<int, 3>> expected = {
        {0x90, 60, 100}, {0x90, 62, 100}, {0x90, 60, 0}, {0x90, 62, 0}, {0xC1, 7, 0}, {0xC1, 9, 0}, {0xE1, 0, 0x40}};
    ASSERT_EQ(song->events.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(song->events[i].status, expected[i][0]) << i;
        EXPECT_EQ(song->events[i].data1, expected[i][1]) << i;
        EXPECT_EQ(song->events[i].data2, expected[i][2]) << i;
    }

    SmfTrack noStatus;
    noStatus.raw(0, {0x40, 0x40});
    const auto empty = read(writeSmf(0, 96, {noStatus}));
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->events.empty());
}

TEST(SmfReader, WriterRunningStatusMatchesFullStatus)
{
    SmfTrack track;
    for (std::uint8_t k = 0; k < 8; ++k)
        track.controller(k, 2, 11, k);
    for (std::uint8_t k = 0; k < 8; ++k)
        track.note(96, 24, 2, 60 + k, 80);
    SmfTrack compact = track;
    compact.runningStatus = true;
    const Bytes full = writeSmf(0, 96, {track});
    const Bytes shortened = writeSmf(0, 96, {compact});
    ASSERT_LT(shortened.size(), full.size());
    const auto a = read(full);
    const auto b = read(shortened);
    ASSERT_TRUE(a && b);
    ASSERT_EQ(a->events.size(), b->events.size());
    for (std::size_t i = 0; i < a->events.size(); ++i) {
        EXPECT_EQ(a->events[i].status, b->events[i].status);
        EXPECT_EQ(a->events[i].data1, b->events[i].data1);
        EXPECT_EQ(a->events[i].timeMs, b->events[i].timeMs);
    }
}

TEST(SmfReader, TempoInAnyTrackAppliesToAllTracks)
{
    SmfTrack conductor;
    conductor.tempo(96, 1'000'000); // 60 BPM from the second quarter
    SmfTrack tune;
    tune.note(0, 96, 0, 60, 100).note(192, 96, 0, 64, 100);
    SmfTrack late;
    late.tempo(288, 250000);       // a tempo change in a later track counts too
    late.note(384, 96, 1, 40, 100);

    const auto song = read(writeSmf(1, 96, {conductor, tune, late}));
    ASSERT_TRUE(song);
    const auto notes = notesOf(*song);
    ASSERT_EQ(notes.size(), 6u);
    EXPECT_DOUBLE_EQ(notes[0].timeMs, 0.0);
    EXPECT_DOUBLE_EQ(notes[1].timeMs, 500.0);
    EXPECT_DOUBLE_EQ(notes[2].timeMs, 1500.0);
    EXPECT_DOUBLE_EQ(notes[3].timeMs, 2500.0);
    EXPECT_DOUBLE_EQ(notes[4].timeMs, 2750.0); // 384: 2500 + one quarter at 250 ms
    EXPECT_EQ(notes[4].status, 0x91);
    EXPECT_DOUBLE_EQ(song->lengthMs, 3000.0);
}

TEST(SmfReader, LengthIsTheLatestTrackEnd)
{
    SmfTrack shortTrack;
    shortTrack.note(0, 96, 0, 60, 100);
    SmfTrack longTrack;
    longTrack.note(0, 96, 1, 60, 100);
    longTrack.endTick = 960;
    SmfTrack noEnd;
    noEnd.endOfTrack = false;
    noEnd.note(0, 480, 2, 60, 100);
    const auto song = read(writeSmf(1, 96, {shortTrack, longTrack, noEnd}));
    ASSERT_TRUE(song);
    EXPECT_DOUBLE_EQ(song->lengthMs, 5000.0);
    EXPECT_EQ(song->events.size(), 6u);
}

TEST(SmfReader, MelodyRendersTheSameInFormats0And1)
{
    Melody m;
    m.ticksPerQuarter = 96;
    m.lengthTicks = 96 * 8;
    m.tempos = {{0, 100.0}, {192, 150.0}};
    m.programs = {{0, 19}, {9, 0}};
    for (std::uint32_t i = 0; i < 8; ++i)
        m.notes.push_back({i * 96, 90, std::uint8_t(i % 2 ? 9 : 0), std::uint8_t(60 + i), 100});
    const auto f0 = read(midiFromMelody(m, 0));
    const auto f1 = read(midiFromMelody(m, 1));
    ASSERT_TRUE(f0 && f1);
    EXPECT_EQ(notesOf(*f0).size(), 16u);
    EXPECT_EQ(f0->events.size(), f1->events.size());
    EXPECT_DOUBLE_EQ(f0->lengthMs, f1->lengthMs);
    // 2 quarters at 600 ms, 6 at 400 ms.
    EXPECT_NEAR(f1->lengthMs, 1200.0 + 2400.0, 1e-9);
}

TEST(SmfReader, SkipsSysexMetaAndUnknownChunks)
{
    SmfTrack track;
    track.sysex(0, {0x7E, 0x7F, 0x09, 0x01, 0xF7}).meta(0, 0x03, {'T', 'u', 'n', 'e'});
    track.raw(0, {0xF7, 0x02, 0x01, 0x02}); // escaped sysex
    track.note(96, 96, 0, 60, 100);
    Bytes file = writeSmf(0, 96, {});
    const Bytes junk = {'X', 'F', 'I', 'H', 0, 0, 0, 3, 1, 2, 3};
    file.insert(file.end(), junk.begin(), junk.end());
    const Bytes tracks = writeSmf(0, 96, {track});
    file.insert(file.end(), tracks.begin() + 14, tracks.end());
    const auto song = read(file);
    ASSERT_TRUE(song);
    ASSERT_EQ(song->events.size(), 2u);
    EXPECT_DOUBLE_EQ(song->events[0].timeMs, 500.0);
}

TEST(SmfReader, DamagedTracksKeepWhatPrecedesTheDamage)
{
    struct Row {
        std::string name;
        Bytes damage;
    };
    const Row rows[] = {
        {"five-byte delta", {0xFF, 0x2F, 0x00}}, // preceded by an over-long delta below
        {"status byte where data belongs", {0x90, 0x90, 0x40}},
        {"system real-time byte", {0xF8}},
        {"meta longer than the track", {0xFF, 0x01, 0x7F, 'a'}},
        {"sysex longer than the track", {0xF0, 0x40, 0x01}},
    };
    for (const Row& row : rows) {
        SmfTrack first;
        first.note(0, 96, 0, 60, 100);
        first.endOfTrack = false;
        Bytes file = writeSmf(0, 96, {first});
        const Bytes badDelta = {0x81, 0x81, 0x81, 0x81, 0x01};
        if (row.name == "five-byte delta")
            file.insert(file.end(), badDelta.begin(), badDelta.end());
        else
            file.push_back(0x00);
        file.insert(file.end(), row.damage.begin(), row.damage.end());
        file[21] = std::uint8_t(file.size() - 22); // fix the MTrk length
        const auto song = read(file);
        ASSERT_TRUE(song) << row.name;
        EXPECT_EQ(song->events.size(), 2u) << row.name;
        EXPECT_DOUBLE_EQ(song->lengthMs, 500.0) << row.name;
    }
}

TEST(SmfReader, TrackRunningPastTheEndIsReadAsFarAsItGoes)
{
    SmfTrack track;
    track.note(0, 96, 0, 60, 100).note(96, 96, 0, 62, 100);
    track.endOfTrack = false;
    Bytes file = writeSmf(0, 96, {track});
    file[18] = 0x10; // declares ~256 MB
    const auto song = read(file);
    ASSERT_TRUE(song);
    EXPECT_EQ(song->events.size(), 4u);
}

TEST(SmfReader, EveryTruncationIsSafeAndKeepsAPrefix)
{
    Melody m;
    m.ticksPerQuarter = 96;
    m.lengthTicks = 96 * 4;
    m.tempos = {{0, 120.0}, {96, 90.0}};
    m.programs = {{0, 5}, {1, 33}};
    for (std::uint32_t i = 0; i < 6; ++i)
        m.notes.push_back({i * 48, 40, std::uint8_t(i % 2), std::uint8_t(50 + i), 90});
    const Bytes file = midiFromMelody(m, 1);
    const auto full = read(file);
    ASSERT_TRUE(full);
    for (std::size_t cut = 0; cut < file.size(); ++cut) {
        const auto song = readStandardMidiFile(std::span(file).first(cut));
        if (!song) {
            EXPECT_LT(cut, 14u);
            continue;
        }
        EXPECT_LE(song->events.size(), full->events.size()) << cut;
        EXPECT_LE(song->lengthMs, full->lengthMs) << cut;
    }
}

TEST(SmfReader, SmpteDivisionIgnoresTempo)
{
    SmfTrack track;
    track.tempo(0, 1'000'000).note(100, 250, 0, 60, 100);
    const auto song = read(writeSmf(0, std::uint16_t(std::uint8_t(-25) << 8 | 40), {track})); // 1 ms a tick
    ASSERT_TRUE(song);
    ASSERT_EQ(song->events.size(), 2u);
    EXPECT_DOUBLE_EQ(song->events[0].timeMs, 100.0);
    EXPECT_DOUBLE_EQ(song->lengthMs, 350.0);
}

TEST(SmfReader, Format2PlaysOnlyItsFirstTrack)
{
    SmfTrack a;
    a.note(0, 96, 0, 60, 100);
    SmfTrack b;
    b.note(0, 960, 1, 60, 100);
    const auto song = read(writeSmf(2, 96, {a, b}));
    ASSERT_TRUE(song);
    EXPECT_EQ(song->events.size(), 2u);
    EXPECT_DOUBLE_EQ(song->lengthMs, 500.0);
}

TEST(SmfReader, ReadsTheFileInsideRmid)
{
    SmfTrack track;
    track.note(0, 96, 0, 60, 100);
    const Bytes smf = writeSmf(0, 96, {track});
    Bytes riff = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'R', 'M', 'I', 'D', 'd', 'a', 't', 'a'};
    for (int s = 0; s < 32; s += 8)
        riff.push_back(std::uint8_t(smf.size() >> s));
    riff.insert(riff.end(), smf.begin(), smf.end());
    const auto song = read(riff);
    ASSERT_TRUE(song);
    EXPECT_EQ(song->events.size(), 2u);
}

TEST(SmfReader, StopsAtTheEventCap)
{
    // Built by hand: a million events through the writer would be slow.
    const std::size_t count = kMaxSmfEvents + 10;
    Bytes file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96, 'M', 'T', 'r', 'k', 0, 0, 0, 0, 0x00, 0xB0, 0x01, 0x00};
    file.reserve(file.size() + 3 * count);
    for (std::size_t i = 1; i < count; ++i)
        file.insert(file.end(), {0x01, 0x01, std::uint8_t(i & 0x7F)}); // delta 1, running status
    const std::size_t length = file.size() - 22;
    for (int i = 0; i < 4; ++i)
        file[18 + i] = std::uint8_t(length >> (24 - 8 * i));
    const auto song = read(file);
    ASSERT_TRUE(song);
    EXPECT_EQ(song->events.size(), kMaxSmfEvents);
}

} // namespace
