#include "FakeAudioLibrary.h"

#include <sstream>

template <typename... Args> void FakeAudioLibrary::record(const char* name, const Args&... args)
{
    std::ostringstream line;
    line << name << '(';
    [[maybe_unused]] const char* separator = "";
    ((line << separator << args, separator = ","), ...);
    line << ')';
    calls.push_back(line.str());
}

std::int32_t FakeAudioLibrary::answer(const std::string& name)
{
    auto queued = scripted.find(name);
    if (queued != scripted.end() && !queued->second.empty()) {
        const std::int32_t value = queued->second.front();
        queued->second.pop_front();
        return value;
    }
    auto fallback = defaults.find(name);
    return fallback != defaults.end() ? fallback->second : 0;
}

void FakeAudioLibrary::script(const std::string& operation, std::vector<std::int32_t> results)
{
    auto& queue = scripted[operation];
    queue.insert(queue.end(), results.begin(), results.end());
}

std::vector<std::string> FakeAudioLibrary::callsOf(const std::string& prefix) const
{
    std::vector<std::string> matching;
    for (const auto& call : calls)
        if (call.rfind(prefix, 0) == 0) matching.push_back(call);
    return matching;
}

std::vector<std::string> FakeAudioLibrary::names() const
{
    std::vector<std::string> result;
    for (const auto& call : calls) result.push_back(call.substr(0, call.find('(')));
    return result;
}

std::int32_t FakeAudioLibrary::dsInit2(std::uintptr_t, std::int32_t mode)
{
    record("dsInit2", mode);
    return answer("dsInit2");
}

std::int32_t FakeAudioLibrary::dsInitMusic()
{
    record("dsInitMusic");
    return answer("dsInitMusic");
}

void FakeAudioLibrary::dsQuitMusic() { record("dsQuitMusic"); }
void FakeAudioLibrary::dsQuit() { record("dsQuit"); }
void FakeAudioLibrary::dsSetGlobalFocus(std::int16_t flag) { record("dsSetGlobalFocus", flag); }

AudioLibrary::Handle FakeAudioLibrary::dsCreateDSB(std::span<const std::uint8_t> image, std::int32_t flags)
{
    record("dsCreateDSB", image.size(), flags);
    return answer("dsCreateDSB");
}

AudioLibrary::Handle FakeAudioLibrary::dsLoadMusicSegment(const std::string& path, std::int32_t flags)
{
    record("dsLoadMusicSegment", path, flags);
    return answer("dsLoadMusicSegment");
}

void FakeAudioLibrary::dsFree(Handle& buffer)
{
    record("dsFree", buffer);
    buffer = 0;
}

void FakeAudioLibrary::dsFreeMusicSegment(Handle& segment)
{
    record("dsFreeMusicSegment", segment);
    segment = 0;
}

void FakeAudioLibrary::dsPlay(const Handle& buffer) { record("dsPlay", buffer); }
void FakeAudioLibrary::dsPlayLooping(const Handle& buffer) { record("dsPlayLooping", buffer); }

void FakeAudioLibrary::dsPlayEx(const Handle& buffer, std::int32_t volume, std::int32_t pan,
                                std::int32_t frequency)
{
    record("dsPlayEx", buffer, volume, pan, frequency);
}

void FakeAudioLibrary::dsPlayMusicSegment(const Handle& segment, std::int32_t repeats)
{
    record("dsPlayMusicSegment", segment, repeats);
}

void FakeAudioLibrary::dsStop(const Handle& buffer) { record("dsStop", buffer); }
void FakeAudioLibrary::dsStopMusicSegment(const Handle& segment) { record("dsStopMusicSegment", segment); }

std::int32_t FakeAudioLibrary::dsIsPlaying(const Handle& buffer)
{
    record("dsIsPlaying", buffer);
    return answer("dsIsPlaying");
}

std::int32_t FakeAudioLibrary::dsIsPlayingMusicSegment(const Handle& segment)
{
    record("dsIsPlayingMusicSegment", segment);
    return answer("dsIsPlayingMusicSegment");
}

void FakeAudioLibrary::dsSetVolume(const Handle& buffer, std::int32_t volume) { record("dsSetVolume", buffer, volume); }
void FakeAudioLibrary::dsSetMasterVolume(std::int32_t volume) { record("dsSetMasterVolume", volume); }

void FakeAudioLibrary::dsSetPositionMSec(const Handle& buffer, std::int32_t msec)
{
    record("dsSetPositionMSec", buffer, msec);
}

std::int32_t FakeAudioLibrary::dsGetPositionMSec(const Handle& buffer)
{
    record("dsGetPositionMSec", buffer);
    return answer("dsGetPositionMSec");
}

std::int32_t FakeAudioLibrary::dsGetSeekMSec(const Handle& segment)
{
    record("dsGetSeekMSec", segment);
    return answer("dsGetSeekMSec");
}

std::int32_t FakeAudioLibrary::dsGetBufferMSec(const Handle& buffer)
{
    record("dsGetBufferMSec", buffer);
    return answer("dsGetBufferMSec");
}

std::int32_t FakeAudioLibrary::dsGetLengthMSec(const Handle& segment)
{
    record("dsGetLengthMSec", segment);
    return answer("dsGetLengthMSec");
}

void FakeAudioLibrary::dsGetFormat(const Handle& buffer, SoundFormat& out)
{
    record("dsGetFormat", buffer);
    out = buffer != 0 ? format : SoundFormat{};
}
