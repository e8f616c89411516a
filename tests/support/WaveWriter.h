#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

/// A sound file image of interleaved float frames, written by libsndfile; throws std::runtime_error
/// for a combination libsndfile refuses. Major format WAV unless given (e.g. SF_FORMAT_WAVEX, _AIFF).
std::vector<std::uint8_t> writeWave(const std::vector<float>& interleaved, int channels, int rate,
                                    int subtype, int majorFormat = 0, std::span<const int> channelMap = {});

/// A sine of `amplitude`, each channel a little further along in phase than the one before.
std::vector<float> sineSignal(double frequency, int rate, std::int64_t frames, int channels,
                              float amplitude = 0.5f);
/// A straight line from -0.9 to 0.9 on even channels and back on odd ones.
std::vector<float> rampSignal(std::int64_t frames, int channels);

// A WAVE image put together byte by byte, for headers libsndfile would never write.
struct RawWave {
    std::uint16_t formatTag = 1; // WAVE_FORMAT_PCM
    std::uint16_t channels = 1;
    std::uint32_t rate = 48000;
    std::uint16_t bits = 16;
    std::vector<std::uint8_t> data;
    std::optional<std::uint32_t> declaredDataSize;  // instead of data.size()
    std::optional<std::uint32_t> declaredRiffSize;  // instead of the true size
    std::vector<std::uint8_t> chunksBeforeFmt;      // complete chunks, ids and sizes included
};

/// The bytes of a RawWave: RIFF header, any chunks before fmt, a 16-byte fmt, then data.
std::vector<std::uint8_t> rawWave(const RawWave& wave);
