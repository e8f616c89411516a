#include "Resampler.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <cstring>
#include <numeric>

namespace {

// 32 taps with a Kaiser window of beta 8: about 80 dB of stop band and pass-band ripple under
// 0.001 dB, flat to 17 kHz at 44.1 kHz, so a loop's wrap and its inside are clean to -80 dB.
constexpr int kBaseTaps = 32;
constexpr int kMaxTaps = 512;     // down-sampling widens the filter by the rate ratio, up to this
constexpr int kMaxPhases = 4096;  // beyond this, the nearest phase is 1/8192 of a frame off at most
constexpr int kMaxCoefficients = 1 << 17; // keeps designing the filter for odd rates to a millisecond or so
constexpr double kKaiserBeta = 8.0;
constexpr double kCutoff = 0.47;  // of the lower rate, in cycles per sample
constexpr int kLanes = 4;         // taps come in fours: two vector registers of interleaved frames

// Four floats in one vector register (SSE, NEON); the compiler does not vectorise the sums itself,
// as that would reorder the additions.
using Quad = float __attribute__((vector_size(16)));

Quad load(const float* p)
{
    Quad v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

double besselI0(double x)
{
    double sum = 1.0;
    double term = 1.0;
    for (int k = 1; k < 64; ++k) {
        const double half = x / (2.0 * k);
        term *= half * half;
        sum += term;
        if (term < sum * 1e-16) break;
    }
    return sum;
}

struct Filter {
    int taps = kBaseTaps;
    std::int64_t phases = 1;
    std::vector<float> rows; // phases x taps; row p is for an output frame p/phases past an input frame
};

Filter design(std::int64_t up, std::int64_t down)
{
    Filter f;
    // Down-sampling: cut off below the new Nyquist, with the filter as long in output frames as ever.
    const double scale = std::min(1.0, double(up) / double(down));
    const int wanted = static_cast<int>(std::ceil(kBaseTaps / scale));
    f.taps = std::min(kMaxTaps, (wanted + kLanes - 1) / kLanes * kLanes);
    f.phases = std::max<std::int64_t>(1, std::min<std::int64_t>({up, kMaxPhases, kMaxCoefficients / f.taps}));
    f.rows.resize(static_cast<std::size_t>(f.phases * f.taps));

    const double cutoff = kCutoff * scale;
    const double half = f.taps / 2.0;
    const double windowNorm = besselI0(kKaiserBeta);
    for (std::int64_t p = 0; p < f.phases; ++p) {
        float* row = f.rows.data() + p * f.taps;
        const double phase = double(p) / double(f.phases);
        double sum = 0.0;
        for (int j = 0; j < f.taps; ++j) {
            const double x = phase + half - 1.0 - j; // input frames from this tap to the output instant
            const double u = x / half;
            const double window = std::fabs(u) >= 1.0 ? 0.0 : besselI0(kKaiserBeta * std::sqrt(1.0 - u * u)) / windowNorm;
            const double y = 2.0 * cutoff * x;
            const double sinc = y == 0.0 ? 1.0 : std::sin(std::numbers::pi * y) / (std::numbers::pi * y);
            const double h = 2.0 * cutoff * sinc * window;
            row[j] = static_cast<float>(h);
            sum += h;
        }
        for (int j = 0; j < f.taps; ++j) row[j] = static_cast<float>(row[j] / sum);
    }
    return f;
}

} // namespace

Resampler::Resampler(std::int64_t inFrames, std::int64_t outFrames)
    : inFrames_(std::max<std::int64_t>(1, inFrames)), outFrames_(std::max<std::int64_t>(1, outFrames))
{
    const std::int64_t g = std::gcd(inFrames_, outFrames_);
    up_ = outFrames_ / g;
    down_ = inFrames_ / g;
    const Filter filter = design(up_, down_);
    taps_ = filter.taps;
    phases_ = filter.phases;
    rowScale_ = double(phases_) / double(up_);
    // Each coefficient twice, so that one pass over interleaved frames sums both channels: left
    // in the even lanes, right in the odd ones.
    rows_.resize(filter.rows.size() * 2);
    for (std::size_t i = 0; i < filter.rows.size(); ++i) rows_[2 * i] = rows_[2 * i + 1] = filter.rows[i];
}

Resampler::Place Resampler::placeAt(std::int64_t frame, std::int64_t past) const
{
    // The nearest row when there are fewer rows than places between two input frames.
    std::int64_t p = phases_ == up_ ? past : static_cast<std::int64_t>(double(past) * rowScale_ + 0.5);
    if (p == phases_) {
        ++frame;
        p = 0;
    }
    return {frame - taps_ / 2 + 1, rows_.data() + p * taps_ * 2};
}

Resampler::Place Resampler::placeOf(std::int64_t n) const
{
    const std::int64_t at = n * down_; // in 1/up_ input frames
    return placeAt(at / up_, at % up_);
}

float Resampler::input(std::int64_t frame, int channel) const
{
    const std::int64_t k = (frame % received_ + received_) % received_;
    const auto firstFrames = static_cast<std::int64_t>(first_.size() / 2);
    if (k < firstFrames) return first_[static_cast<std::size_t>(2 * k + channel)];
    return window_[static_cast<std::size_t>(2 * (k - windowStart_) + channel)];
}

std::span<const float> Resampler::push(std::span<const float> stereo)
{
    out_.clear();
    const auto frames = static_cast<std::int64_t>(stereo.size() / 2);
    const auto wantFirst = static_cast<std::size_t>(taps_) * 2;
    if (first_.size() < wantFirst)
        first_.insert(first_.end(), stereo.begin(), stereo.begin() + static_cast<std::ptrdiff_t>(std::min(stereo.size(), wantFirst - first_.size())));
    window_.insert(window_.end(), stereo.begin(), stereo.end());
    received_ += frames;

    // Stepping from one output frame to the next: no division per frame.
    const std::int64_t whole = down_ / up_;
    const std::int64_t part = down_ % up_;
    std::int64_t frame = next_ * down_ / up_;
    std::int64_t past = next_ * down_ % up_;
    for (; next_ < outFrames_; ++next_) {
        const Place place = placeAt(frame, past);
        if (place.start + taps_ > received_) break;
        frame += whole;
        past += part;
        if (past >= up_) {
            past -= up_;
            ++frame;
        }
        float left = 0.0f;
        float right = 0.0f;
        if (place.start >= 0) {
            const float* in = window_.data() + (place.start - windowStart_) * 2;
            const float* row = place.row;
            Quad a{}, b{};
            for (int j = 0; j < taps_ * 2; j += 8) {
                a += load(row + j) * load(in + j);
                b += load(row + j + 4) * load(in + j + 4);
            }
            const Quad sum = a + b;
            left = sum[0] + sum[2];
            right = sum[1] + sum[3];
        } else { // the first frames, against the silence before the sound
            for (int j = -static_cast<int>(place.start); j < taps_; ++j) {
                const float* in = window_.data() + (place.start + j - windowStart_) * 2;
                left += place.row[2 * j] * in[0];
                right += place.row[2 * j + 1] * in[1];
            }
        }
        out_.push_back(left);
        out_.push_back(right);
    }

    // Keep what later output frames need, and at least one filter's span for the end.
    const std::int64_t nextStart = next_ < outFrames_ ? placeOf(next_).start : received_;
    const std::int64_t keepFrom = std::max(windowStart_, std::min(nextStart, received_ - taps_));
    if (keepFrom > windowStart_) {
        window_.erase(window_.begin(), window_.begin() + static_cast<std::ptrdiff_t>((keepFrom - windowStart_) * 2));
        windowStart_ = keepFrom;
    }
    return out_;
}

void Resampler::computeFinal(std::int64_t n, float* out, float* headWrap, float* tailWrap) const
{
    const Place place = placeOf(n);
    double sums[3][2] = {};
    for (int j = 0; j < taps_; ++j) {
        const std::int64_t i = place.start + j;
        const float h = place.row[2 * j];
        const int part = i < 0 ? 1 : i >= received_ ? 2 : 0;
        for (int c = 0; c < 2; ++c) sums[part][c] += double(h) * input(i, c);
    }
    for (int c = 0; c < 2; ++c) {
        if (out != nullptr) out[c] = static_cast<float>(sums[0][c] + sums[2][c]);
        if (headWrap != nullptr) headWrap[c] = static_cast<float>(sums[1][c]);
        if (tailWrap != nullptr) tailWrap[c] = static_cast<float>(sums[2][c]);
    }
}

std::span<const float> Resampler::finish()
{
    out_.clear();
    if (received_ == 0) {
        outFrames_ = 0;
        return out_;
    }
    // Fewer frames than announced: as many output frames as lie within them.
    if (received_ < inFrames_) outFrames_ = std::min(outFrames_, (received_ * outFrames_ + inFrames_ - 1) / inFrames_);
    next_ = std::min(next_, outFrames_);

    std::int64_t head = 0;
    while (head < outFrames_ && placeOf(head).start < 0) ++head;
    headWrap_.assign(static_cast<std::size_t>(head) * 2, 0.0f);
    for (std::int64_t n = 0; n < std::min(head, next_); ++n) computeFinal(n, nullptr, &headWrap_[2 * n], nullptr);

    out_.resize(static_cast<std::size_t>(outFrames_ - next_) * 2);
    tailWrap_.resize(out_.size());
    for (std::int64_t n = next_; n < outFrames_; ++n) {
        const std::size_t k = static_cast<std::size_t>(n - next_) * 2;
        computeFinal(n, &out_[k], n < head ? &headWrap_[2 * n] : nullptr, &tailWrap_[k]);
    }
    next_ = outFrames_;
    return out_;
}
