// The smallest native PipeWire client that plays while a key is held: an X11 window whose key
// events switch a tone that a real-time process callback writes, FRAMES (256) a cycle, the
// stream always running. latency.sh measures it beside the program as the floor.
// Run: ReferenceClient [FRAMES]   (DISPLAY and the PipeWire server from the environment); prints its
// window's id.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include "PipeWireClient.h"

#include <pipewire/pipewire.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

std::atomic<bool> keyDown{false};
pw_stream* stream = nullptr;
double phase = 0.0;

void onProcess(void*)
{
    pw_buffer* b = pw_stream_dequeue_buffer(stream);
    if (b == nullptr) return;
    spa_data& d = b->buffer->datas[0];
    if (d.data == nullptr) {
        pw_stream_queue_buffer(stream, b);
        return;
    }
    std::uint32_t frames = d.maxsize / 8;
    if (b->requested != 0 && b->requested < frames) frames = std::uint32_t(b->requested);
    auto* out = static_cast<float*>(d.data);
    const bool on = keyDown.load(std::memory_order_relaxed);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const float v = on ? float(0.3 * std::sin(phase)) : 0.0f;
        phase = std::fmod(phase + 2.0 * M_PI * 1000.0 / 48000.0, 2.0 * M_PI);
        out[2 * i] = out[2 * i + 1] = v;
    }
    d.chunk->offset = 0;
    d.chunk->stride = 8;
    d.chunk->size = frames * 8;
    pw_stream_queue_buffer(stream, b);
}

} // namespace

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::atoi(argv[1]) : 256;
    char latency[32];
    std::snprintf(latency, sizeof latency, "%d/48000", frames);
    pw_init(&argc, &argv);
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    XkbSetDetectableAutoRepeat(display, 1, nullptr);
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 100, 320, 64, 0, 0, 0);
    XStoreName(display, window, "reference client");
    XSelectInput(display, window, KeyPressMask | KeyReleaseMask);
    XMapWindow(display, window);
    XFlush(display);

    const PipeWireClient client = connectLocked("reference");
    pw_thread_loop* loop = client.loop;
    pw_core* core = client.core;
    static pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.process = onProcess;
    stream = pw_stream_new(core, "reference",
                           pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Playback",
                                             PW_KEY_NODE_NAME, "reference", PW_KEY_NODE_LATENCY, latency, nullptr));
    spa_hook listener{};
    pw_stream_add_listener(stream, &listener, &events, nullptr);
    connectStereo(stream, PW_DIRECTION_OUTPUT);
    pw_thread_loop_unlock(loop);
    std::printf("%lu\n", window); // for the benchmark to find the window
    std::fflush(stdout);

    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == KeyPress) keyDown = true;
        if (event.type == KeyRelease) keyDown = false;
    }
}
