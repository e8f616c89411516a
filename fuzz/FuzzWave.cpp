// The WAVE decoder (libsndfile behind our own checks) on arbitrary bytes.
#include "WaveDecoder.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto sound = decodeWave({data, size}, 48000);
    if (!sound) return 0;
    const SampleBuffer& frames = sound->frames;
    if (frames.frames() != sound->frameCount || sound->frameCount <= 0) std::abort();
    if (frames.headWrapFrames() > frames.frames() || frames.tailWrapFrames() > frames.frames()) std::abort();
    for (std::int64_t f = 0; f < frames.frames(); ++f)
        for (int c = 0; c < 2; ++c)
            if (!std::isfinite(frames.sample(f, c)) || !std::isfinite(frames.onceSample(f, c))) std::abort();
    for (std::int64_t f = 0; f < frames.headWrapFrames() * 2; ++f)
        if (!std::isfinite(frames.headWrap()[f])) std::abort();
    if (sound->format.Channels <= 0 || sound->format.SamplesPerSec <= 0) std::abort();
    return 0;
}
