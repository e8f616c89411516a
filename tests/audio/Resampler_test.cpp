#include "Resampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <span>
#include <vector>

namespace {

std::vector<float> stereoSine(double hz, int rate, int frames, float amplitude)
{
    std::vector<float> s(static_cast<std::size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i)
        s[2 * i] = s[2 * i + 1] = amplitude * static_cast<float>(std::sin(2 * std::numbers::pi * hz * i / rate));
    return s;
}

struct Resampled {
    std::vector<float> frames; // the first pass of a loop
    std::vector<float> headWrap;
    std::vector<float> tailWrap;

    // As played once: silence after the end.
    std::vector<float> once() const
    {
        std::vector<float> s = frames;
        const std::size_t from = s.size() - tailWrap.size();
        for (std::size_t i = 0; i < tailWrap.size(); ++i) s[from + i] -= tailWrap[i];
        return s;
    }
    // As a later pass of a loop: the end before the start.
    std::vector<float> looped() const
    {
        std::vector<float> s = frames;
        for (std::size_t i = 0; i < headWrap.size(); ++i) s[i] += headWrap[i];
        return s;
    }
};

// Fed in uneven pieces, as the decoder's reads come.
Resampled resample(const std::vector<float>& in, std::int64_t outFrames)
{
    Resampler r(static_cast<std::int64_t>(in.size() / 2), outFrames);
    Resampled out;
    for (std::size_t at = 0; at < in.size();) {
        const std::size_t n = std::min(in.size() - at, std::size_t{2 * 997});
        const auto part = r.push(std::span(in).subspan(at, n));
        out.frames.insert(out.frames.end(), part.begin(), part.end());
        at += n;
    }
    const auto rest = r.finish();
    out.frames.insert(out.frames.end(), rest.begin(), rest.end());
    out.headWrap = r.headWrap();
    out.tailWrap = r.tailWrap();
    return out;
}

std::vector<float> resampleStereo(const std::vector<float>& in, int, int, std::int64_t outFrames)
{
    return resample(in, outFrames).once();
}

double rmsOfLeft(const std::vector<float>& s, std::size_t from, std::size_t to)
{
    double sum = 0.0;
    for (std::size_t f = from; f < to; ++f) sum += double(s[2 * f]) * s[2 * f];
    return std::sqrt(sum / double(to - from));
}

// A constant loops as that constant, up to both ends; played once it fades into the silence
// around it.
TEST(Resampler, ConstantsPassUnchangedAndChannelsStayApart)
{
    for (auto [from, to] : {std::pair{44100, 48000}, {96000, 48000}, {8000, 48000}, {44101, 48000}, {333, 1000}}) {
        std::vector<float> in(static_cast<std::size_t>(from) * 2);
        for (std::size_t i = 0; i < in.size(); i += 2) {
            in[i] = 0.5f;
            in[i + 1] = -0.25f;
        }
        const Resampled out = resample(in, to);
        ASSERT_EQ(out.frames.size(), static_cast<std::size_t>(to) * 2);
        const std::vector<float> looped = out.looped();
        for (int f = 0; f < to; ++f) {
            ASSERT_NEAR(looped[2 * f], 0.5f, 1e-5) << from << " frame " << f;
            ASSERT_NEAR(looped[2 * f + 1], -0.25f, 1e-5) << from << " frame " << f;
            if (f >= to / 2) {
                ASSERT_NEAR(out.frames[2 * f], 0.5f, 1e-5) << from << " frame " << f;
            }
        }
        const std::vector<float> once = out.once();
        EXPECT_GT(std::fabs(once[0] - 0.5f), 0.005f) << from;
        EXPECT_GT(std::fabs(once.back() + 0.25f), 0.0025f) << from;
    }
}

TEST(Resampler, KeepsTheAudibleBandAndRejectsWhatWouldFoldBack)
{
    // Down to 48 kHz, a 30 kHz tone would fold back to 18 kHz; a 10 kHz tone must come through.
    const int from = 96000, to = 48000;
    const auto pass = resampleStereo(stereoSine(10000, from, from, 0.5f), from, to, to);
    const auto stop = resampleStereo(stereoSine(30000, from, from, 0.5f), from, to, to);
    const double reference = 0.5 / std::sqrt(2.0);
    EXPECT_NEAR(20 * std::log10(rmsOfLeft(pass, 1000, to - 1000) / reference), 0.0, 0.1);
    EXPECT_LT(20 * std::log10(rmsOfLeft(stop, 1000, to - 1000) / reference), -50.0);

    // Up from 44.1 kHz, a 15 kHz tone keeps its level.
    const auto up = resampleStereo(stereoSine(15000, 44100, 44100, 0.5f), 44100, 48000, 48000);
    EXPECT_NEAR(20 * std::log10(rmsOfLeft(up, 1000, 47000) / reference), 0.0, 0.5);
}

TEST(Resampler, TinyAndShortInputsAreSafe)
{
    const std::vector<float> one{0.5f, -0.5f};
    const Resampled out = resample(one, 6);
    ASSERT_EQ(out.frames.size(), 12u);
    const std::vector<float> once = out.once();
    EXPECT_GT(once[0], 0.2f); // the frame itself, filtered against the silence around it
    EXPECT_LT(once[1], -0.2f);
    for (const float s : out.looped()) EXPECT_NEAR(std::fabs(s), 0.5f, 1e-5); // looped: a constant

    Resampler empty(10, 20);
    EXPECT_TRUE(empty.finish().empty());
    EXPECT_EQ(empty.outFrames(), 0);
    // Fewer frames than announced: as many output frames as lie within them.
    Resampler shorter(100, 600);
    const std::vector<float> ten(20, 0.25f);
    std::size_t frames = shorter.push(ten).size();
    frames += shorter.finish().size();
    EXPECT_EQ(frames, 120u);
    EXPECT_EQ(shorter.outFrames(), 60);
}

} // namespace
