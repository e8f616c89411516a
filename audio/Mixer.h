#pragma once

#include <cstdint>

// Produces the device's output. Pure and device-independent: tests call render() directly.
class Mixer {
public:
    static constexpr int kSampleRate = 48000;
    static constexpr int kChannels = 2;

    /// Writes `frames` interleaved stereo float frames to `out`.
    /// Runs on the audio thread: no allocation, no blocking, no calls into the program.
    void render(float* out, int frames) noexcept;

    /// Frames rendered since the mixer was made; the library's clock.
    std::int64_t framesRendered() const noexcept { return framesRendered_; }

private:
    std::int64_t framesRendered_ = 0;
};
