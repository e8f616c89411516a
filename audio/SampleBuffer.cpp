#include "SampleBuffer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include <sys/mman.h>

namespace {

// Asks the kernel to back the samples with 2 MB pages where it allows: on some machines a 4 KB
// page fault costs microseconds, and a minute of sound is thousands of pages.
void preferHugePages(const void* data, std::size_t bytes)
{
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t last = (begin + bytes) & ~(kHugePage - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#endif
}

} // namespace

SampleBuffer::SampleBuffer(std::int64_t frames)
    : capacity_(std::max<std::int64_t>(0, frames))
{
    const auto blocks = static_cast<std::size_t>((capacity_ + kBlockFrames - 1) / kBlockFrames);
    samples_ = std::make_unique_for_overwrite<std::int16_t[]>(blocks * kBlockFrames * 2);
    scales_ = std::make_unique_for_overwrite<float[]>(blocks);
    preferHugePages(samples_.get(), blocks * kBlockFrames * 2 * sizeof(std::int16_t));
    pending_.reserve(kBlockFrames * 2);
}

void SampleBuffer::append(std::span<const float> stereo)
{
    std::size_t at = 0;
    if (!pending_.empty()) {
        const std::size_t take = std::min(stereo.size(), std::size_t{kBlockFrames * 2} - pending_.size());
        pending_.insert(pending_.end(), stereo.begin(), stereo.begin() + static_cast<std::ptrdiff_t>(take));
        at = take;
        if (pending_.size() < std::size_t{kBlockFrames * 2}) return;
        storeBlock(pending_.data(), kBlockFrames);
        pending_.clear();
    }
    for (; at + kBlockFrames * 2 <= stereo.size(); at += kBlockFrames * 2) storeBlock(stereo.data() + at, kBlockFrames);
    pending_.insert(pending_.end(), stereo.begin() + static_cast<std::ptrdiff_t>(at), stereo.end());
}

void SampleBuffer::close()
{
    if (!pending_.empty()) storeBlock(pending_.data(), static_cast<int>(pending_.size() / 2));
    pending_.clear();
    pending_.shrink_to_fit();
}

void SampleBuffer::storeBlock(const float* stereo, int frames)
{
    if (frames_ + frames > capacity_) throw std::length_error("more frames than announced");
    // Four at a time in one vector register (SSE, NEON): the compiler keeps a float maximum in
    // order otherwise.
    using Quad = float __attribute__((vector_size(16)));
    const int samples = frames * 2;
    Quad highs{}, lows{};
    int i = 0;
    for (; i + 4 <= samples; i += 4) {
        Quad v;
        std::memcpy(&v, stereo + i, sizeof v);
        highs = highs > v ? highs : v;
        lows = lows < v ? lows : v;
    }
    float high = std::max({highs[0], highs[1], highs[2], highs[3]});
    float low = std::min({lows[0], lows[1], lows[2], lows[3]});
    for (; i < samples; ++i) {
        high = std::max(high, stereo[i]);
        low = std::min(low, stereo[i]);
    }
    // The finest power of two that holds the block: the 16-bit range is -32768 ... 32767.
    int exponent = 0;
    std::frexp(std::max(high, -low), &exponent);
    int k = std::max(exponent - 16, -100);
    while (std::lrint(std::ldexp(double(high), -k)) > 32767 || std::lrint(std::ldexp(double(low), -k)) < -32768) ++k;
    const auto inverse = static_cast<float>(std::ldexp(1.0, -k));
    std::int16_t* out = samples_.get() + 2 * frames_;
    // Adding and taking away 1.5 * 2^23 rounds to the nearest integer, and vectorises.
    constexpr float kRound = 12582912.0f;
    // Within -32768 ... 32767 after rounding, by the choice of the scale above.
    for (int j = 0; j < samples; ++j)
        out[j] = static_cast<std::int16_t>(static_cast<int>((stereo[j] * inverse + kRound) - kRound));
    scales_[static_cast<std::size_t>(frames_ / kBlockFrames)] = static_cast<float>(std::ldexp(1.0, k));
    frames_ += frames;
}

void SampleBuffer::scale(float gain)
{
    const auto blocks = static_cast<std::size_t>((frames_ + kBlockFrames - 1) / kBlockFrames);
    for (std::size_t b = 0; b < blocks; ++b) scales_[b] *= gain;
    for (float& s : headWrap_) s *= gain;
    for (float& s : tailWrap_) s *= gain;
}

void SampleBuffer::setWraps(std::vector<float> headWrap, std::vector<float> tailWrap)
{
    headWrap_ = std::move(headWrap);
    tailWrap_ = std::move(tailWrap);
}

float SampleBuffer::onceSample(std::int64_t frame, int channel) const
{
    float s = sample(frame, channel);
    const std::int64_t fromEnd = frames_ - tailWrapFrames();
    if (frame >= fromEnd) s -= tailWrap_[static_cast<std::size_t>(2 * (frame - fromEnd) + channel)];
    return s;
}
