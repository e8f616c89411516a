// Loading segment files made by the authoring tools, DLS collections included: what
// dsLoadMusicSegment costs its caller, and whether a press then sounds in the next block.
// Run: build/bench/SegmentLoadBench [folder]   (default: the outside test data's sgt/ folder)
#include "DlsCollection.h"
#include "SegmentWriter.h"
#include "SoundFontSynth.h"
#include "VbDSnd2.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int kBlock = 256;
constexpr int kRounds = 5;
const char* const kSoundFont = "/usr/share/sounds/sf2/default-GM.sf2";

double msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

Bytes readAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeAll(const fs::path& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Loads, presses, renders a block, frees, kRounds times; the SoundFont is loaded beforehand.
void measure(VbDSnd2& audio, const fs::path& path)
{
    std::vector<double> loads, frees;
    std::vector<float> block(kBlock * 2);
    int firstFrame = -1;
    for (int round = 0; round < kRounds; ++round) {
        auto start = std::chrono::steady_clock::now();
        AudioLibrary::Handle h = audio.dsLoadMusicSegment(path.string(), 32);
        loads.push_back(msSince(start));
        if (h == 0) {
            std::printf("%-34s not played (load refused after %.2f ms)\n", path.filename().c_str(), loads.back());
            return;
        }
        audio.render(block.data(), kBlock); // quiet before the press
        audio.dsPlayMusicSegment(h, 0);
        std::fill(block.begin(), block.end(), 0.0f);
        audio.render(block.data(), kBlock);
        auto loud = std::find_if(block.begin(), block.end(), [](float s) { return std::fabs(s) > 1e-5f; });
        firstFrame = loud == block.end() ? -1 : int(loud - block.begin()) / 2;
        start = std::chrono::steady_clock::now();
        audio.dsFreeMusicSegment(h);
        frees.push_back(msSince(start));
    }
    std::sort(loads.begin(), loads.end());
    std::sort(frees.begin(), frees.end());
    std::printf("%-34s load median %7.2f ms (min %7.2f, max %7.2f), free median %5.2f ms, press: %s\n",
                path.filename().c_str(), loads[kRounds / 2], loads.front(), loads.back(), frees[kRounds / 2],
                firstFrame < 0 ? "SILENT in the next block" : ("sound from frame " + std::to_string(firstFrame) +
                                                              " of the next block").c_str());
}

} // namespace

int main(int argc, char** argv)
{
    const fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::path(TARNEK_OUTSIDE_TESTDATA) / "sgt";
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == ".sgt") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::printf("no .sgt files in %s\n", folder.c_str());
        return 1;
    }

    VbDSnd2 audio({kSoundFont});
    if (audio.dsInitMusic() != 1 || audio.synth()->wait() == nullptr) {
        std::printf("no SoundFont at %s\n", kSoundFont);
        return 1;
    }
    std::printf("SoundFont loaded in %.1f ms (not counted below); %d rounds each\n", audio.synth()->loadMs(), kRounds);
    for (const fs::path& file : files) measure(audio, file);

    // The real files' music is not all played yet: a segment of notes whose band takes the same
    // instrument from the same collection (a copy beside it) loads and sounds the way they will.
    const Bytes dls = readAll(folder / "sample.dls");
    if (dls.empty()) return 0;
    const fs::path scratch = fs::temp_directory_path() / ("tarnek-segment-bench-" + std::to_string(::getpid()));
    fs::create_directories(scratch);
    writeAll(scratch / "sample.dls", dls);
    Segment s;
    s.length = 768 * 4;
    s.bands = {{0, false, {{0x0004007F, 2, 0x3, 64, 100, "sample.dls"}}}};
    s.notes = {{0, 700, 2, 0, 0x90, 60, 100}};
    writeAll(scratch / "band-from-sample-dls.sgt", writeSegment(s));
    measure(audio, scratch / "band-from-sample-dls.sgt");

    // The collection alone, as the synthesizer takes it; handing it over and taking it back
    // are what hold the audio thread off.
    std::vector<double> loads, adds, removes;
    for (int round = 0; round < kRounds; ++round) {
        auto start = std::chrono::steady_clock::now();
        fluid_sfont_t* font = audio.synth()->loadCollection(playableDlsCopy(dls));
        loads.push_back(msSince(start));
        if (font == nullptr) {
            std::printf("sample.dls did not load\n");
            return 1;
        }
        start = std::chrono::steady_clock::now();
        const int id = audio.synth()->addCollection(font); // no device: nothing plays meanwhile
        adds.push_back(msSince(start));
        start = std::chrono::steady_clock::now();
        audio.synth()->removeCollection(id);
        removes.push_back(msSince(start));
    }
    for (auto* v : {&loads, &adds, &removes}) std::sort(v->begin(), v->end());
    std::printf("%-34s collection load median %7.2f ms (min %7.2f, max %7.2f), %zu bytes;\n"
                "%-34s audio held off to add it %.3f ms, to remove it %.3f ms (medians)\n",
                "sample.dls", loads[kRounds / 2], loads.front(), loads.back(), dls.size(), "",
                adds[kRounds / 2], removes[kRounds / 2]);
    fs::remove_all(scratch);
    return 0;
}
