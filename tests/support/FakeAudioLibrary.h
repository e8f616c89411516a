#pragma once

#include "AudioLibrary.h"

#include <deque>
#include <map>
#include <string>
#include <vector>

// Records every call with its arguments ("dsPlayEx(3,-1000,0,0)") and answers from a script:
// queued results per operation first, then that operation's default (0 unless set).
class FakeAudioLibrary final : public AudioLibrary {
public:
    std::vector<std::string> calls;
    std::map<std::string, std::deque<std::int32_t>> scripted;
    std::map<std::string, std::int32_t> defaults{{"dsInit2", 1}, {"dsInitMusic", 1}};
    SoundFormat format{};

    /// Queues results for the next calls of `operation`.
    void script(const std::string& operation, std::vector<std::int32_t> results);
    /// Calls whose name starts with `prefix`, in order.
    std::vector<std::string> callsOf(const std::string& prefix) const;
    /// The names of all calls, without arguments.
    std::vector<std::string> names() const;

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

private:
    template <typename... Args> void record(const char* name, const Args&... args);
    std::int32_t answer(const std::string& name);
};
