#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <thread>

typedef struct _fluid_synth_t fluid_synth_t;
typedef struct _fluid_hashtable_t fluid_settings_t;
typedef struct _fluid_sfont_t fluid_sfont_t;

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

    /// Loads a DLS collection from memory into a synthesizer of its own, so that the one that
    /// plays never waits for it; nullptr when it fails. Not on the audio thread; after wait().
    fluid_sfont_t* loadCollection(std::span<const std::uint8_t> dls);
    /// Hands a loaded collection to the playing synthesizer, under the General MIDI SoundFont so
    /// that ordinary program changes still find theirs; its font id. While the audio thread is
    /// held off.
    int addCollection(fluid_sfont_t* font);
    /// Unloads a collection added before; nothing may sound from it. While the audio thread is
    /// held off.
    void removeCollection(int fontId);
    /// Renders a moment into nowhere, so that voices stopped by a reset are gone from the
    /// synthesizer. While the audio thread is held off, and only while nothing should sound.
    void settle();

private:
    void load(int sampleRate);
    template <typename F>
    void keepingPrograms(F change);

    std::string path_;
    fluid_settings_t* settings_ = nullptr;
    fluid_synth_t* synth_ = nullptr;
    int soundFontId_ = -1;
    fluid_settings_t* loaderSettings_ = nullptr;
    fluid_synth_t* collectionLoader_ = nullptr; // where collections load
    std::atomic<fluid_synth_t*> ready_{nullptr};
    double loadMs_ = 0.0;
    std::thread loader_;
};
