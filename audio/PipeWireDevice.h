#pragma once

#include <atomic>
#include <memory>
#include <mutex>

class Mixer;

// The audio device on a PipeWire server: one playback stream whose process callback runs on
// PipeWire's real-time thread and renders the mixer there. The stream sleeps while nothing
// sounds and wakes with the next command that makes sound. When the server goes away, the
// device reconnects by itself every few hundred milliseconds until it is back.
class PipeWireDevice {
public:
    /// Frames per graph cycle the stream asks for (node.latency): 2.7 ms at 48 kHz.
    static constexpr int kBlockFrames = 128;

    explicit PipeWireDevice(Mixer& mixer);
    ~PipeWireDevice();
    PipeWireDevice(const PipeWireDevice&) = delete;
    PipeWireDevice& operator=(const PipeWireDevice&) = delete;

    /// Connects and starts the stream; false when no PipeWire server is reachable.
    bool open();
    void close();
    bool isOpen() const { return state_ != nullptr; }
    int blockFrames() const { return isOpen() ? kBlockFrames : 0; }

    /// Runs `f` while the process callback cannot render, then wakes the stream if the mixer
    /// now has something to play.
    template <typename F> void locked(F&& f)
    {
        bool sounding = false;
        {
            std::lock_guard<std::mutex> lock(mixerLock_);
            f();
            sounding = mixerSounding();
        }
        if (sounding && !active_.load(std::memory_order_acquire)) activate();
    }

    struct State; // the PipeWire objects, in the .cpp

private:
    bool mixerSounding() const;
    void activate();

    Mixer& mixer_;
    // Held by commands for a few microseconds and by the process callback, which only tries it:
    // the real-time thread never waits behind the user-interface thread.
    std::mutex mixerLock_;
    std::atomic<bool> active_{false};
    std::unique_ptr<State> state_;
};
