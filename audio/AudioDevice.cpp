#include "AudioDevice.h"

#include <cstdlib>
#include <cstring>

bool AudioDevice::open()
{
    if (isOpen()) return true;
    const char* wanted = std::getenv("TARNEK_AUDIO");
    const bool sdlOnly = (wanted != nullptr && std::strcmp(wanted, "sdl") == 0) ||
                         ((wanted == nullptr || *wanted == '\0') && std::getenv("SDL_AUDIODRIVER") != nullptr);
    const bool pipewireOnly = wanted != nullptr && std::strcmp(wanted, "pipewire") == 0;
    if (!sdlOnly && pipewire_.open()) {
        backend_ = Backend::PipeWire;
        return true;
    }
    if (!pipewireOnly && sdl_.open()) {
        backend_ = Backend::Sdl;
        return true;
    }
    return false;
}

void AudioDevice::close()
{
    pipewire_.close();
    sdl_.close();
    backend_ = Backend::None;
}

int AudioDevice::blockFrames() const
{
    switch (backend_) {
    case Backend::PipeWire: return pipewire_.blockFrames();
    case Backend::Sdl: return sdl_.blockFrames();
    case Backend::None: break;
    }
    return 0;
}
