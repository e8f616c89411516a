#include "WaveDecoder.h"
#include "WaveWriter.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <array>
#include <cmath>
#include <random>

namespace {

struct Encoding {
    const char* name;
    int subtype;
    int bits;          // what the fmt chunk says
    float tolerance;   // largest error against the source signal
    int blockFrames;   // padding of the last block that no fact chunk takes off
    int settleFrames;  // IMA ADPCM's step size starts small and needs a few samples to grow
};

const Encoding kEncodings[] = {
    {"PCM_U8", SF_FORMAT_PCM_U8, 8, 1.0f / 100, 1, 0},
    {"PCM_16", SF_FORMAT_PCM_16, 16, 1.0f / 20000, 1, 0},
    // Kept at 16 bits below each block's peak: half a step of that near full scale.
    {"PCM_24", SF_FORMAT_PCM_24, 24, 2e-5f, 1, 0},
    {"PCM_32", SF_FORMAT_PCM_32, 32, 2e-5f, 1, 0},
    {"FLOAT", SF_FORMAT_FLOAT, 32, 2e-5f, 1, 0},
    {"DOUBLE", SF_FORMAT_DOUBLE, 64, 2e-5f, 1, 0},
    {"ULAW", SF_FORMAT_ULAW, 8, 0.02f, 1, 0},
    {"ALAW", SF_FORMAT_ALAW, 8, 0.02f, 1, 0},
    {"IMA_ADPCM", SF_FORMAT_IMA_ADPCM, 4, 0.01f, 2041, 16},
    {"MS_ADPCM", SF_FORMAT_MS_ADPCM, 4, 0.005f, 1, 0},
};

// Interleaved sample i of the sound as it plays once.
float at(const DecodedSound& sound, std::int64_t i)
{
    return sound.frames.onceSample(i / 2, static_cast<int>(i % 2));
}

DecodedSound decodeOrFail(const std::vector<std::uint8_t>& image, int rate = 48000)
{
    auto sound = decodeWave(image, rate);
    if (!sound) ADD_FAILURE() << "not decoded";
    return sound ? std::move(*sound) : DecodedSound{};
}

class EveryEncoding : public testing::TestWithParam<std::tuple<Encoding, int>> {};

TEST_P(EveryEncoding, RoundTripsAtTheDeviceRateAndKeepsTheFileFormatWhenResampled)
{
    const auto [encoding, channels] = GetParam();
    const std::int64_t frames = 3000;
    const auto source = sineSignal(440.0, 48000, frames, channels);

    const DecodedSound same = decodeOrFail(writeWave(source, channels, 48000, encoding.subtype));
    EXPECT_EQ(same.format.Channels, channels);
    EXPECT_EQ(same.format.BitsPerSample, encoding.bits);
    EXPECT_EQ(same.format.SamplesPerSec, 48000);
    ASSERT_GE(same.frameCount, frames);
    EXPECT_LT(same.frameCount, frames + encoding.blockFrames);
    EXPECT_EQ(same.frames.frames(), same.frameCount);
    float worst = 0.0f;
    for (std::int64_t f = encoding.settleFrames; f < frames; ++f)
        for (int c = 0; c < 2; ++c)
            worst = std::max(worst, std::fabs(at(same, f * 2 + c) - source[f * channels + c % channels]));
    EXPECT_LE(worst, encoding.tolerance);

    const DecodedSound resampled =
        decodeOrFail(writeWave(sineSignal(440.0, 44100, frames, channels), channels, 44100, encoding.subtype));
    EXPECT_EQ(resampled.format.Channels, channels);
    EXPECT_EQ(resampled.format.BitsPerSample, encoding.bits);
    EXPECT_EQ(resampled.format.SamplesPerSec, 44100);
    const double fileFrames = resampled.lengthMs * 44.1;
    EXPECT_NEAR(fileFrames, static_cast<double>(frames), encoding.blockFrames);
    EXPECT_NEAR(static_cast<double>(resampled.frameCount), fileFrames * 48000 / 44100, 1.0);
}

INSTANTIATE_TEST_SUITE_P(WaveDecoder, EveryEncoding,
                         testing::Combine(testing::ValuesIn(kEncodings), testing::Values(1, 2)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) == 1 ? "_mono" : "_stereo");
                         });

TEST(WaveDecoder, GsmKeepsItsLengthThroughTheFactChunk)
{
    const DecodedSound sound = decodeOrFail(writeWave(sineSignal(440.0, 8000, 1000, 1), 1, 8000, SF_FORMAT_GSM610));
    EXPECT_EQ(sound.format.Channels, 1);
    EXPECT_EQ(sound.format.SamplesPerSec, 8000);
    EXPECT_DOUBLE_EQ(sound.lengthMs, 125.0); // not the 1120 frames of its seven blocks
    EXPECT_EQ(sound.frameCount, 6000);
    float peak = 0.0f;
    for (std::int64_t i = 0; i < sound.frameCount * 2; ++i) peak = std::max(peak, std::fabs(at(sound, i)));
    EXPECT_GT(peak, 0.25f);
}

TEST(WaveDecoder, Pcm16AtTheDeviceRateIsSampleExact)
{
    const std::array<std::int16_t, 6> samples{0, 1, -1, 32767, -32768, 12345};
    RawWave wave;
    wave.channels = 2;
    for (const std::int16_t s : samples) {
        wave.data.push_back(static_cast<std::uint8_t>(s & 0xff));
        wave.data.push_back(static_cast<std::uint8_t>((s >> 8) & 0xff));
    }
    const DecodedSound sound = decodeOrFail(rawWave(wave));
    ASSERT_EQ(sound.frameCount, 3);
    for (std::size_t i = 0; i < samples.size(); ++i) EXPECT_EQ(at(sound, i), samples[i] / 32768.0f) << i;
    EXPECT_DOUBLE_EQ(sound.lengthMs, 3 / 48.0);
}

// The converted sound starts at the file's first sample, keeps its pitch and length and does not
// drift, so a looped sound stays clean. Compared with the same sine computed at 48 kHz.
class Resampling : public testing::TestWithParam<int> {};

TEST_P(Resampling, KeepsPhaseFrequencyAndLength)
{
    const int rate = GetParam();
    const std::int64_t frames = rate * 3;
    const double hz = 1000.0;
    const DecodedSound sound =
        decodeOrFail(writeWave(sineSignal(hz, rate, frames, 1), 1, rate, SF_FORMAT_FLOAT));
    EXPECT_NEAR(static_cast<double>(sound.frameCount), 3 * 48000.0, 1.0);
    EXPECT_DOUBLE_EQ(sound.lengthMs, 3000.0);

    int crossings = 0;
    float worst = 0.0f;
    for (std::int64_t f = 1; f < sound.frameCount; ++f) {
        crossings += (at(sound, (f - 1) * 2) < 0.0f) != (at(sound, f * 2) < 0.0f);
        if (f > 100 && f < sound.frameCount - 100) // both ends are filtered against silence
            worst = std::max(worst, std::fabs(at(sound, f * 2) - 0.5f * static_cast<float>(std::sin(2 * M_PI * hz * f / 48000))));
        EXPECT_EQ(at(sound, f * 2), at(sound, f * 2 + 1));
    }
    EXPECT_NEAR(crossings, 2 * hz * 3, 2);
    EXPECT_LT(worst, 0.01f);
    EXPECT_LT(std::fabs(at(sound, 0)), 0.01f);
    EXPECT_NEAR(at(sound, 2 * 12), 0.5f * std::sin(2 * M_PI * hz * 12 / 48000), 0.01f);
}

INSTANTIATE_TEST_SUITE_P(WaveDecoder, Resampling, testing::Values(8000, 11025, 22050, 44100, 96000, 37800));

// 5.1 in the WAVE order: FL FR FC LFE BL BR.
const std::array<int, 6> kSurround{SF_CHANNEL_MAP_FRONT_LEFT, SF_CHANNEL_MAP_FRONT_RIGHT, SF_CHANNEL_MAP_FRONT_CENTER,
                                   SF_CHANNEL_MAP_LFE, SF_CHANNEL_MAP_REAR_LEFT, SF_CHANNEL_MAP_REAR_RIGHT};

std::array<float, 2> surroundOnly(const std::array<float, 6>& levels)
{
    std::vector<float> source;
    for (int f = 0; f < 100; ++f) source.insert(source.end(), levels.begin(), levels.end());
    const DecodedSound sound =
        decodeOrFail(writeWave(source, 6, 48000, SF_FORMAT_FLOAT, SF_FORMAT_WAVEX, kSurround));
    EXPECT_EQ(sound.format.Channels, 6);
    if (sound.frameCount != 100) return {NAN, NAN};
    return {at(sound, 100), at(sound, 101)};
}

TEST(WaveDecoder, DownmixesSurroundByPositionWithoutClipping)
{
    const auto left = surroundOnly({0.5f, 0, 0, 0, 0, 0});
    EXPECT_FLOAT_EQ(left[0], 0.5f);
    EXPECT_FLOAT_EQ(left[1], 0.0f);
    const auto rearRight = surroundOnly({0, 0, 0, 0, 0, 0.5f});
    EXPECT_FLOAT_EQ(rearRight[0], 0.0f);
    EXPECT_NEAR(rearRight[1], 0.5f * 0.7071f, 1e-4);
    const auto centre = surroundOnly({0, 0, 0.5f, 0, 0, 0});
    EXPECT_NEAR(centre[0], 0.5f * 0.7071f, 1e-4);
    EXPECT_FLOAT_EQ(centre[0], centre[1]);
    const auto lfe = surroundOnly({0, 0, 0, 0.5f, 0, 0});
    EXPECT_FLOAT_EQ(lfe[0], 0.0f);
    EXPECT_FLOAT_EQ(lfe[1], 0.0f);
    // Everything at once would sum to 2.4 times the source's peak.
    const auto all = surroundOnly({0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f});
    EXPECT_NEAR(all[0], 0.9f, 1e-4);
    EXPECT_NEAR(all[1], 0.9f, 1e-4);
}

TEST(WaveDecoder, WithoutAChannelMapTakesTheFirstTwoChannels)
{
    RawWave wave;
    wave.channels = 4;
    wave.data = {0x00, 0x10, 0x00, 0xf0, 0xff, 0x7f, 0xff, 0x7f}; // 4096, -4096, then two loud channels
    const DecodedSound sound = decodeOrFail(rawWave(wave));
    ASSERT_EQ(sound.frameCount, 1);
    EXPECT_EQ(at(sound, 0), 0.125f);
    EXPECT_EQ(at(sound, 1), -0.125f);
    EXPECT_EQ(sound.format.Channels, 4);
}

TEST(WaveDecoder, TakesBitsPerSampleFromTheFmtChunk)
{
    RawWave wave;
    wave.data.assign(8, 0);
    // An odd-sized chunk first: the walk has to honour the pad byte.
    wave.chunksBeforeFmt = {'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0};
    EXPECT_EQ(decodeOrFail(rawWave(wave)).format.BitsPerSample, 16);
    // WAVE_FORMAT_EXTENSIBLE: still wBitsPerSample, not the container or the subtype.
    const auto extensible = writeWave(rampSignal(10, 2), 2, 22050, SF_FORMAT_PCM_24, SF_FORMAT_WAVEX);
    EXPECT_EQ(decodeOrFail(extensible).format.BitsPerSample, 24);
}

TEST(WaveDecoder, RefusesWhatIsNotAWaveItCanDecode)
{
    EXPECT_FALSE(decodeWave({}));
    const auto ramp = rampSignal(500, 1);
    for (const int major : {SF_FORMAT_AIFF, SF_FORMAT_AU, SF_FORMAT_FLAC, SF_FORMAT_W64}) {
        const int subtype = major == SF_FORMAT_FLAC ? SF_FORMAT_PCM_16 : SF_FORMAT_FLOAT;
        EXPECT_FALSE(decodeWave(writeWave(ramp, 1, 48000, subtype, major))) << std::hex << major;
    }
    RawWave wave;
    wave.data.assign(100, 0x40);
    EXPECT_TRUE(decodeWave(rawWave(wave)));
    using Breakage = void (*)(RawWave&);
    for (const Breakage broken : {+[](RawWave& w) { w.channels = 0; }, +[](RawWave& w) { w.rate = 0; },
                              +[](RawWave& w) { w.rate = 10; }, +[](RawWave& w) { w.data.clear(); },
                              +[](RawWave& w) { w.bits = 0; }, +[](RawWave& w) { w.formatTag = 0x1234; }}) {
        RawWave copy = wave;
        broken(copy);
        EXPECT_FALSE(decodeWave(rawWave(copy)));
    }
    EXPECT_FALSE(decodeWave(rawWave(wave), 0));
    EXPECT_FALSE(decodeWave(rawWave(wave), -48000));
}

TEST(WaveDecoder, SurvivesGarbageAndHugeDeclaredSizes)
{
    std::mt19937 random(7);
    for (int size = 1; size < 600; size += 7) {
        std::vector<std::uint8_t> junk(size);
        for (auto& b : junk) b = static_cast<std::uint8_t>(random());
        EXPECT_FALSE(decodeWave(junk));
        if (size > 12) {
            std::copy_n("RIFF\xff\xff\xff\xffWAVE", 12, junk.begin());
            (void)decodeWave(junk); // anything but a crash
        }
    }
    RawWave wave;
    wave.data.assign(64, 0x20);
    wave.declaredDataSize = 0xfffffff0u;
    wave.declaredRiffSize = 0xfffffff8u;
    const auto sound = decodeWave(rawWave(wave));
    ASSERT_TRUE(sound); // what is there is decoded, nothing more
    EXPECT_EQ(sound->frameCount, 32);
}

TEST(WaveDecoder, ReplacesNonFiniteSamples)
{
    const DecodedSound sound =
        decodeOrFail(writeWave({NAN, INFINITY, -INFINITY, 1e30f, 0.25f}, 1, 48000, SF_FORMAT_FLOAT));
    ASSERT_EQ(sound.frameCount, 5);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(at(sound, i), 0.0f) << i;
    EXPECT_LE(at(sound, 6), 4.0f);
    EXPECT_EQ(at(sound, 8), 0.25f);
}

TEST(WaveDecoder, EveryTruncationIsRefusedOrDecodesWhatIsLeft)
{
    for (const int subtype : {SF_FORMAT_PCM_16, SF_FORMAT_FLOAT, SF_FORMAT_IMA_ADPCM, SF_FORMAT_MS_ADPCM}) {
        const auto image = writeWave(sineSignal(300.0, 22050, 300, 2), 2, 22050, subtype);
        const DecodedSound whole = decodeOrFail(image);
        for (std::size_t cut = 0; cut < image.size(); ++cut) {
            const auto part = decodeWave(std::span(image).first(cut));
            if (cut < 44) {
                EXPECT_FALSE(part) << cut;
            }
            if (!part) continue;
            EXPECT_LE(part->frameCount, whole.frameCount) << cut;
            EXPECT_EQ(part->frames.frames(), part->frameCount);
            EXPECT_EQ(part->format.BitsPerSample, whole.format.BitsPerSample);
        }
    }
}

TEST(WaveDecoder, RefusesSoundsLongerThanHalfAnHour)
{
    RawWave wave;
    wave.rate = 1000;
    wave.bits = 8;
    wave.data.assign(static_cast<std::size_t>(kMaxSoundSeconds) * 1000, 0x80);
    const auto longest = decodeWave(rawWave(wave), 1000);
    ASSERT_TRUE(longest);
    EXPECT_DOUBLE_EQ(longest->lengthMs, kMaxSoundSeconds * 1000.0);
    wave.data.push_back(0x80);
    EXPECT_FALSE(decodeWave(rawWave(wave), 1000));
}

} // namespace
