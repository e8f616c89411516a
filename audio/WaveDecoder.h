#pragma once

#include "AudioLibrary.h"
#include "SampleBuffer.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// A sound ready for the mixer, plus what the file itself said about it.
struct DecodedSound {
    SampleBuffer frames;         // stereo at the device rate
    std::int64_t frameCount = 0; // frames.frames()
    SoundFormat format;          // the file's own channels, bits per sample and sample rate
    double lengthMs = 0.0;       // the file's own frames at its own rate
};

// Longer sounds are refused; so are rates outside the range below (file and device alike).
inline constexpr int kMaxSoundSeconds = 30 * 60;
inline constexpr int kMinSoundRate = 1000;
inline constexpr int kMaxSoundRate = 768000;

/// Decodes a whole WAVE file image to stereo at deviceRate; nullopt for data it cannot decode.
std::optional<DecodedSound> decodeWave(std::span<const std::uint8_t> image, int deviceRate = 48000);
