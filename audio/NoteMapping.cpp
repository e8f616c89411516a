#include "Style.h"

#include <bit>

namespace {

constexpr std::uint8_t kKeyRoot = 0x1;
constexpr std::uint8_t kChordRoot = 0x2;
constexpr std::uint8_t kScaleIntervals = 0x4;
constexpr std::uint8_t kChordIntervals = 0x8;

constexpr std::uint32_t kMajorScale = 0xAB5; // C major, one octave
constexpr std::uint32_t kChordBits = 0xFFFFFF;

class Scale {
public:
    explicit Scale(const Subchord& s)
        : tones_(s.scalePattern & 0xFFF), root_(s.scaleRoot % 12)
    {
        // Without a tone in its first octave a walk up it would never end.
        if (tones_ == 0) tones_ = kMajorScale;
    }

    bool has(int pitch) const { return tones_ >> ((pitch - root_) % 12 + 12) % 12 & 1; }

    // Semitones from `pitch` up to the `steps`-th scale tone above it; `pitch` itself is step 0
    // whether or not it is in the scale.
    int up(int pitch, int steps) const
    {
        int distance = 0;
        for (int n = 0; n < steps;)
            if (has(pitch + ++distance)) ++n;
        return distance;
    }

private:
    std::uint32_t tones_;
    int root_;
};

// The semitone of the `position`-th tone of a chord above its root; nullopt when it has fewer.
std::optional<int> chordTone(std::uint32_t pattern, int position)
{
    pattern &= kChordBits;
    if (std::popcount(pattern) <= position) return std::nullopt;
    for (int n = 0; n < position; ++n) pattern &= pattern - 1;
    return std::countr_zero(pattern);
}

} // namespace

std::optional<int> midiNoteOf(std::uint16_t musicValue, std::uint8_t playMode, const Subchord& subchord,
                              std::uint8_t keyRoot)
{
    // 0x10 says "the part's mode" and is resolved by the caller; what is left are the four bits.
    const std::uint8_t mode = playMode & 0x0F;
    // Chord root 12 is the one that leaves the music where it was written; a key root is taken
    // as a pitch class, as files write the key of C both as 0 and as 12.
    int root = 0;
    int base = 0;
    if (mode & kChordRoot) {
        root = subchord.chordRoot;
        base = root - 12;
    } else if (mode & kKeyRoot) {
        root = keyRoot % 12;
        base = root;
    }

    int note = 0;
    if (!(mode & (kScaleIntervals | kChordIntervals))) {
        note = musicValue + base;
    } else {
        int octave = musicValue >> 12;
        if (octave >= 14) octave -= 16; // the octaves below the lowest
        const int position = musicValue >> 8 & 0xF;
        int scaleOffset = musicValue >> 4 & 0xF;
        if (scaleOffset >= 9) { // a step down is six up from an octave lower
            scaleOffset -= 9;
            --octave;
        }
        int accidental = musicValue & 0xF;
        if (accidental >= 8) accidental -= 16;

        const Scale scale(subchord);
        const std::optional<int> tone = (mode & kChordIntervals) ? chordTone(subchord.chordPattern, position) : std::nullopt;
        int interval = 0;
        if (tone) {
            interval = *tone + scale.up(root + *tone, scaleOffset);
        } else if (mode & kScaleIntervals) {
            // Each chord position stands for two scale steps, as chords are built in thirds.
            interval = scale.up(root, 2 * position + scaleOffset);
        } else {
            return std::nullopt; // no such chord tone, and no scale to fall back on
        }
        note = 12 * octave + interval + base + accidental;
    }
    if (note < 0 || note > 127) return std::nullopt;
    return note;
}
