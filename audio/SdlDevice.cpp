#include "SdlDevice.h"

#include "Mixer.h"

#include <SDL2/SDL.h>

#include <chrono>

namespace {

// How often the watcher looks at the device, and tries again while it is gone.
constexpr std::chrono::milliseconds kWatchPeriod{400};

} // namespace

SDL_AudioDeviceID SdlDevice::openDevice()
{
    if (!subsystemStarted_) {
        // SDL's handlers would turn Ctrl+C and kill into a quit event that nobody reads; the
        // process's signals belong to the program.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return 0;
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
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device == 0) {
        stopSubsystem();
        return 0;
    }
    blockFrames_ = have.samples;
    return device;
}

void SdlDevice::stopSubsystem()
{
    // A new start connects to the sound server afresh: SDL keeps its first connection otherwise.
    if (subsystemStarted_) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        subsystemStarted_ = false;
    }
}

bool SdlDevice::open()
{
    if (open_) return true;
    const SDL_AudioDeviceID device = openDevice();
    if (device == 0) return false;
    device_ = device;
    open_ = true;
    SDL_PauseAudioDevice(device_, 0);
    stopping_ = false;
    watcher_ = std::thread([this] { watch(); });
    return true;
}

void SdlDevice::close()
{
    if (watcher_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(watchMutex_);
            stopping_ = true;
        }
        watchWake_.notify_all();
        watcher_.join();
    }
    if (device_ != 0) {
        SDL_CloseAudioDevice(device_);
        device_ = 0;
    }
    stopSubsystem();
    open_ = false;
    blockFrames_ = 0;
}

void SdlDevice::watch()
{
    std::unique_lock<std::mutex> wait(watchMutex_);
    while (!watchWake_.wait_for(wait, kWatchPeriod, [this] { return stopping_; })) {
        // Only this thread changes the device while it runs.
        if (device_ != 0 && SDL_GetAudioDeviceStatus(device_) != SDL_AUDIO_STOPPED) continue;
        if (device_ != 0) {
            SDL_AudioDeviceID gone = 0;
            {
                std::lock_guard<std::mutex> lock(deviceLock_);
                std::swap(gone, device_);
            }
            SDL_CloseAudioDevice(gone);
            stopSubsystem();
        }
        const SDL_AudioDeviceID device = openDevice();
        if (device == 0) continue;
        {
            std::lock_guard<std::mutex> lock(deviceLock_);
            device_ = device;
        }
        SDL_PauseAudioDevice(device, 0);
    }
}

void SdlDevice::callback(void* self, Uint8* stream, int bytes)
{
    // Audio thread: only the mixer runs here.
    auto* device = static_cast<SdlDevice*>(self);
    const int frames = bytes / static_cast<int>(sizeof(float) * Mixer::kChannels);
    device->mixer_.render(reinterpret_cast<float*>(stream), frames);
}
