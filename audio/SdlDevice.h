#pragma once

#include <SDL2/SDL_audio.h>

class Mixer;

// The audio device: SDL's audio subsystem pulling blocks from the mixer.
class SdlDevice {
public:
    /// Largest block the device asks for; keeps a press audible within one short period.
    static constexpr int kMaxFrames = 256;

    explicit SdlDevice(Mixer& mixer) : mixer_(mixer) {}
    ~SdlDevice() { close(); }
    SdlDevice(const SdlDevice&) = delete;
    SdlDevice& operator=(const SdlDevice&) = delete;

    /// Opens and starts the device; false when none can be opened.
    bool open();
    void close();
    bool isOpen() const { return device_ != 0; }
    /// Frames per block the device actually runs with.
    int blockFrames() const { return blockFrames_; }

    /// Runs `f` while the audio callback cannot run, for state the callback reads.
    template <typename F> void locked(F&& f)
    {
        if (device_ != 0) SDL_LockAudioDevice(device_);
        f();
        if (device_ != 0) SDL_UnlockAudioDevice(device_);
    }

private:
    static void callback(void* self, Uint8* stream, int bytes);

    Mixer& mixer_;
    SDL_AudioDeviceID device_ = 0;
    int blockFrames_ = 0;
    bool subsystemStarted_ = false;
};
