#include "Mixer.h"

#include <algorithm>

void Mixer::render(float* out, int frames) noexcept
{
    std::fill(out, out + static_cast<std::ptrdiff_t>(frames) * kChannels, 0.0f);
    framesRendered_ += frames;
}
