#include "Resampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

std::vector<float> stereoSine(double hz, int rate, int frames, float amplitude)
{
    std::vector<float> s(static_cast<std::size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i)
        s[2 * i] = s[2 * i + 1] = amplitude * static_cast<float>(std::sin(2 * std::numbers::pi * hz * i / rate));
    return s;
}

double rmsOfLeft(const std::vector<float>& s, std::size_t from, std::size_t to)
{
    double sum = 0.0;
    for (std::size_t f = from; f < to; ++f) sum += double(s[2 * f]) * s[2 * f];
    return std::sqrt(sum / double(to - from));
}

TEST(Resampler, ConstantsPassUnchangedAndChannelsStayApart)
{
    for (auto [from, to] : {std::pair{44100, 48000}, {96000, 48000}, {8000, 48000}, {44101, 48000}}) {
        std::vector<float> in(static_cast<std::size_t>(from) * 2);
        for (std::size_t i = 0; i < in.size(); i += 2) {
            in[i] = 0.5f;
            in[i + 1] = -0.25f;
        }
        const std::vector<float> out = resampleStereo(in, from, to, to);
        ASSERT_EQ(out.size(), static_cast<std::size_t>(to) * 2);
        for (int f = 1000; f < to - 1000; ++f) {
            ASSERT_NEAR(out[2 * f], 0.5f, 1e-5) << from << " frame " << f;
            ASSERT_NEAR(out[2 * f + 1], -0.25f, 1e-5) << from << " frame " << f;
        }
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

TEST(Resampler, TinyInputsAndLongerOutputsAreSafe)
{
    const std::vector<float> one{0.5f, -0.5f};
    const auto out = resampleStereo(one, 8000, 48000, 128);
    ASSERT_EQ(out.size(), 256u);
    EXPECT_GT(out[0], 0.2f); // the frame itself, filtered against the silence around it
    EXPECT_LT(out[1], -0.2f);
    // The filter reaches 12 input frames, 72 output frames, past it; silence after that.
    for (std::size_t i = 2 * 72; i < out.size(); ++i) ASSERT_EQ(out[i], 0.0f) << i;
    EXPECT_EQ(resampleStereo({}, 44100, 48000, 10), std::vector<float>(20, 0.0f));
    EXPECT_TRUE(resampleStereo(one, 768000, 1000, 0).empty());
}

} // namespace
