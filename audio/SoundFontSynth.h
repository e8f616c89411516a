#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

typedef struct _fluid_synth_t fluid_synth_t;
typedef struct _fluid_hashtable_t fluid_settings_t;

// A FluidSynth synthesizer with a General MIDI SoundFont, loaded on a thread of its own so
// that nobody waits for the SoundFont unless they need it.
class SoundFontSynth {
public:
    SoundFontSynth(const std::string& soundFontPath, int sampleRate);
    ~SoundFontSynth();
    SoundFontSynth(const SoundFontSynth&) = delete;
    SoundFontSynth& operator=(const SoundFontSynth&) = delete;

    const std::string& path() const { return path_; }
    /// The synthesizer once loaded, else nullptr; never waits.
    fluid_synth_t* ready() const { return ready_.load(std::memory_order_acquire); }
    /// Waits for the load to end; the synthesizer, or nullptr when the SoundFont failed to load.
    fluid_synth_t* wait();
    /// Milliseconds the load took, once it ended.
    double loadMs() const { return loadMs_; }

private:
    void load(int sampleRate);

    std::string path_;
    fluid_settings_t* settings_ = nullptr;
    fluid_synth_t* synth_ = nullptr;
    std::atomic<fluid_synth_t*> ready_{nullptr};
    double loadMs_ = 0.0;
    std::thread loader_;
};
