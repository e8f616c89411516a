#pragma once
// The benchmark clients' connection: a thread loop whose data thread may run real-time, and a
// core. Returned with the loop locked, ready for a stream to be made; ends the program with a
// message when no server answers.
#include <pipewire/pipewire.h>

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
