#pragma once

#include <SDL2/SDL_audio.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

class Mixer;

// The audio device through SDL's audio subsystem, pulling blocks from the mixer. A watcher
// thread looks at the device a few times a second and, when SDL reports it stopped (the
// sound server went away, the device was unplugged), reopens it once it can.
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
    bool isOpen() const { return open_; }
    /// Frames per block the device actually runs with.
    int blockFrames() const { return blockFrames_; }

    /// Runs `f` while the audio callback cannot run, for state the callback reads.
    template <typename F> void locked(F&& f)
    {
        std::lock_guard<std::mutex> lock(deviceLock_); // the watcher may be replacing the device
        if (device_ != 0) SDL_LockAudioDevice(device_);
        f();
        if (device_ != 0) SDL_UnlockAudioDevice(device_);
    }

private:
    static void callback(void* self, Uint8* stream, int bytes);
    /// Starts the subsystem if needed and opens a paused device; 0 when it cannot.
    SDL_AudioDeviceID openDevice();
    void stopSubsystem();
    void watch();

    Mixer& mixer_;
    std::mutex deviceLock_;
    SDL_AudioDeviceID device_ = 0; // 0 while reopening
    bool open_ = false;
    std::atomic<int> blockFrames_{0};
    bool subsystemStarted_ = false;

    std::thread watcher_;
    std::mutex watchMutex_;
    std::condition_variable watchWake_;
    bool stopping_ = false;
};
