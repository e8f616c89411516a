#include "WavePlayer.h"

#include "Mixer.h"
#include "WaveDecoder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <map>
#include <random>

namespace {

constexpr int kRate = Mixer::kSampleRate;
// All waves at all their pitches together: far beyond any bell, and a hostile file's many
// waves and pitches stop here.
constexpr std::int64_t kMaxDecodedFrames = std::int64_t{kRate} * 60 * 10;
// Two octaves either way; an item asking more gets the limit.
constexpr std::int32_t kMaxPitch = 2400;
// The random spread of pitch is played by the voice itself, interpolated; wider spreads than
// an octave would alias audibly, and none is near it in real files.
constexpr double kMaxPitchSpread = 1200.0;
constexpr std::uint32_t kNoSound = std::numeric_limits<std::uint32_t>::max();

std::shared_ptr<const DecodedSound> decodeAt(const std::vector<std::uint8_t>& image, int rate)
{
    std::optional<DecodedSound> decoded = decodeWave(image, rate);
    if (!decoded || decoded->frameCount <= 0 || decoded->lengthMs <= 0.0) return nullptr;
    return std::make_shared<const DecodedSound>(std::move(*decoded));
}

} // namespace

void decodeWaveItems(MidiSong& song)
{
    // A pitch is decoded in: the wave resampled as if for a device running slower or faster by
    // that much, so that at the real rate it sounds higher or lower. Each wave is decoded once
    // at its own pitch first; it tells whether the wave decodes at all and how long it is.
    std::vector<std::shared_ptr<const DecodedSound>> natural(song.waveImages.size());
    std::vector<bool> tried(song.waveImages.size(), false);
    std::map<std::pair<std::uint32_t, std::int32_t>, std::uint32_t> made;
    std::int64_t spent = 0;
    song.sounds.clear();
    for (WavePart& part : song.waveParts) {
        for (WaveItem& item : part.items) {
            item.sound = kNoSound;
            if (item.wave >= song.waveImages.size()) continue;
            const std::int32_t pitch = std::clamp(item.pitch, -kMaxPitch, kMaxPitch);
            const auto key = std::make_pair(item.wave, pitch);
            if (auto found = made.find(key); found != made.end()) {
                item.sound = found->second;
                continue;
            }
            if (!tried[item.wave] && spent < kMaxDecodedFrames) {
                tried[item.wave] = true;
                natural[item.wave] = decodeAt(song.waveImages[item.wave], kRate);
                if (natural[item.wave]) spent += natural[item.wave]->frameCount;
            }
            std::shared_ptr<const DecodedSound> sound = natural[item.wave];
            if (sound == nullptr) continue;
            if (pitch != 0) {
                const double factor = std::exp2(pitch / 1200.0);
                if (spent + std::int64_t(double(sound->frameCount) / factor) > kMaxDecodedFrames) continue;
                sound = decodeAt(song.waveImages[item.wave], int(std::lround(kRate / factor)));
                if (sound == nullptr) continue;
                spent += sound->frameCount;
            }
            item.sound = std::uint32_t(song.sounds.size());
            made.emplace(key, item.sound);
            song.sounds.push_back(std::move(sound));
        }
        std::erase_if(part.items, [](const WaveItem& item) { return item.sound == kNoSound; });
    }
    std::erase_if(song.waveParts, [](const WavePart& part) { return part.items.empty(); });
}

WavePlayer::WavePlayer() : seed_(std::random_device{}() | std::uint64_t{std::random_device{}()} << 32 | 1) {}

std::int64_t WavePlayer::frameAfter(double passStartMs, double ms) noexcept
{
    const double frames = std::ceil((ms - passStartMs) * kRate / 1000.0 - 1e-6);
    // Far beyond any real song, and still an exact integer as a double: times a file claims
    // past it would not fit the frame count.
    constexpr double kLatestFrame = double(std::int64_t{1} << 62);
    return static_cast<std::int64_t>(std::clamp(frames, 0.0, kLatestFrame));
}

std::uint32_t WavePlayer::random() noexcept
{
    // xorshift64*: plenty for choosing variations, and safe on the audio thread.
    seed_ ^= seed_ >> 12;
    seed_ ^= seed_ << 25;
    seed_ ^= seed_ >> 27;
    return static_cast<std::uint32_t>((seed_ * 2685821657736338717ULL) >> 32);
}

void WavePlayer::setSong(const MidiSong* song)
{
    silence();
    const bool same = song == song_;
    song_ = song;
    if (song == nullptr) {
        parts_.clear();
        return;
    }
    const std::vector<WavePart>& parts = song->waveParts;
    if (!same || parts_.size() != parts.size()) parts_.assign(parts.size(), PartState{});
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (!parts[i].keepsOrder) parts_[i] = PartState{};
        parts_[i].leader = i;
        if (parts[i].lock == 0) continue;
        for (std::size_t j = 0; j < i; ++j) {
            if (parts[j].lock == parts[i].lock) {
                parts_[i].leader = j;
                break;
            }
        }
    }
}

int WavePlayer::choose(const WavePart& part, PartState& state) noexcept
{
    const std::uint32_t enabled = part.variations;
    if (enabled == 0) return -1;
    auto pickFrom = [&](std::uint32_t mask) {
        std::uint32_t n = static_cast<std::uint32_t>((std::uint64_t{random()} * std::popcount(mask)) >> 32);
        for (; n > 0; --n) mask &= mask - 1;
        return std::countr_zero(mask);
    };
    const int last = state.variation;
    const bool several = std::popcount(enabled) > 1;
    const std::uint32_t notLast = last >= 0 && several ? enabled & ~(std::uint32_t{1} << last) : enabled;
    switch (part.order) {
    case 0:   // in order from the first
    case 2: { // in order from a random one
        if (last < 0) return part.order == 0 ? std::countr_zero(enabled) : pickFrom(enabled);
        const std::uint32_t after = last >= 31 ? 0 : enabled & ~((std::uint32_t{2} << last) - 1);
        return std::countr_zero(after != 0 ? after : enabled);
    }
    case 3: return pickFrom(notLast); // random, never the same twice running
    case 4: { // random rows: each once before any again
        std::uint32_t left = enabled & ~state.played;
        if (left == 0) {
            state.played = 0;
            left = notLast;
        }
        const int chosen = pickFrom(left);
        state.played |= std::uint32_t{1} << chosen;
        return chosen;
    }
    default: return pickFrom(enabled); // random, and any order not known
    }
}

void WavePlayer::beginPass(double fromMs) noexcept
{
    if (song_ == nullptr) return;
    const std::vector<WavePart>& parts = song_->waveParts;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        PartState& state = parts_[i];
        // A leader comes before the parts that follow it.
        state.variation = state.leader == i ? choose(parts[i], state) : parts_[state.leader].variation;
        const auto& items = parts[i].items;
        state.next = static_cast<std::size_t>(
            std::lower_bound(items.begin(), items.end(), fromMs,
                             [](const WaveItem& item, double ms) { return item.timeMs < ms; }) -
            items.begin());
    }
}

void WavePlayer::cutAtLoop() noexcept
{
    for (Voice& v : voices_) {
        if (!v.active || v.keepsThroughLoops || v.fadeLeft > 0) continue;
        if (v.delay > 0) v.active = false; // not heard yet
        else v.fadeLeft = Mixer::kFadeFrames;
    }
}

void WavePlayer::silence() noexcept
{
    for (Voice& v : voices_) v.active = false;
}

bool WavePlayer::sounding() const noexcept
{
    return std::any_of(voices_.begin(), voices_.end(), [](const Voice& v) { return v.active; });
}

std::int64_t WavePlayer::framesLeft() const noexcept
{
    std::int64_t most = 0;
    for (const Voice& v : voices_) {
        if (!v.active) continue;
        const double rate = v.whole + v.step / 4294967296.0;
        const auto bySound = static_cast<std::int64_t>(std::ceil(double(v.sound->frameCount - v.position) / rate));
        const std::int64_t left = v.fadeLeft > 0 ? v.fadeLeft : v.loopEnd > 0 ? v.left : std::min(v.left, bySound);
        most = std::max(most, v.delay + left);
    }
    return most;
}

void WavePlayer::startVoice(const WaveItem& item, std::int64_t delay) noexcept
{
    if (item.sound >= song_->sounds.size()) return;
    const DecodedSound* sound = song_->sounds[item.sound].get();
    if (sound == nullptr) return;
    auto free = std::find_if(voices_.begin(), voices_.end(), [](const Voice& v) { return !v.active; });
    if (free == voices_.end()) return;

    // Random spreads: the pitch anywhere within the range around the item's own, the volume
    // anywhere from the item's own down by the range, never louder than the author set it.
    double rate = 1.0;
    if (item.pitchRange > 0) {
        const double spread = std::min<double>(item.pitchRange, kMaxPitchSpread);
        rate = std::exp2((random() / 4294967296.0 - 0.5) * spread / 1200.0);
    }
    std::int32_t volume = item.volume;
    if (item.volumeRange > 0)
        volume -= static_cast<std::int32_t>((std::uint64_t{random()} * (item.volumeRange + 1u)) >> 32);

    Voice v;
    v.sound = sound;
    // The offset is in the wave's own time, which the pitch has stretched or squeezed.
    v.position = static_cast<std::int64_t>(item.offsetMs * double(sound->frameCount) / sound->lengthMs);
    if (v.position >= sound->frameCount) return;
    v.whole = static_cast<std::uint32_t>(rate);
    v.step = static_cast<std::uint32_t>((rate - v.whole) * 4294967296.0);
    v.delay = delay;
    v.left = static_cast<std::int64_t>(std::llround(item.durationMs * kRate / 1000.0));
    if (v.left <= 0) return;
    // An item's loop is in the wave's own samples; the voice goes round it until its duration
    // is up. No real file sets one, so a loop that does not fit the wave is taken as none.
    const double framesPerSample = double(sound->frameCount) * 1000.0 / (sound->lengthMs * sound->format.SamplesPerSec);
    if (item.loopEnd > item.loopStart && sound->format.SamplesPerSec > 0) {
        v.loopStart = std::llround(item.loopStart * framesPerSample);
        v.loopEnd = std::min<std::int64_t>(std::llround(item.loopEnd * framesPerSample), sound->frameCount);
        if (v.loopEnd - v.loopStart < 2 || v.position >= v.loopEnd) v.loopStart = v.loopEnd = 0;
    }
    v.fadesAtEnd = v.loopEnd > 0 || double(v.left) < double(sound->frameCount - v.position) / rate;
    v.gain = Mixer::gainOf(volume);
    v.keepsThroughLoops = (item.flags & (kWaveItemNoInvalidate | kWaveItemIgnoreLoops)) != 0;
    v.active = true;
    *free = v;
}

void WavePlayer::render(float* out, int frames, std::int64_t passFrame, double passStartMs, double endMs) noexcept
{
    if (song_ != nullptr && passFrame >= 0) {
        const std::vector<WavePart>& parts = song_->waveParts;
        for (std::size_t p = 0; p < parts.size(); ++p) {
            PartState& state = parts_[p];
            if (state.variation < 0) continue;
            const std::uint32_t bit = std::uint32_t{1} << state.variation;
            const std::vector<WaveItem>& items = parts[p].items;
            while (state.next < items.size()) {
                const WaveItem& item = items[state.next];
                if (item.timeMs >= endMs) break;
                const std::int64_t frame = frameAfter(passStartMs, item.timeMs);
                if (frame >= passFrame + frames) break;
                ++state.next;
                // One that should have started before these frames (while there was no
                // synthesizer to play with) is missed rather than started late.
                if ((item.variations & bit) && frame >= passFrame) startVoice(item, frame - passFrame);
            }
        }
    }
    for (Voice& v : voices_)
        if (v.active) mixVoice(v, out, frames);
}

void WavePlayer::mixVoice(Voice& v, float* out, int frames) noexcept
{
    const SampleBuffer& s = v.sound->frames;
    const std::int64_t count = v.sound->frameCount;
    const bool interpolated = v.step != 0 || v.whole != 1;
    auto at = [&](std::int64_t frame, int channel) {
        return frame >= 0 && frame < count ? s.onceSample(frame, channel) : 0.0f;
    };
    int i = static_cast<int>(std::min<std::int64_t>(v.delay, frames));
    v.delay -= i;
    for (; i < frames; ++i) {
        float g = v.gain;
        bool last = false;
        if (v.fadeLeft > 0) {
            g *= Mixer::fadeGain(--v.fadeLeft);
            last = v.fadeLeft == 0;
        } else if (v.fadesAtEnd && v.left <= Mixer::kFadeFrames) {
            g *= Mixer::fadeGain(static_cast<int>(v.left) - 1);
        }
        for (int c = 0; c < 2; ++c) {
            float y = 0.0f;
            if (!interpolated) {
                y = s.onceSample(v.position, c);
            } else {
                // Four-point cubic (Catmull-Rom) between the frames either side.
                const float x = static_cast<float>(v.fraction / 4294967296.0);
                const float ym = at(v.position - 1, c), y0 = at(v.position, c);
                const float y1 = at(v.position + 1, c), y2 = at(v.position + 2, c);
                const float c1 = 0.5f * (y1 - ym);
                const float c2 = ym - 2.5f * y0 + 2.0f * y1 - 0.5f * y2;
                const float c3 = 0.5f * (y2 - ym) + 1.5f * (y0 - y1);
                y = ((c3 * x + c2) * x + c1) * x + y0;
            }
            out[2 * i + c] += y * g;
        }
        const std::uint64_t fraction = std::uint64_t{v.fraction} + v.step;
        v.fraction = static_cast<std::uint32_t>(fraction);
        v.position += v.whole + static_cast<std::int64_t>(fraction >> 32);
        while (v.loopEnd > 0 && v.position >= v.loopEnd) v.position -= v.loopEnd - v.loopStart;
        --v.left;
        // Ended voices are let go at once: an active one always has a frame left to play.
        if (last || v.left <= 0 || v.position >= count) {
            v.active = false;
            return;
        }
    }
}
