#pragma once

#include "MidiSong.h"
#include "WavePlayer.h"

#include <cstdint>
#include <vector>

typedef struct _fluid_synth_t fluid_synth_t;

// Plays one song at a time through a FluidSynth synthesizer, and its wave items alongside,
// sample-accurately, inside the mixer's render. Same thread rules as the mixer: render() on the audio thread, the rest
// while the audio thread is held off.
class MusicPlayer {
public:
    static constexpr int kSampleRate = 48000;

    MusicPlayer();

    /// The synthesizer to play through; nullptr until a SoundFont is loaded.
    void setSynth(fluid_synth_t* synth);
    /// Plays `song` from its start; `repeats` more passes follow the first. The song must
    /// outlive its playing (stop() or another start() first). What was sounding fades out.
    void start(const MidiSong* song, std::int32_t repeats);
    /// Stops at once: what sounds fades out over the mixer's fade, as a stopped buffer does.
    void stop();
    bool isPlaying() const { return playing_; }
    bool isPlaying(const MidiSong* song) const { return playing_ && song_ == song; }
    /// True while waves still ring, which they may do for a while after the song has ended.
    bool wavesSounding() const noexcept { return waves_.sounding(); }
    /// The song being played (also just after it ended), or nullptr.
    const MidiSong* song() const { return song_; }
    /// Position within the current pass, in the song's own milliseconds.
    double seekMs() const;
    /// Music volume in hundredths of a decibel.
    void setVolume(std::int32_t volume);

    /// Adds the music to `out` (interleaved stereo). Audio thread.
    void render(float* out, int frames) noexcept;

private:
    void dispatch(const MidiEvent& event) noexcept;
    void selectProgram(const MidiEvent& event, int channel) noexcept;
    void resetSynth();
    void fadeOutWhatSounds();
    void renderSynth(float* out, int frames) noexcept;
    std::int64_t frameOf(double ms) const noexcept;
    void beginPass(double fromMs) noexcept;
    void chaseTo(double ms) noexcept;
    double passEndMs() const noexcept;
    void endPass() noexcept;
    void renderWaves(float* buffer, int frames) noexcept;

    fluid_synth_t* synth_ = nullptr;
    const MidiSong* song_ = nullptr;
    bool playing_ = false;
    std::int32_t passesLeft_ = 0;
    double passStartMs_ = 0.0;     // where the current pass began in song time
    std::int64_t passFrame_ = 0;   // frames played in the current pass
    std::size_t nextEvent_ = 0;
    std::int64_t tailFrames_ = 0;  // frames the synth keeps rendering after the music ends
    std::vector<float> cutOff_;    // what sounded when the music was cut, faded out, still to play
    int cutOffLeft_ = 0;
    float gain_ = 1.0f;
    float targetGain_ = 1.0f;
    std::vector<float> scratch_;
    WavePlayer waves_;
};
