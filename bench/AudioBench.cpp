// Audio library figures: press latency, render cost of one device block, WAVE decode time,
// SoundFont load time. Run: build/bench/AudioBench (see bench/README.md for what each figure means).
#include "SoundFontSynth.h"
#include "VbDSnd2.h"
#include "WaveDecoder.h"
#include "MidiWriter.h"
#include "SegmentWriter.h"
#include "WaveWriter.h"

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kBlock = 256;
const char* kSoundFont = "/usr/share/sounds/sf2/default-GM.sf2";

std::vector<float> sine(int frames, int rate, double hz)
{
    std::vector<float> samples(static_cast<std::size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i)
        samples[2 * i] = samples[2 * i + 1] = static_cast<float>(0.3 * std::sin(2 * M_PI * hz * i / rate));
    return samples;
}

// A MIDI file: a four-note chord every quarter for 16 bars, with a program change.
std::string writeBusyMidi(const std::string& path)
{
    SmfTrack track;
    track.program(0, 0, 14);
    for (std::uint32_t beat = 0; beat < 64; ++beat)
        for (std::uint8_t key : {60, 64, 67, 72}) track.note(beat * 480, 480, 0, key, 100);
    const Bytes file = writeSmf(0, 480, {track});
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                static_cast<std::streamsize>(file.size()));
    return path;
}

// Frames between dsPlayLooping and the first sample in the output, beyond the block boundary.
void BM_PressLatencyFrames(benchmark::State& state)
{
    VbDSnd2 audio({});
    const std::vector<std::uint8_t> image = writeWave(sine(48000, 48000, 440.0), 2, 48000, SF_FORMAT_PCM_16);
    AudioLibrary::Handle h = audio.dsCreateDSB(image, 1);
    std::vector<float> out(kBlock * 2);
    long worst = 0;
    for (auto _ : state) {
        audio.dsStop(h);
        audio.render(out.data(), kBlock);
        audio.dsPlayLooping(h);
        audio.render(out.data(), kBlock);
        long first = kBlock;
        for (long i = 0; i < kBlock; ++i)
            if (out[2 * i] != 0.0f || out[2 * i + 1] != 0.0f) {
                first = i;
                break;
            }
        // Frame 0 of a sine is 0: the sound's first non-zero frame is frame 1.
        worst = std::max(worst, first - 1);
    }
    state.counters["added_frames"] = static_cast<double>(worst);
}
BENCHMARK(BM_PressLatencyFrames)->Iterations(100);

// One device block with four looping voices plus music.
void BM_RenderBlock(benchmark::State& state)
{
    VbDSnd2 audio({kSoundFont});
    const bool music = state.range(0) != 0;
    std::vector<AudioLibrary::Handle> voices;
    for (double hz : {220.0, 330.0, 440.0, 550.0}) {
        const std::vector<std::uint8_t> image = writeWave(sine(44100 * 3, 44100, hz), 2, 44100, SF_FORMAT_PCM_16);
        voices.push_back(audio.dsCreateDSB(image, 1));
        audio.dsPlayLooping(voices.back());
    }
    AudioLibrary::Handle segment = 0;
    if (music && audio.dsInitMusic() != 0) {
        segment = audio.dsLoadMusicSegment(writeBusyMidi("/tmp/tarnek-bench.mid"), 32);
        audio.dsPlayMusicSegment(segment, 1000);
    }
    std::vector<float> out(kBlock * 2);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        audio.render(out.data(), kBlock);
        benchmark::DoNotOptimize(out.data());
    }
    const double perBlock = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
                            static_cast<double>(state.iterations());
    const double blockSeconds = static_cast<double>(kBlock) / Mixer::kSampleRate;
    state.counters["block_share_%"] = 100.0 * perBlock / blockSeconds;
    state.SetLabel(music ? (segment != 0 ? "4 voices + music" : "4 voices (no SoundFont)") : "4 voices");
}
BENCHMARK(BM_RenderBlock)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// A style segment: eight parts of sixteenth notes on eight channels over 16 bars at 120 BPM,
// its style embedded.
std::string writeBusyStyleSegment(const std::string& path)
{
    MinimalStyle style;
    style.tempo = 120.0;
    MinimalStylePattern pattern;
    for (std::uint32_t p = 0; p < 8; ++p) {
        MinimalStylePart part;
        for (std::int32_t grid = 0; grid < 16; ++grid)
            part.notes.push_back({grid, 1, 180, 0, std::uint16_t(48 + 4 * p + grid % 3), 90});
        style.parts.push_back(part);
        pattern.parts.push_back({p, p == 7 ? 9u : p});
    }
    style.patterns = {pattern};
    Segment s;
    s.length = 16 * 4 * kSegmentTicksPerQuarter;
    s.embedded = {writeMinimalStyle(style)};
    s.styles = {{0, "", style.guid}};
    s.chordTrack = s.commandTrack = true;
    s.chords = {{0}};
    s.commands = {{0, 0, 50}};
    for (std::uint32_t p = 0; p < 8; ++p) s.bands.push_back({-1, false, {{p * 8, p == 7 ? 9u : p}}});
    const Bytes file = writeSegment(s);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                static_cast<std::streamsize>(file.size()));
    return path;
}

// One device block while a style segment plays: the synthetic one (0), the outside test data's
// sample.sgt (1). The median of the blocks' times, and its share of the block's real time.
void BM_RenderStyleBlock(benchmark::State& state)
{
    VbDSnd2 audio({kSoundFont});
    const bool sample = state.range(0) != 0;
    const std::string path = sample ? std::string(TARNEK_OUTSIDE_TESTDATA "/sgt/sample.sgt")
                                    : writeBusyStyleSegment("/tmp/tarnek-bench-style.sgt");
    AudioLibrary::Handle segment = 0;
    if (audio.dsInitMusic() != 0 && std::filesystem::exists(path)) segment = audio.dsLoadMusicSegment(path, 32);
    if (segment == 0) {
        state.SkipWithError(sample ? "sample.sgt absent or not loadable" : "the style segment did not load");
        return;
    }
    audio.dsPlayMusicSegment(segment, 1000);
    std::vector<float> out(kBlock * 2);
    std::vector<double> times;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        audio.render(out.data(), kBlock);
        times.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        benchmark::DoNotOptimize(out.data());
    }
    std::nth_element(times.begin(), times.begin() + std::ptrdiff_t(times.size() / 2), times.end());
    const double median = times[times.size() / 2];
    state.counters["median_us"] = median;
    state.counters["block_share_%"] = 100.0 * median / (1e6 * kBlock / Mixer::kSampleRate);
    state.SetLabel(sample ? "sample.sgt" : "8 parts of sixteenths");
}
BENCHMARK(BM_RenderStyleBlock)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->Iterations(4000);

// Decoding a 60 s 44.1 kHz stereo 16-bit WAVE image to the device format.
void BM_Decode60s(benchmark::State& state)
{
    const std::vector<std::uint8_t> image = writeWave(sine(44100 * 60, 44100, 440.0), 2, 44100, SF_FORMAT_PCM_16);
    for (auto _ : state) {
        auto decoded = decodeWave(image, Mixer::kSampleRate);
        benchmark::DoNotOptimize(decoded);
    }
}
BENCHMARK(BM_Decode60s)->Unit(benchmark::kMillisecond)->Iterations(10);

// The same at the file's own rate: the decoding alone, without the rate conversion.
void BM_Decode60sSameRate(benchmark::State& state)
{
    const std::vector<std::uint8_t> image = writeWave(sine(44100 * 60, 44100, 440.0), 2, 44100, SF_FORMAT_PCM_16);
    for (auto _ : state) {
        auto decoded = decodeWave(image, 44100);
        benchmark::DoNotOptimize(decoded);
    }
}
BENCHMARK(BM_Decode60sSameRate)->Unit(benchmark::kMillisecond)->Iterations(10);

// Loading a long bell through dsCreateDSB (a 44.1 kHz stereo 16-bit WAVE of Arg seconds): the time
// the caller waits, and the memory the load needs on top of the file image, at its peak and kept.
// The peak is the kernel's high-water mark, reset before each load.
long statusKb(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0) return std::stol(line.substr(key.size()));
    return 0;
}

void BM_LoadLongBell(benchmark::State& state)
{
    const int seconds = static_cast<int>(state.range(0));
    std::vector<std::uint8_t> image;
    {
        const std::vector<float> samples = sine(44100 * seconds, 44100, 440.0);
        image = writeWave(samples, 2, 44100, SF_FORMAT_PCM_16);
    }
    VbDSnd2 audio{{}};
    double peakMb = 0.0, keptMb = 0.0;
    bool loaded = true;
    for (auto _ : state) {
        state.PauseTiming();
        std::ofstream("/proc/self/clear_refs") << "5"; // the high-water mark back to the current size
        const long before = statusKb("VmRSS");
        state.ResumeTiming();
        AudioLibrary::Handle h = audio.dsCreateDSB(image, 1);
        state.PauseTiming();
        loaded = loaded && h != 0;
        peakMb = std::max(peakMb, (statusKb("VmHWM") - before) / 1024.0);
        keptMb = (statusKb("VmRSS") - before) / 1024.0;
        audio.dsFree(h);
        state.ResumeTiming();
    }
    state.counters["peak_MB"] = peakMb;
    state.counters["kept_MB"] = keptMb;
    state.counters["image_MB"] = static_cast<double>(image.size()) / (1024.0 * 1024.0);
    state.SetLabel(loaded ? "loaded" : "refused");
}
BENCHMARK(BM_LoadLongBell)->Arg(600)->Arg(1800)->Unit(benchmark::kMillisecond)->Iterations(3);

// What dsInitMusic costs the caller: it finds the SoundFont and starts its load, never waits.
void BM_InitMusicReturns(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto audio = std::make_unique<VbDSnd2>(std::vector<std::string>{kSoundFont});
        state.ResumeTiming();
        benchmark::DoNotOptimize(audio->dsInitMusic());
        state.PauseTiming();
        audio.reset(); // waits for the load to finish, outside the timing
        state.ResumeTiming();
    }
}
BENCHMARK(BM_InitMusicReturns)->Unit(benchmark::kMicrosecond)->Iterations(5);

// Loading the system's General MIDI SoundFont, on the loader thread.
void BM_SoundFontLoad(benchmark::State& state)
{
    double total = 0.0;
    for (auto _ : state) {
        SoundFontSynth synth(kSoundFont, Mixer::kSampleRate);
        if (synth.wait() == nullptr) state.SkipWithError("no SoundFont");
        total += synth.loadMs();
    }
    state.counters["load_ms"] = total / static_cast<double>(state.iterations());
}
BENCHMARK(BM_SoundFontLoad)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
