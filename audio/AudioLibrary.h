#pragma once

#include <cstdint>
#include <span>
#include <string>

// What dsGetFormat reports: the sound file's own format, not the device's.
struct SoundFormat {
    std::int32_t Channels = 0;
    std::int32_t BitsPerSample = 0;
    std::int32_t SamplesPerSec = 0;
};

// dsLoadMusicSegment refuses larger files: no real MIDI or segment file comes near it.
inline constexpr std::int64_t kMaxMusicFileBytes = 64 * 1024 * 1024;

// The audio library as its callers see it. Handles are issued by the library; 0 means
// no sound, and every operation accepts 0 (and a handle already freed) without failing.
// Volumes are hundredths of a decibel (0 full, -10000 silent); times are milliseconds.
// Every cut into sound (a stop, a restart, a free or a position change while it plays, a start
// inside the sound) fades over 3 ms, buffers and music alike; what the caller sees (playing or
// not, positions) changes at once.
class AudioLibrary {
public:
    using Handle = std::int32_t;

    virtual ~AudioLibrary() = default;

    /// Opens the audio device; non-zero on success, 0 when no device can be opened.
    virtual std::int32_t dsInit2(std::uintptr_t window, std::int32_t mode) = 0;
    /// Starts the music part; non-zero on success, 0 when no General MIDI SoundFont is found.
    virtual std::int32_t dsInitMusic() = 0;
    /// Stops and closes the music part; segments stay valid handles until freed.
    virtual void dsQuitMusic() = 0;
    /// Stops everything and closes the device.
    virtual void dsQuit() = 0;
    /// -1: keep sounding while another application has the focus.
    virtual void dsSetGlobalFocus(std::int16_t flag) = 0;

    /// Decodes a whole WAVE file image into a new buffer; 0 for data it cannot decode or a sound
    /// longer than 30 minutes.
    virtual Handle dsCreateDSB(std::span<const std::uint8_t> image, std::int32_t flags) = 0;
    /// Loads a MIDI or segment file into a new music segment; 0 on failure. A segment's wave
    /// items play with its music: the same calls start, stop, seek and set the volume of both.
    virtual Handle dsLoadMusicSegment(const std::string& path, std::int32_t flags) = 0;
    /// Releases a buffer; the caller's variable becomes 0.
    virtual void dsFree(Handle& buffer) = 0;
    /// Releases a segment; the caller's variable becomes 0.
    virtual void dsFreeMusicSegment(Handle& segment) = 0;

    /// Plays a buffer once from the start, restarting it if it is playing.
    virtual void dsPlay(const Handle& buffer) = 0;
    /// Plays a buffer from the start in a loop until stopped.
    virtual void dsPlayLooping(const Handle& buffer) = 0;
    /// Plays a buffer once from the start at the given volume (pan and frequency: 0 = unchanged).
    virtual void dsPlayEx(const Handle& buffer, std::int32_t volume, std::int32_t pan,
                          std::int32_t frequency) = 0;
    /// Plays a segment from the start, repeating it the given number of times (1000: until stopped).
    virtual void dsPlayMusicSegment(const Handle& segment, std::int32_t repeats) = 0;
    /// Stops a buffer.
    virtual void dsStop(const Handle& buffer) = 0;
    /// Stops a segment.
    virtual void dsStopMusicSegment(const Handle& segment) = 0;
    /// Non-zero while the buffer sounds.
    virtual std::int32_t dsIsPlaying(const Handle& buffer) = 0;
    /// Non-zero while the segment sounds.
    virtual std::int32_t dsIsPlayingMusicSegment(const Handle& segment) = 0;

    /// Sets a buffer's volume.
    virtual void dsSetVolume(const Handle& buffer, std::int32_t volume) = 0;
    /// Sets the volume of the music.
    virtual void dsSetMasterVolume(std::int32_t volume) = 0;
    /// Moves a buffer's play position.
    virtual void dsSetPositionMSec(const Handle& buffer, std::int32_t msec) = 0;
    /// A buffer's play position within its current pass.
    virtual std::int32_t dsGetPositionMSec(const Handle& buffer) = 0;
    /// A segment's play position within its current pass.
    virtual std::int32_t dsGetSeekMSec(const Handle& segment) = 0;
    /// A buffer's length.
    virtual std::int32_t dsGetBufferMSec(const Handle& buffer) = 0;
    /// A segment's length.
    virtual std::int32_t dsGetLengthMSec(const Handle& segment) = 0;
    /// Fills the sound file's channels, bits per sample and sample rate; zeros for handle 0.
    virtual void dsGetFormat(const Handle& buffer, SoundFormat& format) = 0;
};
