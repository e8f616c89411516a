// The switch's costs with the real window, host and audio library (SDL's dummy device):
//  - from a key press event to the bell in the mixer: the handler's time, and the frames
//    between the press and the bell's first sample in the next rendered block;
//  - the CPU a 10 s release wait uses (Tachikawa style), on the user-interface thread and in
//    the whole process (which includes the audio thread mixing the bell).
// Run: build/bench/PressBench build      (the folder with samples/)
#include "Program.h"
#include "QtHost.h"
#include "Sound.h"
#include "VbDSnd2.h"
#include "frmMain.h"
#include "WaveWriter.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>

#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

double cpuSeconds(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

void save(const QString& path, const std::vector<std::uint8_t>& bytes)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("SDL_AUDIODRIVER", "dummy");
    QApplication app(argc, argv);
    QTemporaryDir dir;

    // Press latency, rendered offline so that every frame can be seen.
    {
        QtHost host({QStringLiteral("tarnek")});
        VbDSnd2 audio({"/usr/share/sounds/sf2/default-GM.sf2"});
        Program program{host, audio};
        audio.dsInitMusic();
        const QString bell = dir.filePath(QStringLiteral("bell.wav"));
        save(bell, writeWave(sineSignal(880.0, 48000, 48000, 2, 0.5f), 2, 48000, SF_FORMAT_PCM_16));
        program.state.BellBuffer = audio.dsCreateDSB([&] {
            QFile f(bell);
            f.open(QIODevice::ReadOnly);
            const QByteArray b = f.readAll();
            return std::vector<std::uint8_t>(b.begin(), b.end());
        }(), 1);
        frmMain form(program);
        std::vector<double> handler;
        int worstFrames = 0;
        std::vector<float> out(512);
        for (int i = 0; i < 200; ++i) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
            audio.render(out.data(), 256);
            const auto t0 = std::chrono::steady_clock::now();
            QApplication::sendEvent(&form, &press);
            handler.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
            audio.render(out.data(), 256);
            int first = 256;
            for (int f = 0; f < 256; ++f)
                if (out[2 * f] != 0.0f || out[2 * f + 1] != 0.0f) {
                    first = f;
                    break;
                }
            worstFrames = std::max(worstFrames, first - 1); // frame 0 of a sine is 0
            QApplication::sendEvent(&form, &release);
        }
        std::sort(handler.begin(), handler.end());
        std::printf("key press -> bell: handler median %.1f us, max %.1f us; first sample %d frames into the "
                    "next block (plus the wait for that block: at most 256 frames, 5.33 ms)\n",
                    handler[handler.size() / 2], handler.back(), worstFrames);
    }

    // CPU during a 10 s release wait, with the device running.
    {
        QtHost host({QStringLiteral("tarnek")});
        VbDSnd2 audio({});
        Program program{host, audio};
        audio.dsInit2(0, 2);
        const std::vector<std::uint8_t> image = writeWave(sineSignal(440.0, 48000, 48000 * 10 + 4800, 2, 0.3f), 2, 48000,
                                                          SF_FORMAT_PCM_16);
        program.state.BellBuffer = audio.dsCreateDSB(image, 1);
        program.state.EffectTachikawa = -1;
        BellStart(program);
        const double wall0 = host.clockSeconds();
        const double thread0 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        const double process0 = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        BellStop(program);
        const double wall = host.clockSeconds() - wall0;
        const double thread = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - thread0;
        const double process = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - process0;
        std::printf("release wait: %.2f s; user-interface thread %.3f s CPU (%.2f %% of one core), whole process "
                    "%.3f s (%.2f %%)\n",
                    wall, thread, 100.0 * thread / wall, process, 100.0 * process / wall);
        audio.dsQuit();
    }
    return 0;
}
