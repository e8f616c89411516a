// End to end: presses and releases a key on real windows with XTest and finds, in a real-time
// capture of the sink's monitor, when the sound starts and stops. Both ends are stamped on
// CLOCK_MONOTONIC: the press just before the fake key event is sent, the sound as the capture
// cycle's graph time plus the sample's offset in the cycle. The windows take turns, one
// press each, so every one is measured under the same load.
// Run: LatencyBench PRESSES GAP_MS NAME=WINDOW... (latency.sh runs it; the sink is tarnek-sink)
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include "PipeWireClient.h"

#include <pipewire/pipewire.h>

#include <algorithm>
#include <chrono>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr float kLoud = 0.001f;        // -60 dBFS
constexpr std::int64_t kSilentNs = 50'000'000; // silence must last this long to count

struct Block {
    std::int64_t start;     // graph time of the block's first frame
    std::int32_t firstLoud; // frame index, -1 when none
    std::int32_t lastLoud;
    std::int32_t frames;
};

constexpr std::size_t kBlocks = 1 << 20;
std::vector<Block> blocks(kBlocks);
std::atomic<std::size_t> written{0};
pw_stream* capture = nullptr;

std::int64_t nowNs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

void onProcess(void*)
{
    pw_buffer* b = pw_stream_dequeue_buffer(capture);
    if (b == nullptr) return;
    pw_time time{};
    pw_stream_get_time_n(capture, &time, sizeof time);
    const spa_data& d = b->buffer->datas[0];
    const auto* in = static_cast<const float*>(d.data);
    const std::int32_t frames = in != nullptr ? std::int32_t(d.chunk->size / 8) : 0;
    Block block{time.now, -1, -1, frames};
    for (std::int32_t i = 0; i < frames; ++i) {
        if (std::fabs(in[2 * i]) > kLoud || std::fabs(in[2 * i + 1]) > kLoud) {
            if (block.firstLoud < 0) block.firstLoud = i;
            block.lastLoud = i;
        }
    }
    const std::size_t n = written.load(std::memory_order_relaxed);
    if (n < kBlocks) {
        blocks[n] = block;
        written.store(n + 1, std::memory_order_release);
    }
    pw_stream_queue_buffer(capture, b);
}

std::int64_t frameNs(const Block& b, std::int32_t i)
{
    return b.start + std::int64_t(i) * 1'000'000'000 / 48000;
}

// The first loud sample among the blocks captured since block `base`; -1 while none yet.
std::int64_t soundSince(std::size_t base)
{
    const std::size_t n = written.load(std::memory_order_acquire);
    for (std::size_t k = base; k < n; ++k)
        if (blocks[k].firstLoud >= 0) return frameNs(blocks[k], blocks[k].firstLoud);
    return -1;
}

// Where the silence after `from` begins (the frame after the last loud one, once kSilentNs of
// silence follow), among the blocks captured since block `base`; -1 while not yet known.
std::int64_t silenceSince(std::size_t base, std::int64_t from)
{
    const std::size_t n = written.load(std::memory_order_acquire);
    std::int64_t quietSince = from;
    for (std::size_t k = base; k < n; ++k) {
        const Block& b = blocks[k];
        if (b.lastLoud >= 0) quietSince = std::max(quietSince, frameNs(b, b.lastLoud + 1));
        if (frameNs(b, b.frames) - quietSince >= kSilentNs) return quietSince;
    }
    return -1;
}

void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

struct Stats {
    std::vector<double> press, release;
};

void print(const char* what, std::vector<double> v)
{
    if (v.empty()) {
        std::printf("  %-18s no measurement\n", what);
        return;
    }
    std::sort(v.begin(), v.end());
    auto at = [&](double q) { return v[std::size_t(q * double(v.size() - 1) + 0.5)]; };
    std::printf("  %-18s median %5.1f ms   min %5.1f   p10 %5.1f   p90 %5.1f   max %5.1f   (n = %zu)\n", what,
                at(0.5), v.front(), at(0.1), at(0.9), v.back(), v.size());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s PRESSES GAP_MS NAME=WINDOW...\n", argv[0]);
        return 2;
    }
    const int presses = std::atoi(argv[1]);
    const int gapMs = std::atoi(argv[2]);
    std::vector<std::string> names;
    std::vector<Window> windows;
    for (int i = 3; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto eq = arg.find('=');
        names.push_back(arg.substr(0, eq));
        windows.push_back(Window(std::strtoul(arg.c_str() + eq + 1, nullptr, 0)));
    }

    pw_init(&argc, &argv);
    const PipeWireClient client = connectLocked("capture");
    pw_thread_loop* loop = client.loop;
    pw_core* core = client.core;
    static pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.process = onProcess;
    // As large a cycle as the others allow: the capture must not set the graph's pace.
    capture = pw_stream_new(core, "latency capture",
                            pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Capture",
                                              PW_KEY_TARGET_OBJECT, "tarnek-sink", PW_KEY_STREAM_CAPTURE_SINK, "true",
                                              PW_KEY_NODE_LATENCY, "1024/48000", nullptr));
    spa_hook listener{};
    pw_stream_add_listener(capture, &listener, &events, nullptr);
    connectStereo(capture, PW_DIRECTION_INPUT);
    pw_thread_loop_unlock(loop);

    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    const KeyCode key = XKeysymToKeycode(display, XK_space);
    sleepMs(1000);

    std::vector<Stats> stats(windows.size());
    for (int n = 0; n < presses; ++n) {
        for (std::size_t w = 0; w < windows.size(); ++w) {
            XSetInputFocus(display, windows[w], RevertToParent, CurrentTime);
            XSync(display, False);
            sleepMs(gapMs + (n * 37) % 100); // off the cycle's beat
            const std::size_t pressBase = written.load(std::memory_order_acquire);
            const std::int64_t pressed = nowNs();
            XTestFakeKeyEvent(display, key, True, CurrentTime);
            XFlush(display);
            sleepMs(400);
            const std::size_t releaseBase = written.load(std::memory_order_acquire);
            const std::int64_t released = nowNs();
            XTestFakeKeyEvent(display, key, False, CurrentTime);
            XFlush(display);
            sleepMs(300);
            const std::int64_t on = soundSince(pressBase);
            const std::int64_t off = silenceSince(releaseBase, released);
            if (on >= 0 && on < released) stats[w].press.push_back(double(on - pressed) / 1e6);
            if (off >= 0) stats[w].release.push_back(double(off - released) / 1e6);
        }
    }
    for (std::size_t w = 0; w < windows.size(); ++w) {
        std::printf("%s\n", names[w].c_str());
        print("press -> sound", stats[w].press);
        print("release -> silence", stats[w].release);
    }
    pw_thread_loop_lock(loop);
    pw_stream_destroy(capture);
    pw_thread_loop_unlock(loop);
    pw_thread_loop_stop(loop);
    return 0;
}
