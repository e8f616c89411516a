// How long a bell load takes, from the user's choice to the described window: LoadBell on each
// sample bell beside the program, with the real audio library and a temporary program directory.
// Run: build/bench/BellLoadBench [build]      (the folder whose samples/ to load; default: build)
#include "FakeHost.h"
#include "Program.h"
#include "Sound.h"
#include "VbDSnd2.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QTemporaryDir>
#include <QWidget>

#include <memory>

namespace {

QString samples = QStringLiteral("build/samples");

void BM_LoadBell(benchmark::State& state, const char* name)
{
    QTemporaryDir programDir;
    FakeHost host;
    host.programDir = programDir.path();
    VbDSnd2 audio({"/usr/share/sounds/sf2/default-GM.sf2"});
    audio.dsInitMusic();
    Program program{host, audio};
    QWidget window;
    QLabel name1(&window), info(&window);
    const BellDisplay display{window, name1, info};
    const QString path = QDir(samples).filePath(QString::fromLatin1(name));
    LoadBell(program, display, path); // the first load also waits for the SoundFont
    if (program.state.BellBuffer == 0 && program.state.BellSegment == 0) state.SkipWithError("the bell did not load");
    for (auto _ : state) LoadBell(program, display, path);
}
BENCHMARK_CAPTURE(BM_LoadBell, electric_bell_wav, "electric-bell.wav")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadBell, departure_mid, "departure.mid")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadBell, departure_sgt, "departure.sgt")->Unit(benchmark::kMillisecond);

// The first MIDI load of a run: right after dsInitMusic, so it waits for the SoundFont.
void BM_FirstMidiLoadAfterStart(benchmark::State& state)
{
    QTemporaryDir programDir;
    FakeHost host;
    host.programDir = programDir.path();
    QWidget window;
    QLabel name1(&window), info(&window);
    const BellDisplay display{window, name1, info};
    const QString path = QDir(samples).filePath(QStringLiteral("departure.mid"));
    for (auto _ : state) {
        state.PauseTiming();
        auto audio = std::make_unique<VbDSnd2>(std::vector<std::string>{"/usr/share/sounds/sf2/default-GM.sf2"});
        Program program{host, *audio};
        state.ResumeTiming();
        audio->dsInitMusic();
        LoadBell(program, display, path);
    }
}
BENCHMARK(BM_FirstMidiLoadAfterStart)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("SDL_AUDIODRIVER", "dummy");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (argc > 1) samples = QDir(QString::fromLocal8Bit(argv[1])).filePath(QStringLiteral("samples"));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
