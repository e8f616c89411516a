#pragma once
// The benchmark clients' connection: a thread loop whose data thread may run real-time, and a
// core. Returned with the loop locked, ready for a stream to be made; ends the program with a
// message when no server answers.
#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

struct PipeWireClient {
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
};

inline PipeWireClient connectLocked(const char* name)
{
    PipeWireClient client;
    client.loop = pw_thread_loop_new(name, nullptr);
    client.context = pw_context_new(pw_thread_loop_get_loop(client.loop),
                                    pw_properties_new(PW_KEY_CONFIG_NAME, "client-rt.conf", nullptr), 0);
    pw_thread_loop_start(client.loop);
    pw_thread_loop_lock(client.loop);
    client.core = pw_context_connect(client.context, nullptr, 0);
    if (client.core == nullptr) {
        std::fprintf(stderr, "no PipeWire server\n");
        std::exit(1);
    }
    return client;
}

// Connects a stream of 48 kHz stereo float to whatever the session manager links it to, its
// process callback on the real-time data thread.
inline void connectStereo(pw_stream* stream, pw_direction direction)
{
    std::uint8_t podBuffer[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(podBuffer, sizeof podBuffer);
    spa_audio_info_raw info{};
    info.format = SPA_AUDIO_FORMAT_F32;
    info.rate = 48000;
    info.channels = 2;
    info.position[0] = SPA_AUDIO_CHANNEL_FL;
    info.position[1] = SPA_AUDIO_CHANNEL_FR;
    const spa_pod* params[1] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &info)};
    pw_stream_connect(stream, direction, PW_ID_ANY,
                      pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS),
                      params, 1);
}
