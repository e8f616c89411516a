#include "WaveWriter.h"

#include <sndfile.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

struct GrowingFile {
    std::vector<std::uint8_t> bytes;
    sf_count_t position = 0;
};

GrowingFile& fileOf(void* user) { return *static_cast<GrowingFile*>(user); }

sf_count_t growingLength(void* user) { return static_cast<sf_count_t>(fileOf(user).bytes.size()); }

sf_count_t growingSeek(sf_count_t offset, int whence, void* user)
{
    auto& file = fileOf(user);
    const sf_count_t base = whence == SEEK_SET ? 0
                            : whence == SEEK_CUR ? file.position
                                                 : static_cast<sf_count_t>(file.bytes.size());
    if (base + offset < 0) return -1;
    file.position = base + offset;
    return file.position;
}

sf_count_t growingRead(void* destination, sf_count_t count, void* user)
{
    auto& file = fileOf(user);
    const auto size = static_cast<sf_count_t>(file.bytes.size());
    if (count <= 0 || file.position >= size) return 0;
    const sf_count_t n = std::min(count, size - file.position);
    std::memcpy(destination, file.bytes.data() + file.position, static_cast<std::size_t>(n));
    file.position += n;
    return n;
}

sf_count_t growingWrite(const void* source, sf_count_t count, void* user)
{
    auto& file = fileOf(user);
    if (count <= 0) return 0;
    const auto end = static_cast<std::size_t>(file.position + count);
    if (end > file.bytes.size()) file.bytes.resize(end);
    std::memcpy(file.bytes.data() + file.position, source, static_cast<std::size_t>(count));
    file.position += count;
    return count;
}

sf_count_t growingTell(void* user) { return fileOf(user).position; }

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};

void putLe(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void putId(std::vector<std::uint8_t>& out, const char* id)
{
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(id[i]));
}

} // namespace

std::vector<std::uint8_t> writeWave(const std::vector<float>& interleaved, int channels, int rate,
                                    int subtype, int majorFormat, std::span<const int> channelMap)
{
    SF_VIRTUAL_IO io{&growingLength, &growingSeek, &growingRead, &growingWrite, &growingTell};
    GrowingFile file;
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = (majorFormat != 0 ? majorFormat : SF_FORMAT_WAV) | subtype;
    {
        std::unique_ptr<SNDFILE, SndfileCloser> out(sf_open_virtual(&io, SFM_WRITE, &info, &file));
        if (!out) throw std::runtime_error(std::string("libsndfile refused the format: ") + sf_strerror(nullptr));
        // Without clipping a full-scale float wraps around in the 32-bit integer encodings.
        sf_command(out.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
        // Its result says nothing useful here (0 even when the map is written), so it is not checked.
        if (!channelMap.empty())
            sf_command(out.get(), SFC_SET_CHANNEL_MAP_INFO, const_cast<int*>(channelMap.data()),
                       static_cast<int>(channelMap.size_bytes()));
        const sf_count_t frames = static_cast<sf_count_t>(interleaved.size()) / channels;
        if (sf_writef_float(out.get(), interleaved.data(), frames) != frames)
            throw std::runtime_error(std::string("libsndfile write failed: ") + sf_strerror(out.get()));
    } // closing writes the final header
    return file.bytes;
}

std::vector<float> sineSignal(double frequency, int rate, std::int64_t frames, int channels, float amplitude)
{
    std::vector<float> out(static_cast<std::size_t>(frames * channels));
    for (std::int64_t f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c)
            out[f * channels + c] =
                amplitude * static_cast<float>(std::sin(2.0 * M_PI * frequency * f / rate + 0.5 * c));
    return out;
}

std::vector<float> rampSignal(std::int64_t frames, int channels)
{
    std::vector<float> out(static_cast<std::size_t>(frames * channels));
    for (std::int64_t f = 0; f < frames; ++f) {
        const float t = frames > 1 ? static_cast<float>(f) / static_cast<float>(frames - 1) : 0.0f;
        for (int c = 0; c < channels; ++c) out[f * channels + c] = (c % 2 == 0 ? 1.0f : -1.0f) * (1.8f * t - 0.9f);
    }
    return out;
}

std::vector<std::uint8_t> rawWave(const RawWave& wave)
{
    std::vector<std::uint8_t> body;
    putId(body, "WAVE");
    body.insert(body.end(), wave.chunksBeforeFmt.begin(), wave.chunksBeforeFmt.end());
    putId(body, "fmt ");
    putLe(body, 16, 4);
    const std::uint32_t blockAlign = wave.channels * ((wave.bits + 7u) / 8u);
    putLe(body, wave.formatTag, 2);
    putLe(body, wave.channels, 2);
    putLe(body, wave.rate, 4);
    putLe(body, wave.rate * blockAlign, 4);
    putLe(body, blockAlign, 2);
    putLe(body, wave.bits, 2);
    putId(body, "data");
    putLe(body, wave.declaredDataSize.value_or(static_cast<std::uint32_t>(wave.data.size())), 4);
    body.insert(body.end(), wave.data.begin(), wave.data.end());
    if (wave.data.size() % 2 != 0) body.push_back(0);

    std::vector<std::uint8_t> out;
    putId(out, "RIFF");
    putLe(out, wave.declaredRiffSize.value_or(static_cast<std::uint32_t>(body.size())), 4);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}
