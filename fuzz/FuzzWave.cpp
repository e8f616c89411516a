// The WAVE decoder (libsndfile behind our own checks) on arbitrary bytes.
#include "WaveDecoder.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto sound = decodeWave({data, size}, 48000);
    if (!sound) return 0;
    if (sound->frames.size() != static_cast<std::size_t>(sound->frameCount) * 2) std::abort();
    for (float s : sound->frames)
        if (!std::isfinite(s)) std::abort();
    if (sound->format.Channels <= 0 || sound->format.SamplesPerSec <= 0) std::abort();
    return 0;
}
