#include "StyleComposer.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

constexpr int kMeasure = 3072; // 4/4

StyleNote note(std::int32_t grid, std::uint16_t key, std::uint32_t variations = 1)
{
    StyleNote n;
    n.gridStart = grid;
    n.variations = variations;
    n.duration = 96;
    n.musicValue = key;
    n.velocity = 100;
    return n;
}

StylePart part(std::vector<StyleNote> notes, std::uint32_t enabled = 1)
{
    StylePart p;
    for (std::size_t v = 0; v < 32; ++v) p.variationChoices[v] = enabled >> v & 1 ? 0x7FFFFFFF : 0x60000000;
    p.notes = std::move(notes);
    return p;
}

StylePattern pattern(std::vector<std::size_t> parts, std::uint8_t bottom = 1, std::uint8_t top = 100,
                     std::uint16_t embellishment = 0, std::uint16_t measures = 1)
{
    StylePattern p;
    p.grooveBottom = bottom;
    p.grooveTop = top;
    p.embellishment = embellishment;
    p.measures = measures;
    for (std::size_t i : parts) p.parts.push_back({i, std::uint32_t(i), 0, 0, 1});
    return p;
}

StyleTracks tracksOf(Style style, std::vector<StyleCommand> commands = {})
{
    StyleTracks t;
    t.styles.push_back({0, std::move(style)});
    t.hasCommandTrack = !commands.empty();
    t.commands = std::move(commands);
    return t;
}

std::vector<ComposedNote> compose(const StyleTracks& t, int measures, unsigned seed = 1, NoteMapping mapping = &midiNoteOf)
{
    std::mt19937 random(seed);
    return composeStyle(t, std::int64_t(measures) * kMeasure, random, 100000, mapping).notes;
}

// The keys heard in each measure, in order.
std::vector<std::vector<int>> keysByMeasure(const std::vector<ComposedNote>& notes, int measures)
{
    std::vector<std::vector<int>> keys(static_cast<std::size_t>(measures));
    for (const ComposedNote& n : notes) keys.at(std::size_t(n.tick / kMeasure)).push_back(n.key);
    return keys;
}

TEST(StyleComposer, GrooveLevelAndCommandsPickThePattern)
{
    Style s;
    s.parts = {part({note(0, 40)}), part({note(0, 50)}), part({note(0, 60)})};
    s.patterns = {pattern({0}, 1, 50), pattern({1}, 51, 100), pattern({2}, 1, 100, 0x1)};
    // The first command holds a DX7 file's garbage where range and repeat mode would be: a
    // spread of 223 would reach the other pattern.
    const StyleTracks t = tracksOf(s, {{0, 0, 20, 223, 111}, {2 * kMeasure, 0, 80, 0, 0}, {3 * kMeasure, 1, 0, 0, 0}});
    for (unsigned seed = 1; seed <= 20; ++seed) // the fill plays once, then the groove again
        EXPECT_EQ(keysByMeasure(compose(t, 5, seed), 5), (std::vector<std::vector<int>>{{40}, {40}, {50}, {60}, {50}}));
}

TEST(StyleComposer, NotesLandOnTheirPartsGridAndAShortPartRepeats)
{
    Style s;
    s.parts = {part({note(3, 61), note(8, 62)})};
    s.parts[0].notes[0].timeOffset = -10;
    s.parts[0].timeSig.gridsPerBeat = 2; // the pattern's has 4
    s.patterns = {pattern({0}, 1, 100, 0, 2)};
    const std::vector<ComposedNote> notes = compose(tracksOf(s), 2); // the default groove
    ASSERT_EQ(notes.size(), 2u) << "grid 8 lies past the part's one measure";
    EXPECT_EQ(notes[0].tick, 768 + 384 - 10);
    EXPECT_EQ(notes[1].tick, kMeasure + 768 + 384 - 10);
}

TEST(StyleComposer, LockedPartsShareTheirVariationAndDisabledOnesNeverPlay)
{
    Style s;
    s.parts = {part({}, 0b1011), part({}, 0b1111)};
    for (std::uint16_t v = 0; v < 4; ++v) {
        s.parts[0].notes.push_back(note(0, std::uint16_t(60 + v), 1u << v));
        s.parts[1].notes.push_back(note(0, std::uint16_t(70 + v), 1u << v));
    }
    s.patterns = {pattern({0, 1})};
    s.patterns[0].parts[0].variationLock = s.patterns[0].parts[1].variationLock = 1;
    const auto keys = keysByMeasure(compose(tracksOf(s), 32), 32);
    std::set<int> heard;
    for (const auto& k : keys) {
        ASSERT_EQ(k.size(), 2u);
        EXPECT_EQ(k[1] - k[0], 10);
        EXPECT_NE(k[0], 62);
        heard.insert(k[0]);
    }
    EXPECT_EQ(heard.size(), 3u);
}

TEST(StyleComposer, TheLongestPatternWhoseChordRhythmFitsPlays)
{
    Style s;
    s.parts = {part({note(0, 40)}), part({note(0, 50)})};
    s.patterns = {pattern({0}, 1, 100, 0, 2), pattern({1})};
    s.patterns[0].rhythm = {0x1, 0x1}; // chord changes on the first beat only
    s.patterns[1].rhythm = {0xF};
    StyleTracks t = tracksOf(s);
    t.chords = {Chord{0, false, {}}, Chord{kMeasure, false, {}}};
    EXPECT_EQ(keysByMeasure(compose(t, 2), 2), (std::vector<std::vector<int>>{{40}, {40}}));
    t.chords[1].time = kMeasure + 1536;
    EXPECT_EQ(keysByMeasure(compose(t, 2), 2), (std::vector<std::vector<int>>{{50}, {50}}));
    t.chords.push_back(Chord{kMeasure + 768, true, {}}); // silent: no change to fit
    t.chords[1].time = kMeasure;
    EXPECT_EQ(keysByMeasure(compose(t, 2), 2), (std::vector<std::vector<int>>{{40}, {40}}));
}

TEST(StyleComposer, NotesFollowTheChordAtTheirOwnTimeWithinTheInversionLimits)
{
    Style s;
    s.parts = {part({note(0, 60), note(4, 60), note(8, 100)})};
    s.parts[0].playMode = 0x0A;
    s.parts[0].notes[2].playMode = 0; // fixed: never moved
    s.parts[0].invertUpper = 64;
    s.patterns = {pattern({0})};
    s.patterns[0].parts[0].subChordLevel = 1;
    StyleTracks t = tracksOf(s);
    t.chords = {Chord{0, false, {Subchord{0x91, 0, 0, 0x1, 2, 0}}},
                Chord{768, false, {Subchord{0x91, 0, 0, 0x1, 5, 0}, Subchord{0x91, 0, 0, 0x2, 7, 0}}}};
    auto byRoot = [](std::uint16_t value, std::uint8_t mode, const Subchord& sub, std::uint8_t) -> std::optional<int> {
        return mode == 0 ? int(value) : value + sub.chordRoot;
    };
    // Level 1 falls back to the first subchord, then finds its own; 67 is above the limit.
    EXPECT_EQ(keysByMeasure(compose(t, 1, 1, byRoot), 1), (std::vector<std::vector<int>>{{62, 55, 100}}));
}

TEST(StyleComposer, RandomRangesSpreadAroundTheWrittenValues)
{
    Style s;
    s.parts = {part({note(8, 60)})};
    s.parts[0].notes[0].velocityRange = 10;
    s.parts[0].notes[0].timeRange = 200; // 240 ticks
    s.patterns = {pattern({0})};
    std::set<std::int64_t> offsets;
    for (const ComposedNote& n : compose(tracksOf(s), 64)) {
        const std::int64_t offset = n.tick % kMeasure - 1536;
        EXPECT_LE(std::abs(offset), 120);
        EXPECT_LE(std::abs(n.velocity - 100), 5);
        offsets.insert(offset);
    }
    EXPECT_GT(offsets.size(), 8u);
}

} // namespace

// ---- the authoring tools' sample: sample.sgt with its sample.sty ----

#include "SegmentReader.h"

#include <bit>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

struct Mapped {
    std::uint16_t musicValue;
    std::uint8_t playMode;
    Subchord subchord;
    std::optional<int> note;
};
std::vector<Mapped> mapped;

std::optional<int> recordMapping(std::uint16_t musicValue, std::uint8_t playMode, const Subchord& subchord, std::uint8_t keyRoot)
{
    const std::optional<int> note = midiNoteOf(musicValue, playMode, subchord, keyRoot);
    mapped.push_back({musicValue, playMode, subchord, note});
    return note;
}

} // namespace

TEST(StyleComposer, TheSampleMapsItsNotesIntoEachChordsScaleAndPlaysItsDrumsAsWritten)
{
    const std::filesystem::path dir = std::filesystem::path(TARNEK_OUTSIDE_TESTDATA) / "sgt";
    std::ifstream in(dir / "sample.sgt", std::ios::binary);
    if (!in) GTEST_SKIP() << "no outside test data at " << dir;
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::optional<StyleTracks> tracks = readStyleTracks(bytes, {dir.string()});
    ASSERT_TRUE(tracks);
    ASSERT_NE(tracks->firstStyle(), nullptr);
    ASSERT_FALSE(tracks->chords.empty());

    mapped.clear();
    std::mt19937 random(7);
    const Composition music = composeStyle(*tracks, 16 * kMeasure, random, 100000, &recordMapping);
    // Groove 100 throughout: only patterns whose range holds it, none of them a fill or a break.
    const Style& style = *tracks->firstStyle();
    ASSERT_FALSE(music.patterns.empty());
    for (const auto& [tick, index] : music.patterns) {
        const StylePattern& p = style.patterns[index];
        EXPECT_TRUE(p.grooveBottom <= 100 && 100 <= p.grooveTop && p.embellishment == 0) << p.name << " at " << tick;
    }
    // Music to the end: the last measure has notes too.
    ASSERT_FALSE(music.notes.empty());
    EXPECT_GE(music.notes.back().tick, 15 * kMeasure);
    int inScale = 0, fixed = 0;
    for (const Mapped& m : mapped) {
        if (!m.note) continue;
        if ((m.playMode & 0x0F) == 0) { // drums and effects: the value is the note
            EXPECT_EQ(*m.note, m.musicValue);
            ++fixed;
        } else if ((m.musicValue & 0x0F) == 0) { // no accidental: a chord tone, or a scale tone
            const auto has = [](std::uint32_t pattern, int from, int note) {
                return ((pattern | pattern >> 12) >> (((note - from) % 12 + 12) % 12)) & 1;
            };
            const int position = m.musicValue >> 8 & 0x0F, offset = m.musicValue >> 4 & 0x0F;
            const bool chordTone = (m.playMode & 0x08) && offset == 0 && position < std::popcount(m.subchord.chordPattern);
            const std::uint32_t scale = m.subchord.scalePattern != 0 ? m.subchord.scalePattern : 0xAB5AB5;
            if (chordTone) EXPECT_TRUE(has(m.subchord.chordPattern, m.subchord.chordRoot, *m.note)) << *m.note;
            else EXPECT_TRUE(has(scale, m.subchord.scaleRoot, *m.note)) << *m.note << " " << std::hex << m.musicValue;
            ++inScale;
        }
    }
    EXPECT_GT(inScale, 100);
    EXPECT_GT(fixed, 50);
}
