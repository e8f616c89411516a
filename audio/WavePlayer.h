#pragma once

#include "MidiSong.h"

#include <array>
#include <cstdint>
#include <vector>

struct DecodedSound;

/// Decodes the waves a song's wave items play into song.sounds, each at every pitch an item
/// gives it, and points the items at them. Items whose wave cannot be decoded, or that would
/// take more than a bell's worth of memory, are dropped. Slow: at load, never on the audio thread.
void decodeWaveItems(MidiSong& song);

// Plays the wave items of a song's wave tracks for MusicPlayer, which calls it on the same
// clock as the synthesizer: it starts each item at its frame of the pass, one variation per
// part, and mixes the voices into the synthesizer's output before the music volume applies.
// Thread rules as MusicPlayer's: setSong() while the audio thread is held off; the rest may
// run on the audio thread and neither allocates nor blocks.
// Not played: variations taken from a pattern track (no pattern track plays here), and the controllers of the part's PChannel (its volume and pan leave waves alone).
class WavePlayer {
public:
    static constexpr int kVoices = 64; // more at once and the newest item is not played

    WavePlayer();

    /// The song whose items play from the next pass on; nullptr: none. Voices stop at once.
    /// The order of variations starts afresh unless it is the same song and its track keeps it.
    void setSong(const MidiSong* song);
    /// A pass starts at `fromMs`: every part draws its variation.
    void beginPass(double fromMs) noexcept;
    /// At a loop point: voices fade out, but those of items that sound through loops.
    void cutAtLoop() noexcept;
    /// Drops every voice at once (their fade-out has been taken already).
    void silence() noexcept;
    /// Adds the voices' next `frames` frames to `out`. Items lying in frames
    /// [passFrame, passFrame + frames) of the pass begun at passStartMs start at their frame;
    /// those at or after endMs, and all of them when passFrame < 0, do not.
    void render(float* out, int frames, std::int64_t passFrame, double passStartMs, double endMs) noexcept;
    bool sounding() const noexcept;
    /// Frames until the last voice has ended.
    std::int64_t framesLeft() const noexcept;

    /// The frame of the pass begun at passStartMs on which something at `ms` happens: the first
    /// one at or after it. The synthesizer's events go by the same rule.
    static std::int64_t frameAfter(double passStartMs, double ms) noexcept;

private:
    struct Voice {
        const DecodedSound* sound = nullptr; // owned by the song
        std::int64_t position = 0; // source frame
        std::uint32_t fraction = 0; // and how far past it, in 2^-32 frames
        std::uint32_t step = 0;     // fraction added per frame, with whole frames in `whole`
        std::uint32_t whole = 1;
        std::int64_t delay = 0;    // frames of this block before it starts
        std::int64_t left = 0;     // frames it still plays for
        bool fadesAtEnd = false;   // its duration cuts the wave short
        int fadeLeft = 0;          // > 0: fading out, over this many frames
        float gain = 1.0f;
        std::int64_t loopStart = 0; // frames; the voice loops while loopEnd > loopStart
        std::int64_t loopEnd = 0;
        bool keepsThroughLoops = false;
        bool active = false;
    };
    struct PartState {
        std::size_t next = 0;    // the next item to start
        int variation = -1;      // playing now, -1 for none
        std::uint32_t played = 0; // random rows: the variations played in this row
        std::size_t leader = 0;  // the part whose choice this one shares (itself if none)
    };

    void startVoice(const WaveItem& item, std::int64_t delay) noexcept;
    void mixVoice(Voice& v, float* out, int frames) noexcept;
    int choose(const WavePart& part, PartState& state) noexcept;
    std::uint32_t random() noexcept;

    const MidiSong* song_ = nullptr;
    std::vector<PartState> parts_;
    std::array<Voice, kVoices> voices_{};
    std::uint64_t seed_ = 0;
};
