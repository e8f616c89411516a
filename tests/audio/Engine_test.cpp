// The audio library rendered offline: what reaches the output, sample by sample.
#include "EveryOperation.h"
#include "VbDSnd2.h"
#include "WaveWriter.h"

#include <gtest/gtest.h>

#include <sndfile.h>

#include <cmath>
#include <functional>
#include <vector>

namespace {

constexpr int kRate = Mixer::kSampleRate;
constexpr int kBlock = 256;

constexpr int kFade = Mixer::kFadeFrames;

// A signal that is never zero, so every frame of it is visible in the output; in 16-bit steps,
// which a 16-bit file at the device rate keeps exactly.
std::vector<float> signal(int frames, int channels = 2)
{
    std::vector<float> samples(static_cast<std::size_t>(frames) * channels);
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            samples[static_cast<std::size_t>(i) * channels + c] =
                std::round((0.25f + 0.5f * static_cast<float>((i * 7 + c * 3) % 97) / 97.0f) * 32768.0f) / 32768.0f;
    return samples;
}

// Stereo, `periods` whole periods in `frames` frames; a bell has a few partials above it.
std::vector<float> periodic(int frames, int periods, float amplitude, bool partials)
{
    std::vector<float> samples(static_cast<std::size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        const double t = 2 * M_PI * periods * double(i) / frames;
        const double v = partials ? 0.6 * std::sin(t) + 0.3 * std::sin(3 * t) + 0.1 * std::sin(7 * t) : std::sin(t);
        samples[2 * i] = samples[2 * i + 1] = amplitude * static_cast<float>(v);
    }
    return samples;
}

std::vector<float> sine(int frames, int periods, float amplitude) { return periodic(frames, periods, amplitude, false); }
std::vector<float> bell(int frames, int periods, float amplitude) { return periodic(frames, periods, amplitude, true); }

// The largest change from one output sample to the next, in either channel, starting from the
// frame before (silence when none is given).
float largestStep(const std::vector<float>& s, const std::vector<float>& before = {})
{
    const float left = before.empty() ? 0.0f : before[before.size() - 2];
    const float right = before.empty() ? 0.0f : before[before.size() - 1];
    float step = std::max(std::fabs(s[0] - left), std::fabs(s[1] - right));
    for (std::size_t i = 2; i < s.size(); ++i) step = std::max(step, std::fabs(s[i] - s[i - 2]));
    return step;
}

struct Engine : ::testing::Test {
    VbDSnd2 audio{{}};

    AudioLibrary::Handle load(const std::vector<float>& samples, int channels = 2, int rate = kRate,
                              int subtype = SF_FORMAT_PCM_16)
    {
        const std::vector<std::uint8_t> image = writeWave(samples, channels, rate, subtype);
        return audio.dsCreateDSB(image, 1);
    }

    std::vector<float> render(int frames)
    {
        std::vector<float> out(static_cast<std::size_t>(frames) * 2);
        for (int done = 0; done < frames; done += kBlock)
            audio.render(out.data() + static_cast<std::size_t>(done) * 2, std::min(kBlock, frames - done));
        return out;
    }
};

double ratioDb(double a, double b)
{
    return 20.0 * std::log10(a / b);
}

TEST_F(Engine, ALoopingBufferWrapsWithoutAGapAndStopsWhenAsked)
{
    const int frames = 1000; // not a multiple of the block: the wrap falls inside one
    const std::vector<float> sound = signal(frames);
    AudioLibrary::Handle h = load(sound);
    ASSERT_NE(h, 0);

    audio.dsPlayLooping(h);
    const std::vector<float> out = render(frames * 3 + 123);
    for (std::size_t i = 0; i < out.size(); ++i) ASSERT_FLOAT_EQ(out[i], sound[i % sound.size()]) << "sample " << i;
    EXPECT_NE(audio.dsIsPlaying(h), 0);

    audio.dsStop(h);
    EXPECT_EQ(audio.dsIsPlaying(h), 0);
    // The cut fades out, then there is silence.
    const std::vector<float> after = render(kBlock);
    EXPECT_GT(after[0], 0.0f);
    for (std::size_t i = kFade * 2; i < after.size(); ++i) ASSERT_EQ(after[i], 0.0f) << i;
}

TEST_F(Engine, APressSoundsFromTheFirstFrameOfTheNextBlock)
{
    AudioLibrary::Handle h = load(signal(4800));
    render(kBlock * 3);
    audio.dsPlayLooping(h);
    const std::vector<float> out = render(kBlock);
    EXPECT_NE(out[0], 0.0f);
    EXPECT_NE(out[1], 0.0f);
}

TEST_F(Engine, VolumeFollowsTheDecibelRule)
{
    const std::vector<float> sound = signal(kRate);
    AudioLibrary::Handle h = load(sound);
    audio.dsPlayLooping(h);
    audio.dsSetVolume(h, -1000);
    render(kBlock); // the change is ramped over one block
    const std::vector<float> quiet = render(kBlock);
    const std::size_t offset = kBlock * 2; // the second block, in stereo samples
    for (std::size_t i = 0; i < quiet.size(); ++i)
        ASSERT_NEAR(ratioDb(quiet[i], sound[offset + i]), -10.0, 0.1) << "sample " << i;

    audio.dsSetVolume(h, -10000);
    render(kBlock);
    for (float s : render(kBlock)) ASSERT_EQ(s, 0.0f);

    audio.dsSetVolume(h, 0);
    render(kBlock);
    const std::vector<float> full = render(kBlock);
    const std::size_t fullOffset = kBlock * 5 * 2; // the sixth block
    for (std::size_t i = 0; i < full.size(); ++i) ASSERT_FLOAT_EQ(full[i], sound[fullOffset + i]);
}

TEST_F(Engine, PositionSkipsExactlyAndFollowsRenderedTime)
{
    const std::vector<float> sound = signal(kRate);
    AudioLibrary::Handle h = load(sound);
    audio.dsPlayLooping(h);
    audio.dsSetPositionMSec(h, 170);
    EXPECT_EQ(audio.dsGetPositionMSec(h), 170);
    const std::vector<float> out = render(kBlock);
    // Starting inside the sound fades in, with the sound in its place from the first frame.
    const std::size_t skipped = 170 * kRate / 1000 * 2;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const float fade = i < kFade * 2 ? Mixer::fadeGain(static_cast<int>(i / 2)) : 1.0f;
        ASSERT_FLOAT_EQ(out[i], sound[skipped + i] * fade) << i;
    }

    audio.dsSetPositionMSec(h, 0);
    for (int block = 1; block <= 40; ++block) {
        render(kBlock);
        const double rendered = block * kBlock * 1000.0 / kRate;
        ASSERT_NEAR(audio.dsGetPositionMSec(h), rendered, kBlock * 1000.0 / kRate);
    }
    // In a loop the position is within the current pass.
    render(kRate);
    EXPECT_NEAR(audio.dsGetPositionMSec(h), 40 * kBlock * 1000.0 / kRate, kBlock * 1000.0 / kRate);
}

TEST_F(Engine, PlayExPlaysOnceQuieterAndPlayRestarts)
{
    const int frames = 2000;
    const std::vector<float> sound = signal(frames);
    AudioLibrary::Handle h = load(sound);
    EXPECT_EQ(audio.dsGetBufferMSec(h), frames * 1000 / kRate);

    audio.dsPlayEx(h, -1000, 0, 0);
    const std::vector<float> out = render(frames + kBlock * 2);
    for (std::size_t i = 0; i < static_cast<std::size_t>(frames) * 2; ++i)
        ASSERT_NEAR(ratioDb(out[i], sound[i]), -10.0, 0.1) << "sample " << i;
    for (std::size_t i = static_cast<std::size_t>(frames) * 2; i < out.size(); ++i) ASSERT_EQ(out[i], 0.0f);
    EXPECT_EQ(audio.dsIsPlaying(h), 0);

    audio.dsSetVolume(h, 0);
    audio.dsPlay(h);
    render(500);
    audio.dsPlay(h); // restarts from the start, while the cut-off pass fades out
    const std::vector<float> again = render(kBlock);
    for (std::size_t i = 0; i < again.size(); ++i) {
        const float cut = i < kFade * 2 ? sound[500 * 2 + i] * Mixer::fadeGain(kFade - 1 - static_cast<int>(i / 2)) : 0.0f;
        ASSERT_NEAR(again[i], sound[i] + cut, 1e-6) << i;
    }
}

// Looping a sine of whole periods at another rate sounds like the endless sine, across the
// wrap as inside; played once, its end still falls to silence.
TEST_F(Engine, ALoopAtAnyRateWrapsLikeTheContinuousSound)
{
    for (const int rate : {22050, 44100}) {
        const int frames = rate / 2 + 7; // not a whole number of device frames
        const int periods = 457;          // about 900 Hz
        AudioLibrary::Handle h = load(sine(frames, periods, 0.5f), 2, rate, SF_FORMAT_FLOAT);
        ASSERT_NE(h, 0);
        const std::int64_t length = (std::int64_t{frames} * kRate + rate / 2) / rate;
        audio.dsPlayLooping(h);
        const std::vector<float> out = render(static_cast<int>(length * 3));
        const std::vector<float> ideal = sine(static_cast<int>(length), periods, 0.5f);
        double error = 0.0;
        double power = 0.0;
        for (std::int64_t f = length / 2; f < length * 5 / 2; ++f) { // both wraps and what lies between
            const double e = out[static_cast<std::size_t>(2 * f)] - ideal[static_cast<std::size_t>(2 * (f % length))];
            error = std::max(error, std::fabs(e));
            power = std::max(power, double(std::fabs(ideal[static_cast<std::size_t>(2 * (f % length))])));
        }
        EXPECT_LT(20 * std::log10(error / power), -80.0) << rate;

        audio.dsStop(h);
        render(kBlock);
        audio.dsPlay(h);
        const std::vector<float> once = render(static_cast<int>(length + kBlock));
        EXPECT_LT(std::fabs(once[static_cast<std::size_t>(2 * length - 2)]), 0.3f) << rate;
        for (std::size_t i = static_cast<std::size_t>(2 * length); i < once.size(); ++i) ASSERT_EQ(once[i], 0.0f);
        audio.dsFree(h);
    }
}

// Stopping or restarting anywhere in a sound steps no further from one sample to the next than
// the sound itself does; a jump crosses from one place to the other no faster than the fade.
TEST_F(Engine, CutsIntoSoundDoNotClick)
{
    const float peak = 0.9f;
    const std::vector<float> sound = bell(kRate, 2000, peak);
    AudioLibrary::Handle h = load(sound);
    const float own = largestStep(sound);
    float fastestFade = 0.0f;
    for (int k = 1; k < kFade; ++k) fastestFade = std::max(fastestFade, Mixer::fadeGain(k) - Mixer::fadeGain(k - 1));
    const float crossing = own + 2 * peak * fastestFade;
    for (const int at : {101, 1000, 2222, 3333}) {
        audio.dsPlayLooping(h);
        std::vector<float> out = render(at);
        audio.dsStop(h);
        std::vector<float> cut = render(kBlock);
        EXPECT_LE(largestStep(cut, out), own) << at;

        audio.dsPlayLooping(h);
        out = render(at);
        audio.dsSetPositionMSec(h, 170);
        cut = render(kBlock);
        EXPECT_LE(largestStep(cut, out), crossing) << at;
        // A restart: the new start is the sound's own; what was cut off fades out.
        audio.dsPlay(h);
        out = render(kBlock);
        for (std::size_t i = 0; i < out.size(); ++i) out[i] -= sound[i];
        EXPECT_LE(largestStep(out, cut), own) << at;
        audio.dsStop(h);
        render(kBlock);
    }
    // Freed while it sounds: it fades out like a stop.
    audio.dsPlayLooping(h);
    const std::vector<float> out = render(777);
    audio.dsFree(h);
    EXPECT_LE(largestStep(render(kBlock), out), own);
}

TEST_F(Engine, FormatIsTheFilesOwnNotTheDevices)
{
    AudioLibrary::Handle h = load(signal(44100), 2, 44100, SF_FORMAT_PCM_16);
    ASSERT_NE(h, 0);
    SoundFormat format;
    audio.dsGetFormat(h, format);
    EXPECT_EQ(format.SamplesPerSec, 44100);
    EXPECT_EQ(format.BitsPerSample, 16);
    EXPECT_EQ(format.Channels, 2);
    EXPECT_EQ(audio.dsGetBufferMSec(h), 1000);

    AudioLibrary::Handle mono = load(signal(22050, 1), 1, 22050, SF_FORMAT_PCM_U8);
    audio.dsGetFormat(mono, format);
    EXPECT_EQ(format.SamplesPerSec, 22050);
    EXPECT_EQ(format.BitsPerSample, 8);
    EXPECT_EQ(format.Channels, 1);
}

TEST_F(Engine, UndecodableDataGivesNoBuffer)
{
    const std::vector<std::uint8_t> garbage{'R', 'I', 'F', 'F', 1, 2, 3};
    EXPECT_EQ(audio.dsCreateDSB(garbage, 1), 0);
    EXPECT_EQ(audio.dsCreateDSB({}, 1), 0);
}

TEST_F(Engine, ZeroAndFreedHandlesAreHarmlessEverywhere)
{
    AudioLibrary::Handle buffer = load(signal(480));
    AudioLibrary::Handle freed = buffer;
    audio.dsPlayLooping(buffer);
    audio.dsFree(buffer);
    EXPECT_EQ(buffer, 0);
    AudioLibrary::Handle segment = 99;
    audio.dsFreeMusicSegment(segment);
    EXPECT_EQ(segment, 0);

    for (const AudioLibrary::Handle h : {AudioLibrary::Handle{0}, freed, AudioLibrary::Handle{12345}})
        expectEveryOperationHarmless(audio, h);
    // The freed voice is gone from the output.
    for (float s : render(kBlock)) ASSERT_EQ(s, 0.0f);
}

} // namespace
