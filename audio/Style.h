#pragma once

// Style-based music as DirectMusic authored it: a style's parts and patterns, and the chords
// and commands of the segment that plays it. The style reader fills Style from a RIFF 'DMST';
// the segment reader reads the style, chord and command tracks; the composer turns them into
// notes on the song's time line.

#include "RiffChunks.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct TimeSignature {
    std::uint8_t beatsPerMeasure = 4;
    std::uint8_t beat = 4;          // the note value of a beat: 4 a quarter; 0 a 256th
    std::uint16_t gridsPerBeat = 4;

    /// Ticks (768 a quarter) of a beat, a measure and a grid.
    int beatTicks() const { return beat == 0 ? 12 : 3072 / beat; }
    int measureTicks() const { return beatsPerMeasure * beatTicks(); }
    int gridTicks() const { return gridsPerBeat == 0 ? beatTicks() : beatTicks() / gridsPerBeat; }
};

struct StyleNote {
    std::int32_t gridStart = 0;
    std::uint32_t variations = 0; // bit n: variation n + 1
    std::int32_t duration = 0;    // ticks
    std::int16_t timeOffset = 0;  // ticks
    std::uint16_t musicValue = 0;
    std::uint8_t velocity = 0;
    std::uint8_t timeRange = 0;   // as stored (compressed)
    std::uint8_t durationRange = 0;
    std::uint8_t velocityRange = 0;
    std::uint8_t inversionId = 0;
    std::uint8_t playMode = 0x10; // 0x10: the part's
    std::uint8_t noteFlags = 0;
};

struct StyleCurve {
    std::int32_t gridStart = 0;
    std::uint32_t variations = 0;
    std::int32_t duration = 0;
    std::int32_t resetDuration = 0;
    std::int16_t timeOffset = 0;
    std::int16_t startValue = 0;
    std::int16_t endValue = 0;
    std::int16_t resetValue = 0;
    std::uint8_t type = 0;  // as in a sequence track's curves
    std::uint8_t shape = 0;
    std::uint8_t ccData = 0;
    std::uint8_t flags = 0;
    std::uint16_t paramType = 0;
};

struct StylePart {
    riff::Guid id{};
    TimeSignature timeSig;
    std::array<std::uint32_t, 32> variationChoices{};
    std::uint16_t measures = 1;
    std::uint8_t playMode = 0;
    std::uint8_t invertUpper = 127;
    std::uint8_t invertLower = 0;
    std::vector<StyleNote> notes;
    std::vector<StyleCurve> curves;
};

struct PartReference {
    std::size_t part = 0;            // index into Style::parts
    std::uint32_t pchannel = 0;
    std::uint8_t variationLock = 0;  // 0: independent
    std::uint8_t subChordLevel = 0;
    std::uint8_t variationOrder = 0; // as a wave part's
};

struct StylePattern {
    std::string name;
    TimeSignature timeSig;
    std::uint8_t grooveBottom = 1;
    std::uint8_t grooveTop = 100;
    std::uint16_t embellishment = 0; // 0 normal, 1 fill, 2 break, 4 intro, 8 end, 0x10 motif
    std::uint16_t measures = 1;
    std::vector<std::uint32_t> rhythm; // per measure, a bit per beat: where it expects chord changes
                                       // (one per measure; 0 for measures the file gives none)
    std::vector<PartReference> parts;
};

struct Style {
    TimeSignature timeSig;
    double tempo = 120.0;
    std::vector<StylePart> parts;
    std::vector<StylePattern> patterns;
};

// Far more than any authored style holds; a hostile file stops at these.
inline constexpr std::size_t kMaxStyleParts = 4096;
inline constexpr std::size_t kMaxStylePatterns = 1024;
inline constexpr std::size_t kMaxPartReferences = 256; // per pattern
inline constexpr std::size_t kMaxPartItems = 65536;    // notes, and curves, per part
inline constexpr std::size_t kMaxStyleMeasures = 65536; // of all patterns together

/// Reads a style file (RIFF 'DMST'); nullopt when the bytes are not one. Every time signature
/// read has at least one beat a measure and between one grid a beat and one a tick; every length
/// is at least a measure; every reference names a part read.
std::optional<Style> readStyle(riff::Bytes bytes);

// The segment's side.
struct Subchord {
    std::uint32_t chordPattern = 0; // bit i: a chord tone i semitones above the chord root
    std::uint32_t scalePattern = 0; // bit i: a scale tone i semitones above the scale root
    std::uint32_t inversionPoints = 0;
    std::uint32_t levels = 0;       // bit n: parts of subchord level n follow this one
    std::uint8_t chordRoot = 0;     // 0-23; 12 is the root that does not transpose
    std::uint8_t scaleRoot = 0;
};

struct Chord {
    std::int32_t time = 0; // ticks
    bool silent = false;
    std::vector<Subchord> subchords;
};

struct StyleCommand {
    std::int32_t time = 0;
    std::uint8_t command = 0;     // 0 groove, 1 fill, 2 intro, 3 break, 4 end, 5 end and intro
    std::uint8_t grooveLevel = 0;
    std::uint8_t grooveRange = 0;
    std::uint8_t repeatMode = 0;
};

/// The MIDI note of a style note's music value under `subchord` in the key whose root is
/// `keyRoot`, by play mode (the note's own, or the part's when the note's is 0x10); nullopt
/// when the mode leaves it silent or it falls outside 0-127. Chord root 12 transposes nothing;
/// the key root counts as a pitch class. Inversion limits are the caller's to apply.
std::optional<int> midiNoteOf(std::uint16_t musicValue, std::uint8_t playMode, const Subchord& subchord,
                              std::uint8_t keyRoot);
