#pragma once

// Turns a style-based segment's style, chord and command tracks into notes: which pattern plays
// in each stretch, which variation of each part, and the MIDI note of each of its notes under the
// chord in force. Pure: no synthesizer, no files.

#include "Style.h"

#include <cstdint>
#include <optional>
#include <random>
#include <utility>
#include <vector>

struct StyleChange {
    std::int32_t time = 0;
    std::optional<Style> style; // none: the style named there was not found
};

// What a segment's style, chord and command tracks say.
struct StyleTracks {
    std::vector<StyleChange> styles; // by time
    bool hasChordTrack = false;
    std::uint8_t keyRoot = 0;        // 0-23
    std::uint32_t keyScale = 0xAB5AB5;
    std::vector<Chord> chords;       // by time
    bool hasCommandTrack = false;
    std::vector<StyleCommand> commands; // by time

    /// The style in force at tick 0, if it was found.
    const Style* firstStyle() const;
};

struct ComposedNote {
    std::int64_t tick = 0;
    std::int64_t duration = 1;
    std::uint32_t pchannel = 0;
    std::uint8_t key = 0;
    std::uint8_t velocity = 0;
};

struct ComposedCurve {
    std::int64_t tick = 0; // the curve's start, its time offset included
    std::uint32_t pchannel = 0;
    StyleCurve curve;
};

struct Composition {
    std::vector<ComposedNote> notes;
    std::vector<ComposedCurve> curves;
    std::vector<std::pair<std::int64_t, std::size_t>> patterns; // where each pattern began, and which
};

using NoteMapping = std::optional<int> (*)(std::uint16_t musicValue, std::uint8_t playMode,
                                           const Subchord& subchord, std::uint8_t keyRoot);

/// Composes [0, lengthTicks) of the segment; at most `maxItems` notes and curves in all.
Composition composeStyle(const StyleTracks& tracks, std::int64_t lengthTicks, std::mt19937& random,
                         std::size_t maxItems, NoteMapping mapping = &midiNoteOf);

/// The ticks a stored random time or duration range stands for.
int styleRangeTicks(std::uint8_t stored);
