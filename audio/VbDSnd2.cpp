#include "VbDSnd2.h"

#include "DlsCollection.h"
#include "SegmentReader.h"
#include "SmfReader.h"
#include "SoundFontSynth.h"
#include "WaveDecoder.h"
#include "WavePlayer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace {

std::int64_t framesOf(std::int32_t msec)
{
    return static_cast<std::int64_t>(msec) * Mixer::kSampleRate / 1000;
}

std::int32_t msecOf(std::int64_t frames)
{
    return static_cast<std::int32_t>(frames * 1000 / Mixer::kSampleRate);
}

// A length or position past the 32-bit range (a segment may claim days) reads as the largest.
std::int32_t msecClamped(double ms)
{
    return static_cast<std::int32_t>(std::clamp(ms, 0.0, double(INT32_MAX)));
}

std::vector<std::uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return {};
    const std::streamoff size = in.tellg();
    if (size <= 0 || size > kMaxMusicFileBytes) return {};
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) return {};
    return bytes;
}

bool startsWith(std::span<const std::uint8_t> bytes, std::size_t at, const char* id)
{
    return bytes.size() >= at + 4 && std::memcmp(bytes.data() + at, id, 4) == 0;
}

// The content decides, never the name: files named .sgt are often MIDI files, and a RIFF file
// of another form (a wave, a style) is no music.
// What a segment names is looked for where DirectMusic's loader looked, the current directory
// (choosing a bell makes it the bell's folder), then beside the segment itself.
std::vector<std::string> searchFolders(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return {std::string(), slash == std::string::npos ? std::string() : path.substr(0, std::max<std::size_t>(slash, 1))};
}

std::optional<MidiSong> readMusic(std::span<const std::uint8_t> bytes, const std::string& path, std::uint32_t seed)
{
    if (startsWith(bytes, 0, "MThd")) return readStandardMidiFile(bytes);
    if (!startsWith(bytes, 0, "RIFF")) return std::nullopt;
    if (startsWith(bytes, 8, "DMSG")) {
        // Tracks not played here, or a style found nowhere, leave a segment silent: better
        // refused than a bell that seems loaded and never sounds.
        std::optional<MidiSong> song = readSegmentFile(bytes, searchFolders(path), seed);
        if (song) decodeWaveItems(*song);
        if (song && !soundsAnyNote(*song) && !soundsAnyWave(*song)) return std::nullopt;
        return song;
    }
    if (startsWith(bytes, 8, "RMID")) return readStandardMidiFile(bytes); // a MIDI file in a RIFF wrapper
    return std::nullopt;
}

} // namespace

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
    // The mixer refers to the sounds and the synthesizer; nothing plays once the device is shut.
    mixer_.music().setSynth(nullptr);
}

AudioLibrary::Handle VbDSnd2::newHandle()
{
    // Handles are never reused, so a freed handle stays harmless.
    do {
        lastHandle_ = lastHandle_ == INT32_MAX ? 1 : lastHandle_ + 1;
    } while (buffers_.count(lastHandle_) != 0 || segments_.count(lastHandle_) != 0);
    return lastHandle_;
}

const VbDSnd2::Buffer* VbDSnd2::buffer(Handle h) const
{
    auto found = buffers_.find(h);
    return found != buffers_.end() ? &found->second : nullptr;
}

const MidiSong* VbDSnd2::segment(Handle h) const
{
    auto found = segments_.find(h);
    return found != segments_.end() ? found->second.get() : nullptr;
}

void VbDSnd2::render(float* out, int frames)
{
    device_.locked([&] { mixer_.render(out, frames); });
}

std::int32_t VbDSnd2::dsInit2(std::uintptr_t, std::int32_t)
{
    // The window is not needed: the device is shared by the whole process.
    return device_.open() ? 1 : 0;
}

std::int32_t VbDSnd2::dsInitMusic()
{
    return chooseSoundFont() ? 1 : 0;
}

bool VbDSnd2::chooseSoundFont()
{
    soundFontPath_.clear();
    // One that failed to load earlier comes only when nothing else is left: music then stays
    // available as before, and its loads fail.
    std::string chosen;
    for (const auto& candidate : soundFontCandidates_) {
        if (!isSoundFontFile(candidate)) continue;
        if (unloadable_.count(candidate) == 0) {
            chosen = candidate;
            break;
        }
        if (chosen.empty()) chosen = candidate;
    }
    if (chosen.empty()) return false;
    // Every one has failed: keep the synthesizer there is rather than load a failure again.
    if (unloadable_.count(chosen) != 0 && synth_ != nullptr) chosen = synth_->path();
    soundFontPath_ = chosen;
    // Loading starts in the background; start-up never waits for it.
    if (synth_ == nullptr || synth_->path() != chosen) {
        device_.locked([&] { mixer_.music().setSynth(nullptr); });
        synth_ = std::make_unique<SoundFontSynth>(chosen, Mixer::kSampleRate);
        ++synthGeneration_;
    }
    return true;
}

bool VbDSnd2::ensureSynth()
{
    while (!soundFontPath_.empty() && synth_ != nullptr) {
        if (fluid_synth_t* synth = synth_->wait()) {
            device_.locked([&] { mixer_.music().setSynth(synth); });
            reloadCollections();
            return true;
        }
        // A file can look like a SoundFont and still fail to load: the next candidate plays.
        if (!unloadable_.insert(synth_->path()).second) return false; // every one has failed
        if (!chooseSoundFont()) return false;
    }
    return false;
}

void VbDSnd2::dsQuitMusic()
{
    device_.locked([&] { mixer_.music().stop(); });
    soundFontPath_.clear();
}

void VbDSnd2::dsQuit()
{
    dsQuitMusic();
    device_.locked([&] {
        for (auto& [handle, entry] : buffers_) mixer_.stop(entry.slot);
    });
    device_.close();
}

void VbDSnd2::dsSetGlobalFocus(std::int16_t flag)
{
    // The device never follows the window's focus here; the flag is kept for completeness.
    globalFocus_ = flag != 0;
}

AudioLibrary::Handle VbDSnd2::dsCreateDSB(std::span<const std::uint8_t> image, std::int32_t)
{
    std::optional<DecodedSound> decoded = decodeWave(image, Mixer::kSampleRate);
    if (!decoded) return 0;
    auto sound = std::make_shared<const DecodedSound>(std::move(*decoded));
    Buffer entry{sound, -1};
    device_.locked([&] { entry.slot = mixer_.addVoice(&sound->frames); });
    releaseFadedVoices();
    const Handle h = newHandle();
    buffers_.emplace(h, std::move(entry));
    return h;
}

AudioLibrary::Handle VbDSnd2::dsLoadMusicSegment(const std::string& path, std::int32_t)
{
    if (soundFontPath_.empty()) return 0;
    std::vector<std::uint8_t> bytes = readFile(path);
    std::optional<MidiSong> song = readMusic(bytes, path, compositionSeed(0));
    if (!song || !ensureSynth()) return 0;
    const Handle h = newHandle();
    auto& kept = segments_.emplace(h, std::make_unique<MidiSong>(std::move(*song))).first->second;
    loadCollections(h, *kept);
    if (kept->composed) composers_[h] = Composer{std::move(bytes), path, 0, {}, false};
    return h;
}

void VbDSnd2::dsFree(Handle& h)
{
    auto found = buffers_.find(h);
    if (found != buffers_.end()) {
        bool sounding = false;
        device_.locked([&] {
            mixer_.stop(found->second.slot);
            sounding = mixer_.isSounding(found->second.slot);
            if (!sounding) mixer_.removeVoice(found->second.slot);
        });
        // A sound freed while it plays fades out like any stop; its frames stay until then.
        if (sounding) fading_.push_back(std::move(found->second));
        buffers_.erase(found); // otherwise the audio thread no longer sees the frames
    }
    releaseFadedVoices();
    h = 0;
}

void VbDSnd2::releaseFadedVoices()
{
    device_.locked([&] {
        std::erase_if(fading_, [&](const Buffer& b) {
            if (mixer_.isSounding(b.slot)) return false;
            mixer_.removeVoice(b.slot);
            return true;
        });
    });
}

void VbDSnd2::dsFreeMusicSegment(Handle& h)
{
    auto found = segments_.find(h);
    if (found != segments_.end()) {
        device_.locked([&] {
            if (mixer_.music().song() == found->second.get()) mixer_.music().start(nullptr, 0);
        });
        releaseCollections(h);
        composers_.erase(h);
        segments_.erase(found);
    }
    h = 0;
}

void VbDSnd2::dsPlay(const Handle& h)
{
    if (const Buffer* b = buffer(h)) device_.locked([&] { mixer_.play(b->slot, false); });
}

void VbDSnd2::dsPlayLooping(const Handle& h)
{
    if (const Buffer* b = buffer(h)) device_.locked([&] { mixer_.play(b->slot, true); });
}

void VbDSnd2::dsPlayEx(const Handle& h, std::int32_t volume, std::int32_t, std::int32_t)
{
    if (const Buffer* b = buffer(h)) device_.locked([&] {
        mixer_.setVolume(b->slot, volume);
        mixer_.play(b->slot, false);
    });
}

void VbDSnd2::dsPlayMusicSegment(const Handle& h, std::int32_t repeats)
{
    auto found = segments_.find(h);
    if (found == segments_.end() || !ensureSynth()) return;
    MidiSong* song = found->second.get();
    auto composer = composers_.find(h);
    device_.locked([&] {
        if (composer != composers_.end() && composer->second.ready) {
            song->events.swap(composer->second.next); // what it plays otherwise stays the same
            composer->second.ready = false;
        }
        mixer_.music().start(song, repeats);
    });
    // A style plays differently each time, as it did under DirectMusic: the next play's notes
    // are composed now, after this one has started, never while a press waits for them.
    if (composer == composers_.end()) return;
    Composer& next = composer->second;
    ++next.plays;
    std::optional<MidiSong> again = readSegmentFile(next.bytes, searchFolders(next.path), compositionSeed(next.plays));
    // The same tracks read again give the same events but the composed ones; a style that has
    // gone away since keeps the notes there are.
    if (again && again->composed && soundsAnyNote(*again)) {
        next.next = std::move(again->events);
        next.ready = true;
    }
}

std::uint32_t VbDSnd2::compositionSeed(std::uint32_t plays) const
{
    return compositionSeed_ ? *compositionSeed_ + plays : std::random_device{}();
}

void VbDSnd2::dsStop(const Handle& h)
{
    if (const Buffer* b = buffer(h)) device_.locked([&] { mixer_.stop(b->slot); });
}

void VbDSnd2::dsStopMusicSegment(const Handle& h)
{
    const MidiSong* song = segment(h);
    if (song == nullptr) return;
    device_.locked([&] {
        if (mixer_.music().song() == song) mixer_.music().stop();
    });
}

std::int32_t VbDSnd2::dsIsPlaying(const Handle& h)
{
    const Buffer* b = buffer(h);
    if (b == nullptr) return 0;
    bool playing = false;
    device_.locked([&] { playing = mixer_.isPlaying(b->slot); });
    return playing ? 1 : 0;
}

std::int32_t VbDSnd2::dsIsPlayingMusicSegment(const Handle& h)
{
    const MidiSong* song = segment(h);
    if (song == nullptr) return 0;
    bool playing = false;
    device_.locked([&] { playing = mixer_.music().isPlaying(song); });
    return playing ? 1 : 0;
}

void VbDSnd2::dsSetVolume(const Handle& h, std::int32_t volume)
{
    if (const Buffer* b = buffer(h)) device_.locked([&] { mixer_.setVolume(b->slot, volume); });
}

void VbDSnd2::dsSetMasterVolume(std::int32_t volume)
{
    device_.locked([&] { mixer_.music().setVolume(volume); });
}

void VbDSnd2::dsSetPositionMSec(const Handle& h, std::int32_t msec)
{
    if (const Buffer* b = buffer(h)) device_.locked([&] { mixer_.setPosition(b->slot, framesOf(msec)); });
}

std::int32_t VbDSnd2::dsGetPositionMSec(const Handle& h)
{
    const Buffer* b = buffer(h);
    if (b == nullptr) return 0;
    std::int64_t frames = 0;
    device_.locked([&] { frames = mixer_.position(b->slot); });
    return msecOf(frames);
}

std::int32_t VbDSnd2::dsGetSeekMSec(const Handle& h)
{
    const MidiSong* song = segment(h);
    if (song == nullptr) return 0;
    double ms = 0.0;
    device_.locked([&] {
        if (mixer_.music().song() == song) ms = mixer_.music().seekMs();
    });
    return msecClamped(ms);
}

std::int32_t VbDSnd2::dsGetBufferMSec(const Handle& h)
{
    const Buffer* b = buffer(h);
    return b != nullptr ? static_cast<std::int32_t>(b->sound->lengthMs) : 0;
}

std::int32_t VbDSnd2::dsGetLengthMSec(const Handle& h)
{
    const MidiSong* song = segment(h);
    return song != nullptr ? msecClamped(song->lengthMs) : 0;
}

void VbDSnd2::dsGetFormat(const Handle& h, SoundFormat& format)
{
    const Buffer* b = buffer(h);
    format = b != nullptr ? b->sound->format : SoundFormat{};
}

void VbDSnd2::loadCollections(Handle h, MidiSong& song)
{
    // Loaded now, while nothing waits for the music: a press only selects what is there.
    std::vector<Collection*>& used = segmentCollections_[h];
    for (std::size_t i = 0; i < song.collections.size(); ++i) {
        std::vector<std::uint8_t>& bytes = song.collections[i];
        auto same = std::find_if(collections_.begin(), collections_.end(),
                                 [&](const std::unique_ptr<Collection>& c) { return c->bytes == bytes; });
        if (same == collections_.end()) {
            auto fresh = std::make_unique<Collection>();
            fresh->bytes = std::move(bytes);
            same = collections_.insert(collections_.end(), std::move(fresh));
        } else {
            bytes = {}; // kept once, by the library
        }
        ++(*same)->users;
        used.push_back(same->get());
    }
    reloadCollections();
    song.collectionFonts.clear();
    for (const Collection* c : used) song.collectionFonts.push_back(c->font);
}

void VbDSnd2::reloadCollections()
{
    // Each collection goes into the synthesizer that plays, once; a new SoundFont brings a new
    // synthesizer, and the fonts of the old one went with it.
    if (synth_ == nullptr || synth_->ready() == nullptr) return;
    bool changed = false;
    for (const auto& c : collections_) {
        if (c->loadedFor == synthGeneration_) continue;
        c->loadedFor = synthGeneration_;
        c->font = -1;
        changed = true;
        const std::vector<std::uint8_t> playable = playableDlsCopy(c->bytes);
        if (playable.empty()) continue; // its instruments play as General MIDI ones
        if (fluid_sfont_t* font = synth_->loadCollection(playable))
            device_.locked([&] { c->font = synth_->addCollection(font); });
    }
    if (!changed) return;
    device_.locked([&] {
        for (auto& [handle, used] : segmentCollections_) {
            auto song = segments_.find(handle);
            if (song == segments_.end()) continue;
            song->second->collectionFonts.resize(used.size());
            for (std::size_t i = 0; i < used.size(); ++i) song->second->collectionFonts[i] = used[i]->font;
        }
    });
}

void VbDSnd2::releaseCollections(Handle h)
{
    auto found = segmentCollections_.find(h);
    if (found == segmentCollections_.end()) return;
    for (Collection* c : found->second) {
        if (--c->users > 0) continue;
        if (c->font >= 0 && c->loadedFor == synthGeneration_) {
            device_.locked([&] {
                // What last sounded from the font must be gone from the synthesizer before the
                // font is: unless other music plays, the synthesizer is quiet, and a short
                // render settles it.
                if (!mixer_.music().isPlaying()) synth_->settle();
                synth_->removeCollection(c->font);
            });
        }
        std::erase_if(collections_, [&](const std::unique_ptr<Collection>& k) { return k.get() == c; });
    }
    segmentCollections_.erase(found);
}
