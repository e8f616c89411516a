#include "Mixer.h"

#include <algorithm>
#include <cmath>

Mixer::Mixer()
{
    voices_.reserve(64);
}

float Mixer::gainOf(std::int32_t volume)
{
    if (volume <= -10000) return 0.0f;
    if (volume >= 0) return 1.0f;
    return static_cast<float>(std::pow(10.0, volume / 2000.0));
}

void Mixer::render(float* out, int frames) noexcept
{
    std::fill(out, out + static_cast<std::ptrdiff_t>(frames) * kChannels, 0.0f);
    for (Voice& v : voices_)
        if (v.used && v.playing) mixVoice(v, out, frames);
    music_.render(out, frames);
    framesRendered_ += frames;
}

void Mixer::mixVoice(Voice& v, float* out, int frames) noexcept
{
    const float start = v.gain;
    const float step = (v.targetGain - v.gain) / static_cast<float>(frames);
    for (int i = 0; i < frames; ++i) {
        if (v.position >= v.frameCount) {
            if (!v.looping || v.frameCount == 0) {
                v.playing = false;
                v.position = v.frameCount;
                break;
            }
            v.position = 0;
        }
        const float g = start + step * static_cast<float>(i + 1);
        const float* frame = v.frames + v.position * kChannels;
        out[i * kChannels] += frame[0] * g;
        out[i * kChannels + 1] += frame[1] * g;
        ++v.position;
    }
    v.gain = v.targetGain;
}

int Mixer::addVoice(const float* frames, std::int64_t frameCount)
{
    Voice fresh;
    fresh.frames = frames;
    fresh.frameCount = frameCount;
    fresh.used = true;
    for (std::size_t slot = 0; slot < voices_.size(); ++slot) {
        if (!voices_[slot].used) {
            voices_[slot] = fresh;
            return static_cast<int>(slot);
        }
    }
    voices_.push_back(fresh);
    return static_cast<int>(voices_.size() - 1);
}

void Mixer::removeVoice(int slot)
{
    if (Voice* v = voice(slot)) *v = Voice{};
}

Mixer::Voice* Mixer::voice(int slot)
{
    if (slot < 0 || static_cast<std::size_t>(slot) >= voices_.size() || !voices_[slot].used) return nullptr;
    return &voices_[slot];
}

const Mixer::Voice* Mixer::voice(int slot) const
{
    return const_cast<Mixer*>(this)->voice(slot);
}

void Mixer::play(int slot, bool looping)
{
    if (Voice* v = voice(slot)) {
        v->position = 0;
        v->looping = looping;
        v->playing = v->frameCount > 0;
    }
}

void Mixer::stop(int slot)
{
    if (Voice* v = voice(slot)) v->playing = false;
}

bool Mixer::sounding() const noexcept
{
    return music_.isPlaying() || std::any_of(voices_.begin(), voices_.end(), [](const Voice& v) { return v.used && v.playing; });
}

bool Mixer::isPlaying(int slot) const
{
    const Voice* v = voice(slot);
    return v != nullptr && v->playing;
}

void Mixer::setVolume(int slot, std::int32_t volume)
{
    if (Voice* v = voice(slot)) {
        v->targetGain = gainOf(volume);
        // A voice that is not sounding takes the new gain at once.
        if (!v->playing) v->gain = v->targetGain;
    }
}

void Mixer::setPosition(int slot, std::int64_t frame)
{
    if (Voice* v = voice(slot)) v->position = std::clamp<std::int64_t>(frame, 0, v->frameCount);
}

std::int64_t Mixer::position(int slot) const
{
    const Voice* v = voice(slot);
    if (v == nullptr) return 0;
    // A looping voice that just reached the end is at the start of its next pass.
    return v->looping && v->position >= v->frameCount ? 0 : v->position;
}
