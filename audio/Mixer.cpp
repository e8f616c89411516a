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

void Mixer::frameAt(const Voice& v, const Cursor& at, float& left, float& right) const noexcept
{
    const SampleBuffer& s = *v.frames;
    left = s.sample(at.position, 0);
    right = s.sample(at.position, 1);
    // A resampled sound's ends: the loop's wrap on later passes, silence after a single play.
    if (at.wrapped && at.position < s.headWrapFrames()) {
        left += s.headWrap()[2 * at.position];
        right += s.headWrap()[2 * at.position + 1];
    }
    const std::int64_t tailFrom = v.frameCount - s.tailWrapFrames();
    if (!at.looping && at.position >= tailFrom) {
        left -= s.tailWrap()[2 * (at.position - tailFrom)];
        right -= s.tailWrap()[2 * (at.position - tailFrom) + 1];
    }
}

void Mixer::mixVoice(Voice& v, float* out, int frames) noexcept
{
    const float start = v.gain;
    const float step = (v.targetGain - v.gain) / static_cast<float>(frames);
    for (int i = 0; i < frames; ++i) {
        if (v.at.position >= v.frameCount) {
            if (!v.at.looping || v.frameCount == 0) {
                v.playing = false;
                v.at.position = v.frameCount;
                break;
            }
            v.at.position = 0;
            v.at.wrapped = true;
        }
        const float g = start + step * static_cast<float>(i + 1);
        float left = 0.0f;
        float right = 0.0f;
        frameAt(v, v.at, left, right);
        out[i * kChannels] += left * g;
        out[i * kChannels + 1] += right * g;
        ++v.at.position;
    }
    v.gain = v.targetGain;
}

int Mixer::addVoice(const SampleBuffer* frames)
{
    Voice fresh;
    fresh.frames = frames;
    fresh.frameCount = frames->frames();
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
        v->at = Cursor{0, looping, false};
        v->playing = v->frameCount > 0;
    }
}

void Mixer::stop(int slot)
{
    if (Voice* v = voice(slot)) v->playing = false;
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
    if (Voice* v = voice(slot)) {
        v->at.position = std::clamp<std::int64_t>(frame, 0, v->frameCount);
        v->at.wrapped = false;
    }
}

std::int64_t Mixer::position(int slot) const
{
    const Voice* v = voice(slot);
    if (v == nullptr) return 0;
    // A looping voice that just reached the end is at the start of its next pass.
    return v->at.looping && v->at.position >= v->frameCount ? 0 : v->at.position;
}
