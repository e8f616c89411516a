#include "Mixer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

const std::array<float, Mixer::kFadeFrames> Mixer::fadeCurve_ = [] {
    std::array<float, kFadeFrames> curve{};
    for (int k = 0; k < kFadeFrames; ++k)
        curve[static_cast<std::size_t>(k)] =
            static_cast<float>(0.5 - 0.5 * std::cos(std::numbers::pi * (k + 1) / (kFadeFrames + 1)));
    return curve;
}();

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
    for (Voice& v : voices_) {
        if (!v.used) continue;
        for (Tail& tail : v.tails)
            if (tail.left > 0) mixTail(v, tail, out, frames);
        if (v.playing) mixVoice(v, out, frames);
    }
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
        float g = start + step * static_cast<float>(i + 1);
        if (v.fadeIn > 0) g *= fadeGain(kFadeFrames - v.fadeIn--);
        float left = 0.0f;
        float right = 0.0f;
        frameAt(v, v.at, left, right);
        out[i * kChannels] += left * g;
        out[i * kChannels + 1] += right * g;
        ++v.at.position;
        v.heard = true;
    }
    v.gain = v.targetGain;
}

void Mixer::mixTail(const Voice& v, Tail& tail, float* out, int frames) noexcept
{
    for (int i = 0; i < frames && tail.left > 0; ++i) {
        if (tail.at.position >= v.frameCount) {
            if (!tail.at.looping) {
                tail.left = 0;
                break;
            }
            tail.at.position = 0;
            tail.at.wrapped = true;
        }
        const float g = tail.gain * fadeGain(--tail.left);
        float left = 0.0f;
        float right = 0.0f;
        frameAt(v, tail.at, left, right);
        out[i * kChannels] += left * g;
        out[i * kChannels + 1] += right * g;
        ++tail.at.position;
    }
}

void Mixer::cut(Voice& v)
{
    // Only what has been heard fades out: a start followed at once by a jump (a bell that starts
    // inside its sound) has nothing to fade yet.
    if (!v.playing || !v.heard) return;
    Tail* tail = &v.tails[0];
    for (Tail& t : v.tails)
        if (t.left < tail->left) tail = &t;
    const float level = v.fadeIn > 0 ? fadeGain(kFadeFrames - v.fadeIn) : 1.0f;
    *tail = Tail{v.at, v.gain * level, kFadeFrames};
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
        cut(*v);
        v->at = Cursor{0, looping, false};
        v->playing = v->frameCount > 0;
        v->heard = false;
        v->fadeIn = 0;
    }
}

void Mixer::stop(int slot)
{
    if (Voice* v = voice(slot)) {
        cut(*v);
        v->playing = false;
        v->fadeIn = 0;
    }
}

bool Mixer::sounding() const noexcept
{
    return music_.isPlaying() || music_.wavesSounding() || std::any_of(voices_.begin(), voices_.end(), [](const Voice& v) { return v.used && v.playing; });
}

bool Mixer::isPlaying(int slot) const
{
    const Voice* v = voice(slot);
    return v != nullptr && v->playing;
}

bool Mixer::isSounding(int slot) const
{
    const Voice* v = voice(slot);
    return v != nullptr && (v->playing || v->tails[0].left > 0 || v->tails[1].left > 0);
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
        const std::int64_t to = std::clamp<std::int64_t>(frame, 0, v->frameCount);
        if (v->playing && to != v->at.position) {
            cut(*v);
            v->heard = false;
            v->at.wrapped = false;
            v->fadeIn = to > 0 ? kFadeFrames : 0;
        }
        v->at.position = to;
    }
}

std::int64_t Mixer::position(int slot) const
{
    const Voice* v = voice(slot);
    if (v == nullptr) return 0;
    // A looping voice that just reached the end is at the start of its next pass.
    return v->at.looping && v->at.position >= v->frameCount ? 0 : v->at.position;
}
