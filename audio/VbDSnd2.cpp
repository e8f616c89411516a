#include "VbDSnd2.h"

#include <array>
#include <cstring>
#include <fstream>

bool isSoundFontFile(const std::string& path)
{
    if (path.empty()) return false;
    std::ifstream in(path, std::ios::binary);
    std::array<char, 12> header{};
    if (!in.read(header.data(), header.size())) return false;
    return std::memcmp(header.data(), "RIFF", 4) == 0 && std::memcmp(header.data() + 8, "sfbk", 4) == 0;
}

VbDSnd2::VbDSnd2(std::vector<std::string> soundFontCandidates)
    : soundFontCandidates_(std::move(soundFontCandidates))
{
}

VbDSnd2::~VbDSnd2()
{
    dsQuit();
}

std::int32_t VbDSnd2::dsInit2(std::uintptr_t, std::int32_t)
{
    // The window is not needed: the device is shared by the whole process.
    return device_.open() ? 1 : 0;
}

std::int32_t VbDSnd2::dsInitMusic()
{
    // Only finds the SoundFont; loading it is kept off the start-up path.
    soundFontPath_.clear();
    for (const auto& candidate : soundFontCandidates_) {
        if (isSoundFontFile(candidate)) {
            soundFontPath_ = candidate;
            return 1;
        }
    }
    return 0;
}

void VbDSnd2::dsQuitMusic()
{
    soundFontPath_.clear();
}

void VbDSnd2::dsQuit()
{
    dsQuitMusic();
    device_.close();
}

void VbDSnd2::dsSetGlobalFocus(std::int16_t flag)
{
    // The device never follows the window's focus here; the flag is kept for completeness.
    globalFocus_ = flag != 0;
}

AudioLibrary::Handle VbDSnd2::dsCreateDSB(std::span<const std::uint8_t>, std::int32_t) { return 0; }
AudioLibrary::Handle VbDSnd2::dsLoadMusicSegment(const std::string&, std::int32_t) { return 0; }
void VbDSnd2::dsFree(Handle& buffer) { buffer = 0; }
void VbDSnd2::dsFreeMusicSegment(Handle& segment) { segment = 0; }
void VbDSnd2::dsPlay(const Handle&) {}
void VbDSnd2::dsPlayLooping(const Handle&) {}
void VbDSnd2::dsPlayEx(const Handle&, std::int32_t, std::int32_t, std::int32_t) {}
void VbDSnd2::dsPlayMusicSegment(const Handle&, std::int32_t) {}
void VbDSnd2::dsStop(const Handle&) {}
void VbDSnd2::dsStopMusicSegment(const Handle&) {}
std::int32_t VbDSnd2::dsIsPlaying(const Handle&) { return 0; }
std::int32_t VbDSnd2::dsIsPlayingMusicSegment(const Handle&) { return 0; }
void VbDSnd2::dsSetVolume(const Handle&, std::int32_t) {}
void VbDSnd2::dsSetMasterVolume(std::int32_t) {}
void VbDSnd2::dsSetPositionMSec(const Handle&, std::int32_t) {}
std::int32_t VbDSnd2::dsGetPositionMSec(const Handle&) { return 0; }
std::int32_t VbDSnd2::dsGetSeekMSec(const Handle&) { return 0; }
std::int32_t VbDSnd2::dsGetBufferMSec(const Handle&) { return 0; }
std::int32_t VbDSnd2::dsGetLengthMSec(const Handle&) { return 0; }
void VbDSnd2::dsGetFormat(const Handle&, SoundFormat& format) { format = SoundFormat{}; }
