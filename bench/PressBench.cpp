// The switch's costs with the real window, host and audio library (SDL's dummy device):
//  - from a key press event, and from a game controller's button (one of SDL's virtual
//    controllers), to the bell in the mixer: the handler's time, and the frames between the
//    press and the bell's first sample in the next rendered block;
//  - the CPU a 10 s release wait uses (Tachikawa style), on the user-interface thread and in
//    the whole process (which includes the audio thread mixing the bell).
// Run: build/bench/PressBench build      (the folder with samples/)
#include "GameControllers.h"
#include "InputDoorbell.h"
#include "Program.h"
#include "QtHost.h"
#include "Sound.h"
#include "VbDSnd2.h"
#include "frmMain.h"
#include "WaveWriter.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>

#include <SDL.h>
#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
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
        GameControllers controllers;
        form.listenTo(controllers);
        const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 2, 8, 1);
        controllers.readEvents();
        SDL_Joystick* pad = SDL_JoystickOpen(index);

        // `press` and `release` act on the switch; the press is timed.
        const auto measure = [&](const char* what, const std::function<void()>& press,
                                 const std::function<void()>& release) {
            std::vector<double> handler;
            int worstFrames = 0;
            std::vector<float> out(512);
            for (int i = 0; i < 200; ++i) {
                audio.render(out.data(), 256);
                const auto t0 = std::chrono::steady_clock::now();
                press();
                handler.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
                audio.render(out.data(), 256);
                int first = 256;
                for (int f = 0; f < 256; ++f)
                    if (out[2 * f] != 0.0f || out[2 * f + 1] != 0.0f) {
                        first = f;
                        break;
                    }
                worstFrames = std::max(worstFrames, first - 1); // frame 0 of a sine is 0
                release();
            }
            std::sort(handler.begin(), handler.end());
            std::printf("%s -> bell: handler median %.1f us, max %.1f us; first sample %d frames into the "
                        "next block (plus the wait for that block: at most 256 frames, 5.33 ms)\n",
                        what, handler[handler.size() / 2], handler.back(), worstFrames);
        };
        measure(
            "key press",
            [&] {
                QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
                QApplication::sendEvent(&form, &press);
            },
            [&] {
                QKeyEvent release(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
                QApplication::sendEvent(&form, &release);
            });
        // From the button going down to the bell queued: SDL reads the controller, the switch
        // presses; a real device's doorbell is one event-loop wake-up before this.
        measure(
            "controller button",
            [&] {
                SDL_JoystickSetVirtualButton(pad, 0, 1);
                controllers.readEvents();
            },
            [&] {
                SDL_JoystickSetVirtualButton(pad, 0, 0);
                controllers.readEvents();
            });
        SDL_JoystickClose(pad);
    }

    // A real controller's button first wakes the event loop through its device's doorbell. A
    // FIFO written from another thread stands in for the device here.
    {
        const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("event0")));
        ::mkfifo(fifo.constData(), 0600);
        auto doorbell = InputDoorbell::onDevice(fifo.constData());
        const int writer = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK);
        std::atomic<std::int64_t> written{0};
        std::vector<double> wake;
        QEventLoop loop;
        QObject::connect(doorbell.get(), &InputDoorbell::rang, [&] {
            const auto now = std::chrono::steady_clock::now().time_since_epoch();
            wake.push_back(double(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count() - written) / 1000.0);
            if (wake.size() == 200) loop.quit();
        });
        std::thread device([&] {
            for (int i = 0; i < 200; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(3));
                written = std::chrono::duration_cast<std::chrono::nanoseconds>(
                              std::chrono::steady_clock::now().time_since_epoch())
                              .count();
                [[maybe_unused]] const ssize_t n = ::write(writer, "e", 1);
            }
        });
        loop.exec();
        device.join();
        ::close(writer);
        std::sort(wake.begin(), wake.end());
        std::printf("input device -> event loop: median %.1f us, max %.1f us (wake-up of the sleeping "
                    "user-interface thread)\n",
                    wake[wake.size() / 2], wake.back());
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
