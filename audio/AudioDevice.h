#pragma once

#include "PipeWireDevice.h"
#include "SdlDevice.h"

class Mixer;

// The output the mixer plays through: PipeWire directly when a PipeWire server answers,
// otherwise SDL (ALSA, PulseAudio, or the driver SDL_AUDIODRIVER names). TARNEK_AUDIO=sdl or
// TARNEK_AUDIO=pipewire forces one; SDL_AUDIODRIVER set (tests use dummy and disk) means SDL.
// The choice is made when the device opens and kept until it closes.
class AudioDevice {
public:
    enum class Backend { None, PipeWire, Sdl };

    explicit AudioDevice(Mixer& mixer) : pipewire_(mixer), sdl_(mixer) {}
    AudioDevice(const AudioDevice&) = delete;
    AudioDevice& operator=(const AudioDevice&) = delete;

    /// Opens the chosen backend; false when it cannot be opened.
    bool open();
    void close();
    bool isOpen() const { return backend_ != Backend::None; }
    Backend backend() const { return backend_; }
    /// Frames per block of the open device; 0 while closed.
    int blockFrames() const;

    /// Runs `f` while the audio thread cannot render, for state the mixer reads.
    template <typename F> void locked(F&& f)
    {
        if (backend_ == Backend::PipeWire)
            pipewire_.locked(f);
        else
            sdl_.locked(f);
    }

private:
    PipeWireDevice pipewire_;
    SdlDevice sdl_;
    Backend backend_ = Backend::None;
};
