#include "SoundFontSynth.h"

#include "MidiSong.h"

#include <fluidsynth.h>

#include <chrono>
#include <mutex>

namespace {

void silenceLog()
{
    // FluidSynth would print every warning of a SoundFont to the terminal. Its log table is
    // process-wide: written once, before any loader thread reads it.
    static std::once_flag silenced;
    std::call_once(silenced, [] {
        fluid_set_log_function(FLUID_WARN, nullptr, nullptr);
        fluid_set_log_function(FLUID_INFO, nullptr, nullptr);
        fluid_set_log_function(FLUID_DBG, nullptr, nullptr);
    });
}

fluid_synth_t* newSynth(fluid_settings_t* settings)
{
    // The first synthesizer of the process sets up FluidSynth's tables and default modulators,
    // flag first and without a lock: one made at the same moment on another thread would copy
    // them half set and sound wrong. The others wait for the first.
    static std::once_flag first;
    fluid_synth_t* synth = nullptr;
    bool wasFirst = false;
    std::call_once(first, [&] {
        synth = new_fluid_synth(settings);
        wasFirst = true;
    });
    return wasFirst ? synth : new_fluid_synth(settings);
}

} // namespace

SoundFontSynth::SoundFontSynth(const std::string& soundFontPath, int sampleRate) : path_(soundFontPath)
{
    silenceLog();
    loader_ = std::thread([this, sampleRate] { load(sampleRate); });
}

SoundFontSynth::~SoundFontSynth()
{
    if (loader_.joinable()) loader_.join();
    if (synth_ != nullptr) delete_fluid_synth(synth_);
    if (settings_ != nullptr) delete_fluid_settings(settings_);
}

fluid_synth_t* SoundFontSynth::wait()
{
    if (loader_.joinable()) loader_.join();
    return ready();
}

void SoundFontSynth::load(int sampleRate)
{
    const auto start = std::chrono::steady_clock::now();
    settings_ = new_fluid_settings();
    if (settings_ != nullptr) {
        fluid_settings_setnum(settings_, "synth.sample-rate", sampleRate);
        // Only the audio thread plays the synthesizer once it is published.
        fluid_settings_setint(settings_, "synth.threadsafe-api", 0);
        fluid_settings_setint(settings_, "synth.cpu-cores", 1);
        fluid_settings_setint(settings_, "synth.midi-channels", kMusicChannels);
        // FluidSynth's default (0.2) leaves room for a full orchestra; a bell melody of a few
        // voices would sound far quieter than a WAVE bell at it.
        fluid_settings_setnum(settings_, "synth.gain", 0.5);
        synth_ = newSynth(settings_);
    }
    if (synth_ != nullptr && fluid_synth_sfload(synth_, path_.c_str(), 1) != FLUID_FAILED) {
        ready_.store(synth_, std::memory_order_release);
    }
    loadMs_ = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}
