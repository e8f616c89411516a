#pragma once

#include "AudioDevice.h"
#include "AudioLibrary.h"
#include "Mixer.h"

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct DecodedSound;
struct MidiSong;
class SoundFontSynth;

// The real audio library: a mixer pulled by the audio device (PipeWire or SDL), with music through a
// General MIDI SoundFont found among the candidates it is given.
class VbDSnd2 final : public AudioLibrary {
public:
    /// `soundFontCandidates`: SoundFont paths to try, in order; empty entries are skipped.
    explicit VbDSnd2(std::vector<std::string> soundFontCandidates);
    ~VbDSnd2() override;

    std::int32_t dsInit2(std::uintptr_t window, std::int32_t mode) override;
    std::int32_t dsInitMusic() override;
    void dsQuitMusic() override;
    void dsQuit() override;
    void dsSetGlobalFocus(std::int16_t flag) override;

    Handle dsCreateDSB(std::span<const std::uint8_t> image, std::int32_t flags) override;
    Handle dsLoadMusicSegment(const std::string& path, std::int32_t flags) override;
    void dsFree(Handle& buffer) override;
    void dsFreeMusicSegment(Handle& segment) override;

    void dsPlay(const Handle& buffer) override;
    void dsPlayLooping(const Handle& buffer) override;
    void dsPlayEx(const Handle& buffer, std::int32_t volume, std::int32_t pan,
                  std::int32_t frequency) override;
    void dsPlayMusicSegment(const Handle& segment, std::int32_t repeats) override;
    void dsStop(const Handle& buffer) override;
    void dsStopMusicSegment(const Handle& segment) override;
    std::int32_t dsIsPlaying(const Handle& buffer) override;
    std::int32_t dsIsPlayingMusicSegment(const Handle& segment) override;

    void dsSetVolume(const Handle& buffer, std::int32_t volume) override;
    void dsSetMasterVolume(std::int32_t volume) override;
    void dsSetPositionMSec(const Handle& buffer, std::int32_t msec) override;
    std::int32_t dsGetPositionMSec(const Handle& buffer) override;
    std::int32_t dsGetSeekMSec(const Handle& segment) override;
    std::int32_t dsGetBufferMSec(const Handle& buffer) override;
    std::int32_t dsGetLengthMSec(const Handle& segment) override;
    void dsGetFormat(const Handle& buffer, SoundFormat& format) override;

    /// The SoundFont dsInitMusic chose; empty while music is not started.
    const std::string& soundFontPath() const { return soundFontPath_; }
    /// Frames per block of the open device; 0 while closed.
    int deviceBlockFrames() const { return device_.blockFrames(); }
    /// Which output the open device uses.
    AudioDevice::Backend deviceBackend() const { return device_.backend(); }
    /// Renders the output directly, for offline use while no device is open.
    void render(float* out, int frames);
    /// Style segments compose their music anew for every play, drawing from `seed` plus the
    /// plays so far; without it, from the system's random numbers. For tests.
    void setCompositionSeed(std::uint32_t seed) { compositionSeed_ = seed; }
    /// The music a segment handle plays, or nullptr. For tests.
    const MidiSong* music(Handle h) const { return segment(h); }
    /// The synthesizer of the chosen SoundFont, loading or loaded; nullptr before dsInitMusic.
    SoundFontSynth* synth() const { return synth_.get(); }

private:
    struct Buffer {
        std::shared_ptr<const DecodedSound> sound;
        int slot = -1;
    };

    Handle newHandle();
    const Buffer* buffer(Handle h) const;
    const MidiSong* segment(Handle h) const;
    bool chooseSoundFont();
    bool ensureSynth();
    void releaseFadedVoices();
    void loadCollections(Handle h, MidiSong& song);
    void reloadCollections();
    void releaseCollections(Handle h);

    // A DLS collection loaded into the synthesizer, shared by the segments that name the same
    // bytes.
    struct Collection {
        std::vector<std::uint8_t> bytes; // as the segments hold it
        int loadedFor = -1;              // the synthesizer generation it went into
        int font = -1;                   // -1: it failed to load
        int users = 0;
    };

    std::vector<std::string> soundFontCandidates_;
    std::string soundFontPath_;
    std::unordered_set<std::string> unloadable_; // passed the header check, then failed to load
    bool globalFocus_ = false;
    Mixer mixer_;
    AudioDevice device_{mixer_};
    std::unique_ptr<SoundFontSynth> synth_; // kept across music restarts: loading is slow
    int synthGeneration_ = 0;                // counts the synthesizers made
    std::unordered_map<Handle, Buffer> buffers_;
    std::vector<Buffer> fading_; // freed while sounding: kept until their fade-out has played
    std::unordered_map<Handle, std::unique_ptr<MidiSong>> segments_;
    // A style segment's file, and the notes of its next play, composed after this one started.
    struct Composer {
        std::vector<std::uint8_t> bytes;
        std::string path;
        std::uint32_t plays = 0;
        std::vector<MidiEvent> next;
        bool ready = false;
    };
    std::unordered_map<Handle, Composer> composers_;
    std::optional<std::uint32_t> compositionSeed_;
    std::uint32_t compositionSeed(std::uint32_t plays) const;
    std::vector<std::unique_ptr<Collection>> collections_;
    std::unordered_map<Handle, std::vector<Collection*>> segmentCollections_; // by MidiSong::collections
    Handle lastHandle_ = 0;
};

/// True when `path` names a readable SoundFont (a RIFF file of form "sfbk"); reads 12 bytes only.
bool isSoundFontFile(const std::string& path);
