#include "Resampler.h"

#include "SampleBuffer.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <cstring>
#include <numeric>

namespace {

// 24 taps with a Kaiser window of beta 6: about 60 dB of stop band, flat to 17 kHz at 44.1 kHz.
// More would cost decode time for no audible gain in a bell.
constexpr int kBaseTaps = 24;
constexpr int kMaxTaps = 512;     // down-sampling widens the filter by the rate ratio, up to this
constexpr int kMaxPhases = 4096;  // beyond this, the nearest phase is 1/4096 of a frame off at most
constexpr int kMaxCoefficients = 1 << 17; // keeps designing the filter for odd rates to a millisecond or so
constexpr double kKaiserBeta = 6.0;
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

std::vector<float> resampleStereo(std::span<const float> stereo, int fromRate, int toRate, std::int64_t outFrames)
{
    const std::int64_t g = std::gcd(fromRate, toRate);
    const std::int64_t up = toRate / g;     // output frames ...
    const std::int64_t down = fromRate / g; // ... per this many input frames
    const Filter filter = design(up, down);
    const int taps = filter.taps;

    // Each coefficient twice, so that one pass over interleaved frames sums both channels: left
    // in the even lanes, right in the odd ones. No copy of the input is needed.
    std::vector<float> rows(filter.rows.size() * 2);
    for (std::size_t i = 0; i < filter.rows.size(); ++i) rows[2 * i] = rows[2 * i + 1] = filter.rows[i];

    const auto inFrames = static_cast<std::int64_t>(stereo.size() / 2);
    std::vector<float> out;
    reserveSamples(out, static_cast<std::size_t>(outFrames) * 2);
    out.resize(static_cast<std::size_t>(outFrames) * 2);
    const std::int64_t whole = down / up; // input frames per output frame, and 1/up parts over
    const std::int64_t part = down % up;
    const double rowScale = double(filter.phases) / double(up);
    std::int64_t frame = 0; // the input frame at or before output frame n, and how far past it in 1/up
    std::int64_t past = 0;
    for (std::int64_t n = 0; n < outFrames; ++n) {
        const std::int64_t p = filter.phases == up ? past : static_cast<std::int64_t>(double(past) * rowScale);
        const float* row = rows.data() + std::min(p, filter.phases - 1) * taps * 2;
        const std::int64_t start = frame - taps / 2 + 1;
        float left = 0.0f;
        float right = 0.0f;
        if (start >= 0 && start + taps <= inFrames) {
            const float* in = stereo.data() + start * 2;
            Quad a{}, b{};
            for (int j = 0; j < taps * 2; j += 8) {
                a += load(row + j) * load(in + j);
                b += load(row + j + 4) * load(in + j + 4);
            }
            const Quad sum = a + b;
            left = sum[0] + sum[2];
            right = sum[1] + sum[3];
        } else { // near either end, where the filter reaches into the silence around the input
            for (int j = 0; j < taps; ++j) {
                const std::int64_t i = start + j;
                if (i < 0 || i >= inFrames) continue;
                left += row[2 * j] * stereo[static_cast<std::size_t>(2 * i)];
                right += row[2 * j] * stereo[static_cast<std::size_t>(2 * i + 1)];
            }
        }
        out[static_cast<std::size_t>(2 * n)] = left;
        out[static_cast<std::size_t>(2 * n + 1)] = right;
        frame += whole;
        past += part;
        if (past >= up) {
            past -= up;
            ++frame;
        }
    }
    return out;
}
