#include "WaveDecoder.h"

#include "Resampler.h"
#include "SampleBuffer.h"

#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <numeric>

namespace {

constexpr std::size_t kMaxDecodedBytes = std::size_t{1} << 30;
constexpr std::int64_t kMaxOutputFrames = kMaxDecodedBytes / (2 * sizeof(std::int16_t));
// Keeps later mixing arithmetic finite whatever a float file holds.
constexpr float kMaxAmplitude = 4.0f;
constexpr float kMinus3dB = 0.70710678f;
constexpr float kMinus6dB = 0.5f;

// ---- libsndfile reading from memory ------------------------------------------------------

struct MemoryFile {
    std::span<const std::uint8_t> bytes;
    sf_count_t position = 0;
};

sf_count_t memoryLength(void* user)
{
    return static_cast<sf_count_t>(static_cast<MemoryFile*>(user)->bytes.size());
}

sf_count_t memorySeek(sf_count_t offset, int whence, void* user)
{
    auto& file = *static_cast<MemoryFile*>(user);
    sf_count_t base = 0;
    switch (whence) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = file.position; break;
    case SEEK_END: base = static_cast<sf_count_t>(file.bytes.size()); break;
    default: return -1;
    }
    // Header fields can put any value here; refuse what would overflow or go before the start.
    if (offset > std::numeric_limits<sf_count_t>::max() - base || base + offset < 0) return -1;
    file.position = base + offset;
    return file.position;
}

sf_count_t memoryRead(void* destination, sf_count_t count, void* user)
{
    auto& file = *static_cast<MemoryFile*>(user);
    const auto size = static_cast<sf_count_t>(file.bytes.size());
    if (count <= 0 || file.position >= size) return 0;
    const sf_count_t n = std::min(count, size - file.position);
    std::memcpy(destination, file.bytes.data() + file.position, static_cast<std::size_t>(n));
    file.position += n;
    return n;
}

sf_count_t memoryWrite(const void*, sf_count_t, void*) { return 0; }

sf_count_t memoryTell(void* user) { return static_cast<MemoryFile*>(user)->position; }

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;

bool isWaveFamily(int format)
{
    const int major = format & SF_FORMAT_TYPEMASK;
    return major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX || major == SF_FORMAT_RF64;
}

// ---- RIFF chunks --------------------------------------------------------------------------

std::uint32_t readU32(const std::uint8_t* p, bool bigEndian)
{
    return bigEndian ? (std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3])
                     : (std::uint32_t{p[3]} << 24 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0]);
}

std::uint16_t readU16(const std::uint8_t* p, bool bigEndian)
{
    return static_cast<std::uint16_t>(bigEndian ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]));
}

bool hasId(std::span<const std::uint8_t> bytes, std::size_t at, const char (&id)[5])
{
    return at + 4 <= bytes.size() && std::memcmp(bytes.data() + at, id, 4) == 0;
}

// What the RIFF chunks themselves say, read without trusting any size.
struct WaveHeader {
    std::optional<int> bitsPerSample; // wBitsPerSample, also for WAVE_FORMAT_EXTENSIBLE
    std::uint16_t formatTag = 0;
    std::uint16_t samplesPerBlock = 0; // block codecs only
    std::optional<std::uint32_t> factFrames;
};

WaveHeader readHeader(std::span<const std::uint8_t> image)
{
    WaveHeader header;
    if (image.size() < 12 || !hasId(image, 8, "WAVE")) return header;
    const bool bigEndian = hasId(image, 0, "RIFX");
    if (!bigEndian && !hasId(image, 0, "RIFF") && !hasId(image, 0, "RF64")) return header;
    std::uint64_t at = 12;
    while (at + 8 <= image.size()) {
        const std::uint8_t* chunk = image.data() + at;
        const std::uint64_t size = readU32(chunk + 4, bigEndian);
        const std::uint64_t available = std::min<std::uint64_t>(size, image.size() - at - 8);
        if (std::memcmp(chunk, "fmt ", 4) == 0 && available >= 16 && !header.bitsPerSample) {
            header.formatTag = readU16(chunk + 8, bigEndian);
            header.bitsPerSample = readU16(chunk + 8 + 14, bigEndian);
            if (available >= 20) header.samplesPerBlock = readU16(chunk + 8 + 18, bigEndian);
        } else if (std::memcmp(chunk, "fact", 4) == 0 && available >= 4) {
            header.factFrames = readU32(chunk + 8, bigEndian);
        }
        at += 8 + size + (size & 1); // chunks are word-aligned
    }
    return header;
}

// Block codecs pad their last block; the fact chunk has the true length. Trusted only when it
// cuts into that last block, as some writers put other numbers there.
std::int64_t framesWithoutPadding(const WaveHeader& header, std::int64_t frames)
{
    constexpr std::uint16_t kPcm = 1, kFloat = 3, kAlaw = 6, kMulaw = 7, kExtensible = 0xfffe;
    if (!header.factFrames || header.samplesPerBlock == 0) return frames;
    switch (header.formatTag) {
    case kPcm: case kFloat: case kAlaw: case kMulaw: case kExtensible: return frames;
    default: break;
    }
    const auto fact = static_cast<std::int64_t>(*header.factFrames);
    if (fact > 0 && fact <= frames && frames - fact < header.samplesPerBlock) return fact;
    return frames;
}

int bitsFromSubtype(int format)
{
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW: return 8;
    case SF_FORMAT_PCM_16: return 16;
    case SF_FORMAT_PCM_24: return 24;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT: return 32;
    case SF_FORMAT_DOUBLE: return 64;
    case SF_FORMAT_IMA_ADPCM:
    case SF_FORMAT_MS_ADPCM:
    case SF_FORMAT_G721_32: return 4;
    case SF_FORMAT_G723_24: return 3;
    case SF_FORMAT_G723_40: return 5;
    default: return 0;
    }
}

// ---- channels ----------------------------------------------------------------------------

struct Downmix {
    std::vector<float> left;  // weight of each file channel in the left output
    std::vector<float> right;
};

// Front pair at full level, centre and surrounds at -3 dB, the rest of the centre line at
// -6 dB, LFE left out. Without a usable map the first two channels are taken as left/right,
// since nothing says what the others are.
Downmix downmixFor(SNDFILE* file, int channels)
{
    Downmix mix{std::vector<float>(channels, 0.0f), std::vector<float>(channels, 0.0f)};
    std::vector<int> map(channels, SF_CHANNEL_MAP_INVALID);
    const bool mapped = sf_command(file, SFC_GET_CHANNEL_MAP_INFO, map.data(),
                                   static_cast<int>(map.size() * sizeof(int))) == SF_TRUE;
    bool any = false;
    for (int c = 0; mapped && c < channels; ++c) {
        float l = 0.0f;
        float r = 0.0f;
        switch (map[c]) {
        case SF_CHANNEL_MAP_LEFT:
        case SF_CHANNEL_MAP_FRONT_LEFT: l = 1.0f; break;
        case SF_CHANNEL_MAP_RIGHT:
        case SF_CHANNEL_MAP_FRONT_RIGHT: r = 1.0f; break;
        case SF_CHANNEL_MAP_MONO:
        case SF_CHANNEL_MAP_CENTER:
        case SF_CHANNEL_MAP_FRONT_CENTER: l = r = kMinus3dB; break;
        case SF_CHANNEL_MAP_REAR_LEFT:
        case SF_CHANNEL_MAP_SIDE_LEFT:
        case SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER:
        case SF_CHANNEL_MAP_TOP_FRONT_LEFT:
        case SF_CHANNEL_MAP_TOP_REAR_LEFT: l = kMinus3dB; break;
        case SF_CHANNEL_MAP_REAR_RIGHT:
        case SF_CHANNEL_MAP_SIDE_RIGHT:
        case SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER:
        case SF_CHANNEL_MAP_TOP_FRONT_RIGHT:
        case SF_CHANNEL_MAP_TOP_REAR_RIGHT: r = kMinus3dB; break;
        case SF_CHANNEL_MAP_REAR_CENTER:
        case SF_CHANNEL_MAP_TOP_CENTER:
        case SF_CHANNEL_MAP_TOP_FRONT_CENTER:
        case SF_CHANNEL_MAP_TOP_REAR_CENTER: l = r = kMinus6dB; break;
        default: break; // LFE, ambisonic and unknown positions
        }
        mix.left[c] = l;
        mix.right[c] = r;
        any = any || l != 0.0f || r != 0.0f;
    }
    if (!any) {
        std::fill(mix.left.begin(), mix.left.end(), 0.0f);
        std::fill(mix.right.begin(), mix.right.end(), 0.0f);
        mix.left[0] = 1.0f;
        mix.right[1] = 1.0f;
    }
    return mix;
}

float sanitized(float sample)
{
    if (!std::isfinite(sample)) return 0.0f;
    return std::clamp(sample, -kMaxAmplitude, kMaxAmplitude);
}

std::optional<DecodedSound> decode(std::span<const std::uint8_t> image, int deviceRate)
{
    if (image.empty() || deviceRate < kMinSoundRate || deviceRate > kMaxSoundRate) return std::nullopt;

    SF_VIRTUAL_IO io{&memoryLength, &memorySeek, &memoryRead, &memoryWrite, &memoryTell};
    MemoryFile memory{image, 0};
    SF_INFO info{};
    SndfilePtr file(sf_open_virtual(&io, SFM_READ, &info, &memory));
    if (!file || !isWaveFamily(info.format)) return std::nullopt;
    if (info.channels < 1 || info.samplerate < kMinSoundRate || info.samplerate > kMaxSoundRate) return std::nullopt;
    sf_command(file.get(), SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);

    // The length is known before anything is read, so a sound too long is refused at once and
    // the frames are converted and stored as they come, with no copy of the whole sound between.
    const WaveHeader header = readHeader(image);
    const std::int64_t fileFrames = framesWithoutPadding(header, static_cast<std::int64_t>(info.frames));
    if (fileFrames <= 0 || fileFrames > std::int64_t{kMaxSoundSeconds} * info.samplerate) return std::nullopt;
    const bool resampled = info.samplerate != deviceRate;
    const std::int64_t outFrames =
        resampled ? std::max<std::int64_t>(1, (fileFrames * deviceRate + info.samplerate / 2) / info.samplerate) : fileFrames;
    if (outFrames > kMaxOutputFrames) return std::nullopt;

    SampleBuffer frames(outFrames);
    std::optional<Resampler> resampler;
    if (resampled) resampler.emplace(fileFrames, outFrames);

    const int channels = info.channels;
    const Downmix mix = channels > 2 ? downmixFor(file.get(), channels) : Downmix{};
    const sf_count_t blockFrames = std::max(1, 16384 / channels);
    std::vector<float> block(static_cast<std::size_t>(blockFrames) * channels);
    std::vector<float> stereo(static_cast<std::size_t>(blockFrames) * 2);
    float sourcePeak = 0.0f;
    float mixPeak = 0.0f;
    std::int64_t total = 0;
    while (total < fileFrames) {
        const sf_count_t got = sf_readf_float(file.get(), block.data(), std::min<sf_count_t>(blockFrames, fileFrames - total));
        if (got <= 0) break;
        total += got;
        for (sf_count_t f = 0; f < got; ++f) {
            const float* in = block.data() + f * channels;
            float* out = stereo.data() + 2 * f;
            if (channels == 1) {
                out[0] = out[1] = sanitized(in[0]);
            } else if (channels == 2) {
                out[0] = sanitized(in[0]);
                out[1] = sanitized(in[1]);
            } else {
                float l = 0.0f;
                float r = 0.0f;
                for (int c = 0; c < channels; ++c) {
                    const float s = sanitized(in[c]);
                    sourcePeak = std::max(sourcePeak, std::fabs(s));
                    l += mix.left[c] * s;
                    r += mix.right[c] * s;
                }
                mixPeak = std::max({mixPeak, std::fabs(l), std::fabs(r)});
                out[0] = l;
                out[1] = r;
            }
        }
        const std::span<const float> chunk(stereo.data(), static_cast<std::size_t>(got) * 2);
        frames.append(resampler ? resampler->push(chunk) : chunk);
    }
    if (total == 0) return std::nullopt;
    file.reset();
    if (resampler) {
        frames.append(resampler->finish());
        frames.setWraps(resampler->headWrap(), resampler->tailWrap());
    }
    frames.close();
    // Summed channels may peak higher than any one of them; bring the mix back to the source's peak.
    if (mixPeak > sourcePeak && mixPeak > 0.0f) frames.scale(sourcePeak / mixPeak);

    DecodedSound sound;
    sound.frameCount = frames.frames();
    sound.frames = std::move(frames);
    sound.format.Channels = info.channels;
    sound.format.SamplesPerSec = info.samplerate;
    sound.format.BitsPerSample = header.bitsPerSample.value_or(bitsFromSubtype(info.format));
    sound.lengthMs = static_cast<double>(total) * 1000.0 / info.samplerate;
    return sound;
}

} // namespace

std::optional<DecodedSound> decodeWave(std::span<const std::uint8_t> image, int deviceRate)
{
    try {
        return decode(image, deviceRate);
    } catch (const std::exception&) { // bad_alloc, length_error: an image too big to hold
        return std::nullopt;
    }
}
