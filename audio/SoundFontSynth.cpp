#include "SoundFontSynth.h"

#include "MidiSong.h"

#include <fluidsynth.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
// libinstpatch, which reads DLS collections for FluidSynth, loses a few names it copies while
// reading: not ours to free. GLib keeps no frame pointers, so the leak checker's stack of such
// an allocation ends at g_malloc; nothing of ours allocates through GLib.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libinstpatch-1.0.so\nleak:g_malloc\n";
}
#endif

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
        // A DLS collection goes past the SoundFont reader first, which says it is none.
        fluid_set_log_function(
            FLUID_ERR,
            [](int level, const char* message, void*) {
                if (std::strcmp(message, "Not a SoundFont file") != 0) fluid_default_log_function(level, message, nullptr);
            },
            nullptr);
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
    if (collectionLoader_ != nullptr) delete_fluid_synth(collectionLoader_);
    if (loaderSettings_ != nullptr) delete_fluid_settings(loaderSettings_);
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
    if (synth_ != nullptr) soundFontId_ = fluid_synth_sfload(synth_, path_.c_str(), 1);
    if (soundFontId_ != FLUID_FAILED) ready_.store(synth_, std::memory_order_release);
    loadMs_ = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

namespace {

bool writeAll(int fd, std::span<const std::uint8_t> bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

fluid_sfont_t* SoundFontSynth::loadCollection(std::span<const std::uint8_t> dls)
{
    if (wait() == nullptr) return nullptr;
    if (collectionLoader_ == nullptr) {
        // Only loads happen here: few voices, one core, no locking.
        loaderSettings_ = new_fluid_settings();
        if (loaderSettings_ == nullptr) return nullptr;
        fluid_settings_setint(loaderSettings_, "synth.threadsafe-api", 0);
        fluid_settings_setint(loaderSettings_, "synth.cpu-cores", 1);
        fluid_settings_setint(loaderSettings_, "synth.polyphony", 16);
        collectionLoader_ = newSynth(loaderSettings_);
        if (collectionLoader_ == nullptr) return nullptr;
    }
    // FluidSynth's DLS loader opens a path of its own: an anonymous file in memory serves, else
    // a private temporary file, gone as soon as it is read.
    std::string path;
    int fd = ::memfd_create("tarnek-dls", MFD_CLOEXEC);
    if (fd >= 0) {
        path = "/proc/self/fd/" + std::to_string(fd);
    } else {
        const char* tmp = std::getenv("TMPDIR");
        path = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/tarnek-dls-XXXXXX";
        fd = ::mkostemp(path.data(), O_CLOEXEC);
        if (fd < 0) return nullptr;
    }
    const bool written = writeAll(fd, dls);
    const int id = written ? fluid_synth_sfload(collectionLoader_, path.c_str(), 0) : FLUID_FAILED;
    if (path.rfind("/proc/", 0) != 0) ::unlink(path.c_str());
    ::close(fd);
    if (id == FLUID_FAILED) return nullptr;
    fluid_sfont_t* font = fluid_synth_get_sfont_by_id(collectionLoader_, id);
    if (font != nullptr && fluid_synth_remove_sfont(collectionLoader_, font) != FLUID_OK) return nullptr;
    return font;
}

template <typename F>
void SoundFontSynth::keepingPrograms(F change)
{
    // Adding or removing a font makes FluidSynth choose every channel's instrument again, by
    // bank and program through the fonts in order: a piece playing meanwhile keeps its own.
    std::array<std::array<int, 3>, kMusicChannels> before{};
    const int channels = std::min(fluid_synth_count_midi_channels(synth_), kMusicChannels);
    for (int ch = 0; ch < channels; ++ch)
        fluid_synth_get_program(synth_, ch, &before[ch][0], &before[ch][1], &before[ch][2]);
    const int oldSoundFont = soundFontId_;
    change();
    for (int ch = 0; ch < channels; ++ch) {
        auto [font, bank, program] = before[ch];
        if (font == oldSoundFont) font = soundFontId_;
        if (program < 0 || program > 127 || fluid_synth_get_sfont_by_id(synth_, font) == nullptr) continue;
        int nowFont = 0, nowBank = 0, nowProgram = 0;
        fluid_synth_get_program(synth_, ch, &nowFont, &nowBank, &nowProgram);
        if (nowFont != font || nowBank != bank || nowProgram != program)
            fluid_synth_program_select(synth_, ch, font, bank, program);
    }
}

int SoundFontSynth::addCollection(fluid_sfont_t* font)
{
    if (synth_ == nullptr || font == nullptr) return FLUID_FAILED;
    int id = FLUID_FAILED;
    keepingPrograms([&] {
        id = fluid_synth_add_sfont(synth_, font);
        // The newest font is searched first: the General MIDI set goes back above it.
        fluid_sfont_t* generalMidi = fluid_synth_get_sfont_by_id(synth_, soundFontId_);
        if (id != FLUID_FAILED && generalMidi != nullptr && fluid_synth_remove_sfont(synth_, generalMidi) == FLUID_OK)
            soundFontId_ = fluid_synth_add_sfont(synth_, generalMidi);
    });
    return id;
}

void SoundFontSynth::removeCollection(int fontId)
{
    if (synth_ == nullptr || fontId == soundFontId_ || fluid_synth_get_sfont_by_id(synth_, fontId) == nullptr) return;
    keepingPrograms([&] { fluid_synth_sfunload(synth_, fontId, 1); });
}

void SoundFontSynth::settle()
{
    if (synth_ == nullptr) return;
    // FluidSynth retires stopped voices at the start of its next block of 64 frames.
    std::array<float, 2 * 64> discard{};
    fluid_synth_write_float(synth_, 64, discard.data(), 0, 2, discard.data(), 1, 2);
}
