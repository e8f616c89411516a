#include "SdlDevice.h"

#include "Mixer.h"

#include <SDL2/SDL.h>

bool SdlDevice::open()
{
    if (device_ != 0) return true;
    if (!subsystemStarted_) {
        // SDL's handlers would turn Ctrl+C and kill into a quit event that nobody reads; the
        // process's signals belong to the program.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
        subsystemStarted_ = true;
    }
    SDL_AudioSpec want{};
    want.freq = Mixer::kSampleRate;
    want.format = AUDIO_F32SYS;
    want.channels = Mixer::kChannels;
    want.samples = kMaxFrames;
    want.callback = &SdlDevice::callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts, and the mixer keeps one fixed format.
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device_ == 0) {
        close();
        return false;
    }
    blockFrames_ = have.samples;
    SDL_PauseAudioDevice(device_, 0);
    return true;
}

void SdlDevice::close()
{
    if (device_ != 0) {
        SDL_CloseAudioDevice(device_);
        device_ = 0;
    }
    if (subsystemStarted_) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        subsystemStarted_ = false;
    }
    blockFrames_ = 0;
}

void SdlDevice::callback(void* self, Uint8* stream, int bytes)
{
    // Audio thread: only the mixer runs here.
    auto* device = static_cast<SdlDevice*>(self);
    const int frames = bytes / static_cast<int>(sizeof(float) * Mixer::kChannels);
    device->mixer_.render(reinterpret_cast<float*>(stream), frames);
}
