#pragma once

#include "MusicPlayer.h"
#include "SampleBuffer.h"

#include <array>
#include <cstdint>
#include <vector>

// Produces the device's output: the playing buffers' voices plus the music. Pure and
// device-independent: tests call render() directly.
//
// Thread rules: render() runs on the audio thread; every other member is called from the
// user-interface thread while the audio thread is held off (the device lock), or offline.
class Mixer {
public:
    static constexpr int kSampleRate = 48000;
    static constexpr int kChannels = 2;
    /// Every cut into sound (a stop, a restart, a jump, a start inside the sound) fades over
    /// this many frames, 3 ms: long enough not to click, short enough to be "at once".
    static constexpr int kFadeFrames = kSampleRate * 3 / 1000;

    Mixer();

    /// Writes `frames` interleaved stereo float frames to `out`.
    /// Audio thread: no allocation, no blocking, no calls into the program.
    void render(float* out, int frames) noexcept;

    /// Frames rendered since the mixer was made; the library's clock.
    std::int64_t framesRendered() const noexcept { return framesRendered_; }

    /// Adds a voice for immutable frames owned by the caller; returns its slot.
    int addVoice(const SampleBuffer* frames);
    /// Removes a voice; its frames may be released afterwards.
    void removeVoice(int slot);

    /// Starts a voice from the start, once or looping; what it was playing fades out.
    void play(int slot, bool looping);
    /// Stops at once for the caller; what was heard fades out over kFadeFrames.
    void stop(int slot);
    bool isPlaying(int slot) const;
    /// True while the voice plays or a cut of it still fades out.
    bool isSounding(int slot) const;
    /// Volume in hundredths of a decibel; -10000 or lower is silence.
    void setVolume(int slot, std::int32_t volume);
    /// Play position in frames within the current pass. A jump while playing fades the old
    /// position out and the new one in (from the start of the sound, only out).
    void setPosition(int slot, std::int64_t frame);
    std::int64_t position(int slot) const;

    /// True while a voice, the music or its waves play; their tails may still ring for a moment after.
    bool sounding() const noexcept;

    MusicPlayer& music() { return music_; }
    const MusicPlayer& music() const { return music_; }

    /// Linear gain of a volume in hundredths of a decibel.
    static float gainOf(std::int32_t volume);
    /// The fade's gain at step `k` of kFadeFrames, rising from near 0 to near 1 (raised cosine).
    static float fadeGain(int k) noexcept { return fadeCurve_[static_cast<std::size_t>(k)]; }

private:
    // A place in a voice's frames.
    struct Cursor {
        std::int64_t position = 0;
        bool looping = false;
        bool wrapped = false; // a later pass of a loop: the sound's end comes before its start
    };
    // A cut-off stretch of a voice, fading out on its own.
    struct Tail {
        Cursor at;
        float gain = 0.0f;
        int left = 0;
    };
    struct Voice {
        const SampleBuffer* frames = nullptr;
        std::int64_t frameCount = 0;
        Cursor at;
        float gain = 1.0f;       // reached at the end of the current block
        float targetGain = 1.0f; // a change is ramped over one block to avoid a click
        int fadeIn = 0;          // frames of a fade-in still to come
        bool heard = false;      // frames rendered since the last start or jump
        bool used = false;
        bool playing = false;
        std::array<Tail, 2> tails{};
    };

    static const std::array<float, kFadeFrames> fadeCurve_;

    void mixVoice(Voice& voice, float* out, int frames) noexcept;
    void mixTail(const Voice& voice, Tail& tail, float* out, int frames) noexcept;
    void frameAt(const Voice& voice, const Cursor& at, float& left, float& right) const noexcept;
    void cut(Voice& voice);
    Voice* voice(int slot);
    const Voice* voice(int slot) const;

    std::vector<Voice> voices_;
    MusicPlayer music_;
    std::int64_t framesRendered_ = 0;
};
