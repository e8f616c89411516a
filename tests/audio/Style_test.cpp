#include "Style.h"
#include "StyleWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>

namespace {

// The first chord of the sample segment, "Maj7", on its subchord levels 0 and 1, and the "M"
// chord that follows on level 1.
constexpr Subchord kMaj7Level0{0x891, 0x5AD5AD, ~0u, 0x1, 8, 0};
constexpr Subchord kMaj7Level1{0x291, 0x5AD5AD, ~0u, 0x2, 15, 0};
constexpr Subchord kMLevel1{0x109, 0x5AD5AD, ~0u, 0x2, 14, 0};
constexpr Subchord kNoScaleOnC{0x91, 0, ~0u, 0x1, 12, 0};
constexpr Subchord kDMajor{0x91, 0xAB5, ~0u, 0x1, 14, 2};

struct Mapping {
    const char* what;
    std::uint16_t musicValue;
    std::uint8_t playMode;
    Subchord subchord;
    std::uint8_t keyRoot;
    std::optional<int> note;
};

TEST(StyleNotes, MusicValuesMapToMidiNotes)
{
    const Mapping table[] = {
        {"bass, chord root", 0x3000, 0x0A, kMaj7Level0, 0, 32},
        {"third chord tone", 0x4200, 0x0E, kMaj7Level1, 0, 58},
        {"fourth chord tone", 0x4300, 0x0A, kMaj7Level1, 0, 60},
        {"root an octave up", 0x5000, 0x0A, kMaj7Level1, 0, 63},
        {"second chord tone", 0x5100, 0x0A, kMaj7Level1, 0, 67},
        {"third tone of another chord", 0x4200, 0x0E, kMLevel1, 0, 58},
        {"bass drum", 36, 0x00, kMaj7Level0, 0, 36},
        {"snare", 40, 0x00, kMaj7Level1, 0, 40},
        {"a scale step above a chord tone", 0x4310, 0x0A, kMaj7Level1, 0, 62},
        {"melodic step and accidental", 0x4011, 0x06, kMaj7Level1, 0, 54},
        {"missing chord tone", 0x4500, 0x0A, kMaj7Level1, 0, std::nullopt},
        {"missing chord tone, from the scale", 0x4500, 0x0E, kMaj7Level1, 0, 68},
        {"fixed to the key", 60, 0x01, kMaj7Level1, 14, 62},
        {"fixed to the chord", 60, 0x02, kMaj7Level1, 0, 63},
        {"pedal point", 0x4110, 0x05, kNoScaleOnC, 2, 55},
        {"key root, chord tone off the scale", 0x4110, 0x09, kMaj7Level1, 2, 55},
        {"pedal point always, from the scale", 0x4500, 0x0D, kMaj7Level1, 2, 67},
        {"a step down the scale", 0x40F0, 0x06, kMaj7Level1, 0, 50},
        {"flat", 0x400F, 0x0A, kMaj7Level1, 0, 50},
        {"scale on its own root", 0x4020, 0x06, kDMajor, 0, 54},
        {"an octave below the lowest", 0xF700, 0x05, kNoScaleOnC, 0, 12},
        {"below note 0", 0x0000, 0x0A, kMaj7Level0, 0, std::nullopt},
        {"above note 127", 0xA000, 0x0A, {0x91, 0, ~0u, 1, 23, 0}, 0, std::nullopt},
        {"fixed above note 127", 200, 0x00, kMaj7Level0, 0, std::nullopt},
    };
    for (const Mapping& m : table)
        EXPECT_EQ(midiNoteOf(m.musicValue, m.playMode, m.subchord, m.keyRoot), m.note) << m.what;
}

std::optional<Style> read(const Bytes& bytes) { return readStyle(bytes); }

// What a composer relies on, whatever the file held.
void expectSound(const Style& s)
{
    auto sound = [](const TimeSignature& t) {
        EXPECT_GE(t.beatsPerMeasure, 1);
        EXPECT_GE(t.gridsPerBeat, 1);
        EXPECT_GE(t.gridTicks(), 1);
    };
    sound(s.timeSig);
    EXPECT_LE(s.parts.size(), kMaxStyleParts);
    for (const StylePart& p : s.parts) {
        sound(p.timeSig);
        EXPECT_GE(p.measures, 1);
    }
    for (const StylePattern& p : s.patterns) {
        sound(p.timeSig);
        EXPECT_EQ(p.rhythm.size(), p.measures);
        for (const PartReference& r : p.parts) ASSERT_LT(r.part, s.parts.size());
    }
}

TEST(StyleReader, ReadsBackWhatWasWrittenInBothLayouts)
{
    for (const bool older : {false, true}) {
        const Bytes written = writeStyle(exampleStyle(), older);
        const auto style = read(written);
        ASSERT_TRUE(style);
        EXPECT_EQ(writeStyle(*style, older), written) << older;
        ASSERT_EQ(style->patterns.size(), 2u);
        EXPECT_EQ(style->patterns[0].parts[1].pchannel, 9u) << older;
    }
    Bytes other = writeStyle(exampleStyle());
    std::copy_n("AASY", 4, other.begin() + 8); // the older style format
    EXPECT_FALSE(read(other));
}

TEST(StyleReader, HostileValuesAreMadeSafe)
{
    Style s = exampleStyle();
    s.timeSig = {0, 4, 0};
    s.parts[0].timeSig = {4, 4, 1000}; // grids shorter than a tick
    s.parts[1].measures = 0;
    s.patterns[0].parts.push_back({7, 3, 0, 0, 0}); // names no part
    s.patterns[1].rhythm.clear();                   // two measures, no rhythm
    StylePattern longest = s.patterns[0];
    longest.measures = 30000;
    longest.rhythm.clear();
    s.patterns.insert(s.patterns.end(), 3, longest); // the third passes the measure cap
    s.tempo = -1.0;
    const auto style = read(writeStyle(s));
    ASSERT_TRUE(style);
    expectSound(*style);
    EXPECT_EQ(style->tempo, 120.0);
    EXPECT_EQ(style->patterns.size(), 4u);
    EXPECT_EQ(style->patterns[0].parts.size(), 2u);
    EXPECT_EQ(style->patterns[1].rhythm, (std::vector<std::uint32_t>{0, 0}));
}

// Every cut of a good file, and random damage, reads without fault.
TEST(StyleReader, DamagedFilesAreSafe)
{
    const Bytes good = writeStyle(exampleStyle());
    for (std::size_t n = 0; n <= good.size(); ++n) {
        const auto style = read(Bytes(good.begin(), good.begin() + n));
        ASSERT_EQ(style.has_value(), n >= 12) << n;
        if (style) expectSound(*style);
    }
    std::mt19937 random(11);
    for (int round = 0; round < 3000; ++round) {
        Bytes bad = good;
        const int flips = 1 + int(random() % 8);
        for (int f = 0; f < flips; ++f) bad[12 + random() % (bad.size() - 12)] = std::uint8_t(random());
        if (const auto style = read(bad)) expectSound(*style);
        if (HasFailure()) FAIL() << "round " << round;
    }
}

TEST(StyleReader, ReadsTheSampleStyle)
{
    std::ifstream in(TARNEK_OUTSIDE_TESTDATA "/sgt/sample.sty", std::ios::binary);
    if (!in) GTEST_SKIP() << "no outside test data";
    const Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto style = read(bytes);
    ASSERT_TRUE(style);
    expectSound(*style);
    EXPECT_EQ(style->timeSig.beatsPerMeasure, 4);
    EXPECT_EQ(style->timeSig.beat, 4);
    EXPECT_EQ(style->timeSig.gridsPerBeat, 8);
    EXPECT_EQ(style->tempo, 70.0);

    auto pattern = [&](const char* name) {
        const auto p = std::find_if(style->patterns.begin(), style->patterns.end(),
                                    [&](const StylePattern& p) { return p.name == name; });
        return p != style->patterns.end() ? &*p : nullptr;
    };
    auto partOn = [&](const StylePattern& p, std::uint32_t pchannel) -> const StylePart* {
        for (const PartReference& r : p.parts)
            if (r.pchannel == pchannel) return &style->parts[r.part];
        return nullptr;
    };
    auto hasNote = [](const StylePart& part, std::int32_t grid, std::int16_t offset, std::uint16_t value) {
        return std::any_of(part.notes.begin(), part.notes.end(), [&](const StyleNote& n) {
            return (n.variations & 1) && n.gridStart == grid && n.timeOffset == offset && n.musicValue == value;
        });
    };

    const StylePattern* groove = pattern("Pattern9");
    ASSERT_TRUE(groove);
    EXPECT_EQ(groove->grooveBottom, 100);
    EXPECT_EQ(groove->grooveTop, 100);
    EXPECT_EQ(groove->embellishment, 0);
    EXPECT_EQ(groove->rhythm, std::vector<std::uint32_t>{0xF});

    const StylePart* bass = partOn(*groove, 8);
    const StylePart* upper = partOn(*groove, 4);
    const StylePart* drums = partOn(*groove, 9);
    ASSERT_TRUE(bass && upper && drums);
    EXPECT_EQ(bass->playMode, 0x0A);
    EXPECT_TRUE(hasNote(*bass, 0, 0, 0x3000));
    EXPECT_TRUE(hasNote(*bass, 16, -192, 0x3000));
    EXPECT_EQ(upper->playMode, 0x0A);
    EXPECT_EQ(upper->invertLower, 31);
    EXPECT_EQ(upper->invertUpper, 95);
    EXPECT_TRUE(hasNote(*upper, 0, 0, 0x5100));
    EXPECT_EQ(drums->playMode, 0x00);
    EXPECT_TRUE(hasNote(*drums, 0, 0, 36) && hasNote(*drums, 0, 0, 40));

    const StylePattern* locked = pattern("Pattern2");
    ASSERT_TRUE(locked);
    for (const PartReference& r : locked->parts)
        EXPECT_EQ(r.variationLock, r.pchannel == 6 || r.pchannel == 7 ? 1 : 0) << r.pchannel;
}

} // namespace
