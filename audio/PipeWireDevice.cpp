#include "PipeWireDevice.h"

#include "Mixer.h"

#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

constexpr std::uint32_t kStride = sizeof(float) * Mixer::kChannels;
// A second of silence with nothing playing puts the stream to sleep: long enough for a
// synthesizer's tail to ring out, short enough that an idle program costs nothing.
constexpr int kIdleBlocks = Mixer::kSampleRate / PipeWireDevice::kBlockFrames;
// The longest the real-time thread waits for a command to let go of the mixer.
constexpr int kSpinMicroseconds = 800;
// While the server is gone: how often to look for it again.
constexpr long kRetryMs = 300;

void cpuRelax()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

timespec msec(long ms)
{
    return timespec{ms / 1000, (ms % 1000) * 1000000L};
}

} // namespace

struct PipeWireDevice::State {
    State(Mixer& m, std::mutex& l, std::atomic<bool>& a) : mixer(m), mixerLock(l), active(a) {}

    Mixer& mixer;
    std::mutex& mixerLock;
    std::atomic<bool>& active;
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_stream* stream = nullptr;
    spa_hook coreListener{};
    spa_hook streamListener{};
    spa_source* retryTimer = nullptr; // armed while the server is gone
    spa_source* idleEvent = nullptr;  // the process callback's request to sleep
    std::atomic<int> idleBlocks{0};

    bool connect();
    void disconnect();
    void retrySoon();
};

namespace {

void onProcess(void* data) noexcept
{
    // Real-time thread: the mixer renders, nothing else; no allocation, no waiting.
    auto* s = static_cast<PipeWireDevice::State*>(data);
    pw_buffer* b = pw_stream_dequeue_buffer(s->stream);
    if (b == nullptr) return;
    spa_data& d = b->buffer->datas[0];
    if (d.data == nullptr) {
        pw_stream_queue_buffer(s->stream, b);
        return;
    }
    std::uint32_t frames = d.maxsize / kStride;
    if (b->requested != 0) frames = std::min<std::uint32_t>(frames, std::uint32_t(b->requested));
    auto* out = static_cast<float*>(d.data);

    // A command holds the lock for microseconds, a music stop (its fade rendered, the synthesizer
    // reset) for a few hundred at most: spin that out, by the clock rather than by a count whose
    // length depends on the processor, rather than drop a block. Well within the cycle.
    std::unique_lock<std::mutex> lock(s->mixerLock, std::try_to_lock);
    if (!lock.owns_lock()) {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::microseconds(kSpinMicroseconds);
        do {
            for (int i = 0; i < 64 && !lock.owns_lock(); ++i) {
                cpuRelax();
                (void)lock.try_lock();
            }
        } while (!lock.owns_lock() && std::chrono::steady_clock::now() < giveUp);
    }
    bool sounding = true;
    if (lock.owns_lock()) {
        s->mixer.render(out, int(frames));
        sounding = s->mixer.sounding();
        lock.unlock();
    } else {
        std::fill(out, out + std::size_t(frames) * Mixer::kChannels, 0.0f);
    }
    if (!sounding && std::all_of(out, out + std::size_t(frames) * Mixer::kChannels, [](float v) { return v == 0.0f; })) {
        if (s->idleBlocks.fetch_add(1, std::memory_order_relaxed) + 1 == kIdleBlocks)
            pw_loop_signal_event(pw_thread_loop_get_loop(s->loop), s->idleEvent);
    } else {
        s->idleBlocks.store(0, std::memory_order_relaxed);
    }

    d.chunk->offset = 0;
    d.chunk->stride = kStride;
    d.chunk->size = frames * kStride;
    pw_stream_queue_buffer(s->stream, b);
}

void onStreamState(void* data, pw_stream_state, pw_stream_state state, const char*)
{
    if (state == PW_STREAM_STATE_ERROR) static_cast<PipeWireDevice::State*>(data)->retrySoon();
}

void onCoreError(void* data, std::uint32_t id, int, int res, const char*)
{
    // The server went away (or dropped us): start over with a fresh connection.
    if (id == PW_ID_CORE && res == -EPIPE) static_cast<PipeWireDevice::State*>(data)->retrySoon();
}

void onRetry(void* data, std::uint64_t)
{
    auto* s = static_cast<PipeWireDevice::State*>(data);
    s->disconnect();
    if (s->connect()) {
        timespec off{};
        pw_loop_update_timer(pw_thread_loop_get_loop(s->loop), s->retryTimer, &off, &off, false);
    }
}

void onIdle(void* data, std::uint64_t)
{
    auto* s = static_cast<PipeWireDevice::State*>(data);
    if (s->stream == nullptr) return;
    std::lock_guard<std::mutex> lock(s->mixerLock);
    if (s->idleBlocks.load() >= kIdleBlocks && !s->mixer.sounding()) {
        pw_stream_set_active(s->stream, false);
        s->active.store(false, std::memory_order_release);
    }
}

const pw_stream_events kStreamEvents = [] {
    pw_stream_events e{};
    e.version = PW_VERSION_STREAM_EVENTS;
    e.state_changed = onStreamState;
    e.process = onProcess;
    return e;
}();

const pw_core_events kCoreEvents = [] {
    pw_core_events e{};
    e.version = PW_VERSION_CORE_EVENTS;
    e.error = onCoreError;
    return e;
}();

} // namespace

// Loop thread (or its lock held).
bool PipeWireDevice::State::connect()
{
    core = pw_context_connect(context, nullptr, 0);
    if (core == nullptr) return false;
    pw_core_add_listener(core, &coreListener, &kCoreEvents, this);

    char latency[32];
    std::snprintf(latency, sizeof latency, "%d/%d", kBlockFrames, Mixer::kSampleRate);
    pw_properties* props = pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Playback",
                                             PW_KEY_NODE_NAME, "tarnek", PW_KEY_NODE_DESCRIPTION, "タルネク",
                                             PW_KEY_APP_NAME, "タルネク", PW_KEY_NODE_LATENCY, latency, nullptr);
    stream = pw_stream_new(core, "タルネク", props);
    if (stream == nullptr) {
        disconnect();
        return false;
    }
    pw_stream_add_listener(stream, &streamListener, &kStreamEvents, this);

    std::uint8_t podBuffer[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(podBuffer, sizeof podBuffer);
    spa_audio_info_raw info{};
    info.format = SPA_AUDIO_FORMAT_F32;
    info.rate = Mixer::kSampleRate;
    info.channels = Mixer::kChannels;
    info.position[0] = SPA_AUDIO_CHANNEL_FL;
    info.position[1] = SPA_AUDIO_CHANNEL_FR;
    const spa_pod* params[1] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &info)};

    // A bell held while the server came back sounds at once; otherwise the stream sleeps.
    bool sounding = false;
    {
        std::lock_guard<std::mutex> lock(mixerLock);
        sounding = mixer.sounding();
    }
    idleBlocks.store(0);
    active.store(sounding, std::memory_order_release);
    auto flags = pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS |
                                 (sounding ? 0 : PW_STREAM_FLAG_INACTIVE));
    if (pw_stream_connect(stream, PW_DIRECTION_OUTPUT, PW_ID_ANY, flags, params, 1) < 0) {
        disconnect();
        return false;
    }
    return true;
}

void PipeWireDevice::State::disconnect()
{
    if (stream != nullptr) {
        spa_hook_remove(&streamListener);
        pw_stream_destroy(stream); // waits for the process callback to leave
        stream = nullptr;
    }
    if (core != nullptr) {
        spa_hook_remove(&coreListener);
        pw_core_disconnect(core);
        core = nullptr;
    }
    active.store(false, std::memory_order_release);
}

void PipeWireDevice::State::retrySoon()
{
    // A timer, not a loop: nothing runs while the server is away but this every few tenths.
    timespec first = msec(10);
    timespec every = msec(kRetryMs);
    pw_loop_update_timer(pw_thread_loop_get_loop(loop), retryTimer, &first, &every, false);
}

PipeWireDevice::PipeWireDevice(Mixer& mixer) : mixer_(mixer) {}

PipeWireDevice::~PipeWireDevice()
{
    close();
}

bool PipeWireDevice::mixerSounding() const
{
    return mixer_.sounding();
}

bool PipeWireDevice::open()
{
    if (state_ != nullptr) return true;
    static std::once_flag initialised;
    std::call_once(initialised, [] { pw_init(nullptr, nullptr); });

    auto s = std::make_unique<State>(mixer_, mixerLock_, active_);
    s->loop = pw_thread_loop_new("tarnek-pipewire", nullptr);
    if (s->loop == nullptr) return false;
    // The client configuration that raises the data thread to real-time priority.
    s->context = pw_context_new(pw_thread_loop_get_loop(s->loop),
                                pw_properties_new(PW_KEY_CONFIG_NAME, "client-rt.conf", nullptr), 0);
    if (s->context == nullptr || pw_thread_loop_start(s->loop) != 0) {
        if (s->context != nullptr) pw_context_destroy(s->context);
        pw_thread_loop_destroy(s->loop);
        return false;
    }
    pw_thread_loop_lock(s->loop);
    pw_loop* loop = pw_thread_loop_get_loop(s->loop);
    s->retryTimer = pw_loop_add_timer(loop, onRetry, s.get());
    s->idleEvent = pw_loop_add_event(loop, onIdle, s.get());
    const bool connected = s->connect();
    pw_thread_loop_unlock(s->loop);
    state_ = std::move(s);
    if (!connected) close();
    return connected;
}

void PipeWireDevice::close()
{
    if (state_ == nullptr) return;
    State& s = *state_;
    pw_thread_loop_lock(s.loop);
    s.disconnect();
    pw_loop* loop = pw_thread_loop_get_loop(s.loop);
    pw_loop_destroy_source(loop, s.retryTimer);
    pw_loop_destroy_source(loop, s.idleEvent);
    pw_thread_loop_unlock(s.loop);
    pw_thread_loop_stop(s.loop);
    pw_context_destroy(s.context);
    pw_thread_loop_destroy(s.loop);
    state_.reset();
}

void PipeWireDevice::activate()
{
    if (state_ == nullptr) return;
    State& s = *state_;
    pw_thread_loop_lock(s.loop);
    if (s.stream != nullptr && !active_.load()) {
        s.idleBlocks.store(0);
        active_.store(true, std::memory_order_release);
        pw_stream_set_active(s.stream, true);
    }
    pw_thread_loop_unlock(s.loop);
}
