// Generates the sounds that lie beside the program (committed; run by hand after a change):
//   espeak-ng -v ja -s 150 -w /tmp/announce.wav "ドアがしまります。ごちゅういください。"
//   cmake --build build --target MakeSounds && build/tools/MakeSounds data /tmp/announce.wav
// Writes data/door.wav (a chime, then the announcement when given), data/b.wav (the switch's
// click), and under data/samples/ a looping electric departure bell and a short departure
// melody as a MIDI file and as the same melody in a segment file.
#include "MidiWriter.h"
#include "SegmentWriter.h"
#include "WaveWriter.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <random>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr double kTau = 2.0 * std::numbers::pi;

void save(const fs::path& path, const std::vector<std::uint8_t>& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    std::printf("%s: %zu bytes\n", path.string().c_str(), bytes.size());
}

void normalise(std::vector<float>& samples, float peak)
{
    float highest = 0.0f;
    for (float s : samples) highest = std::max(highest, std::fabs(s));
    if (highest > 0.0f)
        for (float& s : samples) s *= peak / highest;
}

// A struck bell: partials of a small bell, each dying away at its own rate.
double bellStrike(double t, double pitch)
{
    static const double ratios[] = {1.0, 2.76, 5.40, 8.93};
    static const double levels[] = {1.0, 0.45, 0.25, 0.12};
    static const double decays[] = {6.0, 9.0, 14.0, 20.0};
    double v = 0.0;
    for (int i = 0; i < 4; ++i) v += levels[i] * std::exp(-decays[i] * t) * std::sin(kTau * pitch * ratios[i] * t);
    return v;
}

// Two falling chime notes, as stations sound before an announcement.
std::vector<float> chime(int rate)
{
    const int frames = int(1.6 * rate);
    std::vector<float> out(frames, 0.0f);
    const double notes[][2] = {{0.0, 659.26}, {0.45, 523.25}};
    for (const auto& note : notes)
        for (int i = int(note[0] * rate); i < frames; ++i) {
            const double t = double(i) / rate - note[0];
            out[i] += float(0.30 * std::exp(-2.5 * t) * (std::sin(kTau * note[1] * t) + 0.3 * std::sin(kTau * 2 * note[1] * t)));
        }
    return out;
}

std::vector<float> readMono(const char* path, int& rate)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path, SFM_READ, &info);
    if (file == nullptr) return {};
    std::vector<float> all(std::size_t(info.frames) * info.channels);
    sf_readf_float(file, all.data(), info.frames);
    sf_close(file);
    rate = info.samplerate;
    std::vector<float> mono(std::size_t(info.frames));
    for (sf_count_t f = 0; f < info.frames; ++f) mono[f] = all[f * info.channels];
    return mono;
}

// The switch: a short click of filtered noise over a low knock.
std::vector<float> click(int rate)
{
    std::mt19937 random(5);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    const int frames = int(0.06 * rate);
    std::vector<float> out(frames);
    float low = 0.0f;
    for (int i = 0; i < frames; ++i) {
        const double t = double(i) / rate;
        low += 0.35f * (noise(random) - low);
        out[i] = float(0.55 * std::exp(-90.0 * t) * low + 0.35 * std::exp(-60.0 * t) * std::sin(kTau * 140.0 * t));
    }
    return out;
}

// An electric bell: a striker at 18 strokes a second on a bell near 1.3 kHz. Built on a circle,
// so that the ringing of the last strokes carries on into the first ones: it loops without a seam.
std::vector<float> electricBell(int rate, double seconds)
{
    const double strokesPerSecond = 18.0;
    const int strokes = int(seconds * strokesPerSecond);
    const int frames = int(std::lround(strokes * rate / strokesPerSecond));
    std::vector<float> out(std::size_t(frames) * 2, 0.0f);
    const int ring = int(1.5 * rate); // how long one stroke is heard: down by 80 dB by then
    for (int s = 0; s < strokes; ++s) {
        const int start = int(std::lround(s * rate / strokesPerSecond));
        const double strength = 0.85 + 0.15 * ((s * 7) % 5) / 4.0; // the striker never hits quite alike
        for (int i = 0; i < ring; ++i) {
            const double t = double(i) / rate;
            const double v = strength * 0.16 * bellStrike(t, 1318.5);
            const std::size_t at = std::size_t((start + i) % frames) * 2;
            out[at] += float(v);
            out[at + 1] += float(v * 0.92 + 0.05 * strength * std::exp(-30 * t) * std::sin(kTau * 2600.0 * t));
        }
    }
    normalise(out, 0.8f);
    return out;
}

// An original departure melody: four bars of a bright tune over a bass, 140 BPM.
Melody departureMelody()
{
    Melody m;
    m.ticksPerQuarter = 192;
    const std::uint32_t q = 192, e = 96;
    // Key and length in eighths, a bar a line.
    const std::uint8_t tune[][2] = {{74, 1}, {78, 1}, {81, 2}, {79, 1}, {78, 1}, {76, 2},
                                    {74, 1}, {76, 1}, {78, 1}, {81, 1}, {83, 4},
                                    {81, 1}, {79, 1}, {78, 2}, {76, 1}, {78, 1}, {74, 2},
                                    {73, 1}, {76, 1}, {74, 6}};
    std::uint32_t tick = 0;
    for (const auto& n : tune) {
        m.notes.push_back({tick, n[1] * e - 8, 0, n[0], 104});
        tick += n[1] * e;
    }
    const std::uint8_t bass[] = {50, 43, 45, 50};
    for (int bar = 0; bar < 4; ++bar)
        for (int beat = 0; beat < 2; ++beat)
            m.notes.push_back({std::uint32_t(bar * 4 * q + beat * 2 * q), 2 * q - 16, 1, bass[bar], 84});
    std::stable_sort(m.notes.begin(), m.notes.end(), [](const MelodyNote& a, const MelodyNote& b) { return a.tick < b.tick; });
    m.lengthTicks = 4 * 4 * q;
    m.tempos = {{0, 140.0}};
    m.programs = {{0, 11}, {1, 32}}; // vibraphone, acoustic bass
    return m;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <data-folder> [announcement.wav]\n", argv[0]);
        return 2;
    }
    const fs::path data = argv[1];

    int rate = 22050;
    std::vector<float> door = chime(rate);
    if (argc >= 3) {
        int speechRate = 0;
        const std::vector<float> speech = readMono(argv[2], speechRate);
        if (speech.empty() || speechRate != rate) {
            std::fprintf(stderr, "%s: expected a %d Hz WAVE file\n", argv[2], rate);
            return 1;
        }
        door.resize(door.size() + std::size_t(0.1 * rate), 0.0f);
        for (float s : speech) door.push_back(0.9f * s);
    }
    door.resize(door.size() + std::size_t(0.2 * rate), 0.0f);
    normalise(door, 0.8f);
    save(data / "door.wav", writeWave(door, 1, rate, SF_FORMAT_PCM_16));
    save(data / "b.wav", writeWave(click(rate), 1, rate, SF_FORMAT_PCM_16));

    save(data / "samples" / "electric-bell.wav", writeWave(electricBell(44100, 4.0), 2, 44100, SF_FORMAT_PCM_16));
    const Melody melody = departureMelody();
    save(data / "samples" / "departure.mid", midiFromMelody(melody));
    save(data / "samples" / "departure.sgt", writeSegment(segmentFromMelody(melody)));
    return 0;
}
