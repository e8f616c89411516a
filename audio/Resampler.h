#pragma once

#include <cstdint>
#include <span>
#include <vector>

/// Converts interleaved stereo frames to another rate as they arrive, with a windowed-sinc
/// polyphase filter centred on every output frame: output frame n lies exactly at input frame
/// n * inFrames / outFrames, so the sound keeps its start, does not drift, and a loop of
/// inFrames becomes a loop of exactly outFrames (the ratio differs from the two rates' by less
/// than one frame over the sound: far below anything audible). DC gain is exactly 1.
///
/// The sound is kept in one pass: push() returns each output frame as soon as its input is
/// there, computed against silence before the first input frame; finish() returns the rest
/// with the sound's start following its end, as in a loop. What the wrap adds or takes away at
/// either end is kept apart (headWrap, tailWrap), so the same frames play once or loop cleanly.
class Resampler {
public:
    /// inFrames input frames (the expected count) become outFrames output frames; both > 0.
    Resampler(std::int64_t inFrames, std::int64_t outFrames);

    /// Takes the next input frames; returns the output frames completed by them (valid until
    /// the next call).
    std::span<const float> push(std::span<const float> stereo);
    /// Ends the input (fewer frames than announced are allowed) and returns the remaining
    /// output frames. Afterwards outFrames() is the total.
    std::span<const float> finish();

    std::int64_t outFrames() const { return outFrames_; }
    /// For the first headWrap().size() / 2 output frames: what the sound's end, coming before
    /// its start in a loop, adds to them after the first pass.
    const std::vector<float>& headWrap() const { return headWrap_; }
    /// For the last tailWrap().size() / 2 output frames: what the sound's start, following its
    /// end in a loop, added to them; taken away when the sound plays once.
    const std::vector<float>& tailWrap() const { return tailWrap_; }

private:
    struct Place {
        std::int64_t start; // input frame under the filter's first tap
        const float* row;   // coefficients, each twice (left and right lanes)
    };
    Place placeOf(std::int64_t n) const;
    Place placeAt(std::int64_t frame, std::int64_t past) const;
    void computeFinal(std::int64_t n, float* out, float* headWrap, float* tailWrap) const;
    float input(std::int64_t frame, int channel) const; // any frame of the whole input, taken circularly

    std::int64_t inFrames_;  // announced
    std::int64_t outFrames_; // announced, then the total after finish()
    std::int64_t up_ = 1;    // output frames ...
    std::int64_t down_ = 1;  // ... per this many input frames
    int taps_ = 0;
    std::int64_t phases_ = 1;
    double rowScale_ = 1.0;
    std::vector<float> rows_;

    std::int64_t received_ = 0;   // input frames so far
    std::int64_t next_ = 0;       // next output frame
    std::vector<float> window_;   // input frames from windowStart_ on
    std::int64_t windowStart_ = 0;
    std::vector<float> first_;    // the first input frames, as many as one filter spans
    std::vector<float> out_;
    std::vector<float> headWrap_;
    std::vector<float> tailWrap_;
};
