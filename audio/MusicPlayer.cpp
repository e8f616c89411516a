#include "MusicPlayer.h"

#include "Mixer.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kChunkFrames = 1024;
constexpr std::int64_t kTailFrames = 3 * MusicPlayer::kSampleRate; // release and reverb tails

} // namespace

MusicPlayer::MusicPlayer() : cutOff_(Mixer::kFadeFrames * 2, 0.0f), scratch_(kChunkFrames * 2, 0.0f) {}

void MusicPlayer::setSynth(fluid_synth_t* synth)
{
    synth_ = synth;
}

void MusicPlayer::start(const MidiSong* song, std::int32_t repeats)
{
    // Every piece starts from a fresh synthesizer: no controllers, programs or reverb left
    // over from the one before.
    fadeOutWhatSounds();
    resetSynth();
    song_ = song;
    waves_.setSong(song);
    playing_ = song != nullptr;
    passesLeft_ = std::max(0, repeats);
    beginPass(song != nullptr ? song->playStartMs : 0.0);
    if (song != nullptr && synth_ != nullptr) chaseTo(song->playStartMs);
    tailFrames_ = kTailFrames;
}

void MusicPlayer::stop()
{
    // Waves still sounding after the end are stopped too.
    if (playing_ || waves_.sounding()) {
        fadeOutWhatSounds();
        waves_.silence(); // taken by the fade, or nothing to fade them with
        resetSynth(); // the reverb too
        tailFrames_ = 0;
    }
    playing_ = false;
}

void MusicPlayer::resetSynth()
{
    if (synth_ == nullptr) return;
    fluid_synth_system_reset(synth_);
    // The tenth channel of every group is a drum channel, as channel 10 is; the synthesizer
    // itself knows only the first.
    for (int channel = 16 + 9; channel < fluid_synth_count_midi_channels(synth_); channel += 16) {
        fluid_synth_set_channel_type(synth_, channel, CHANNEL_TYPE_DRUM);
        fluid_synth_bank_select(synth_, channel, 128);
        fluid_synth_program_change(synth_, channel, 0);
    }
}

void MusicPlayer::fadeOutWhatSounds()
{
    // The synthesizer's next frames, rendered now and faded out, play in place of the cut-off
    // sound while the synthesizer itself is free for what follows. Short: this holds the device.
    if (synth_ == nullptr || (!playing_ && tailFrames_ <= 0 && !waves_.sounding())) return;
    const int kFade = Mixer::kFadeFrames;
    // A cut-off still playing stays under the new one.
    std::copy(cutOff_.end() - cutOffLeft_ * 2, cutOff_.end(), cutOff_.begin());
    std::fill(cutOff_.begin() + cutOffLeft_ * 2, cutOff_.end(), 0.0f);
    float* buffer = scratch_.data();
    fluid_synth_write_float(synth_, kFade, buffer, 0, 2, buffer, 1, 2);
    waves_.render(buffer, kFade, -1, 0.0, 0.0);
    waves_.silence();
    for (int i = 0; i < kFade; ++i) {
        const float g = gain_ * Mixer::fadeGain(kFade - 1 - i);
        cutOff_[2 * i] += buffer[2 * i] * g;
        cutOff_[2 * i + 1] += buffer[2 * i + 1] * g;
    }
    cutOffLeft_ = kFade;
}

double MusicPlayer::seekMs() const
{
    if (song_ == nullptr) return 0.0;
    return passStartMs_ + static_cast<double>(passFrame_) * 1000.0 / kSampleRate;
}

void MusicPlayer::setVolume(std::int32_t volume)
{
    targetGain_ = Mixer::gainOf(volume);
}

std::int64_t MusicPlayer::frameOf(double ms) const noexcept
{
    // Frames from the start of the current pass; an event never lies before it.
    return WavePlayer::frameAfter(passStartMs_, ms);
}

void MusicPlayer::beginPass(double fromMs) noexcept
{
    passStartMs_ = fromMs;
    passFrame_ = 0;
    nextEvent_ = 0;
    if (song_ == nullptr) return;
    const auto& events = song_->events;
    while (nextEvent_ < events.size() && events[nextEvent_].timeMs < fromMs) ++nextEvent_;
    waves_.beginPass(fromMs);
}

void MusicPlayer::chaseTo(double ms) noexcept
{
    // Starting later in the song: the programs, controllers and bends set before the start
    // still apply; the notes do not.
    for (const MidiEvent& e : song_->events) {
        if (e.timeMs >= ms) break;
        const int type = e.status & 0xF0;
        if (type != 0x80 && type != 0x90 && type != 0xA0) dispatch(e);
    }
}

double MusicPlayer::passEndMs() const noexcept
{
    // The loop's end while repeats are left; after the last one the song plays on to its end.
    return passesLeft_ > 0 ? song_->loopEndMs : song_->lengthMs;
}

void MusicPlayer::render(float* out, int frames) noexcept
{
    if (cutOffLeft_ > 0) {
        const int n = std::min(frames, cutOffLeft_);
        const float* from = cutOff_.data() + (Mixer::kFadeFrames - cutOffLeft_) * 2;
        for (int i = 0; i < n * 2; ++i) out[i] += from[i];
        cutOffLeft_ -= n;
    }
    if (synth_ == nullptr) {
        // Without a synthesizer the song still keeps its time.
        if (playing_) passFrame_ += frames;
        return;
    }
    int done = 0;
    while (done < frames) {
        int chunk = std::min(frames - done, kChunkFrames);
        if (playing_) {
            const auto& events = song_->events;
            const double endMs = passEndMs();
            while (nextEvent_ < events.size() && events[nextEvent_].timeMs < endMs &&
                   frameOf(events[nextEvent_].timeMs) <= passFrame_)
                dispatch(events[nextEvent_++]);
            const std::int64_t passEnd = frameOf(endMs);
            if (passFrame_ >= passEnd) {
                endPass();
                continue;
            }
            std::int64_t until = passEnd;
            if (nextEvent_ < events.size() && events[nextEvent_].timeMs < endMs)
                until = std::min(until, frameOf(events[nextEvent_].timeMs));
            chunk = static_cast<int>(std::min<std::int64_t>(chunk, until - passFrame_));
            passFrame_ += chunk;
        } else if (tailFrames_ <= 0 && !waves_.sounding()) {
            return;
        } else {
            // A wave may ring on past the synthesizer's tail.
            chunk = static_cast<int>(std::min<std::int64_t>(chunk, std::max(tailFrames_, waves_.framesLeft())));
            tailFrames_ -= chunk;
        }
        renderSynth(out + static_cast<std::ptrdiff_t>(done) * 2, chunk);
        done += chunk;
    }
}

void MusicPlayer::endPass() noexcept
{
    const bool emptyLoop = frameOf(song_->loopEndMs) <= frameOf(song_->loopStartMs);
    if (passesLeft_ > 0 && emptyLoop) {
        passesLeft_ = 0; // a loop of no length never repeats: the song plays on to its end
        return;
    }
    // Notes still held at the end of a pass would hang over the next one.
    fluid_synth_all_notes_off(synth_, -1);
    tailFrames_ = kTailFrames;
    if (passesLeft_ > 0) {
        --passesLeft_;
        waves_.cutAtLoop();
        beginPass(song_->loopStartMs);
    } else {
        playing_ = false;
    }
}

void MusicPlayer::renderSynth(float* out, int frames) noexcept
{
    float* buffer = scratch_.data();
    fluid_synth_write_float(synth_, frames, buffer, 0, 2, buffer, 1, 2);
    renderWaves(buffer, frames);
    const float start = gain_;
    const float step = (targetGain_ - start) / static_cast<float>(frames);
    for (int i = 0; i < frames; ++i) {
        const float g = start + step * static_cast<float>(i + 1);
        out[2 * i] += buffer[2 * i] * g;
        out[2 * i + 1] += buffer[2 * i + 1] * g;
    }
    gain_ = targetGain_;
}

void MusicPlayer::dispatch(const MidiEvent& event) noexcept
{
    const int channel = event.group * 16 + (event.status & 0x0f);
    switch (event.status & 0xf0) {
    case 0x80: fluid_synth_noteoff(synth_, channel, event.data1); break;
    case 0x90:
        if (event.data2 == 0) fluid_synth_noteoff(synth_, channel, event.data1);
        else fluid_synth_noteon(synth_, channel, event.data1, event.data2);
        break;
    case 0xa0: fluid_synth_key_pressure(synth_, channel, event.data1, event.data2); break;
    case 0xb0: fluid_synth_cc(synth_, channel, event.data1, event.data2); break;
    case 0xc0: selectProgram(event, channel); break;
    case 0xd0: fluid_synth_channel_pressure(synth_, channel, event.data1); break;
    case 0xe0: fluid_synth_pitch_bend(synth_, channel, event.data1 | (event.data2 << 7)); break;
    default: break;
    }
}

void MusicPlayer::renderWaves(float* buffer, int frames) noexcept
{
    // Under the same volume as the synthesizer; new items start only while the song plays, on
    // the frames of the pass this block ends (render() has counted them already).
    if (playing_) waves_.render(buffer, frames, passFrame_ - frames, passStartMs_, passEndMs());
    else waves_.render(buffer, frames, -1, 0.0, 0.0);
}

void MusicPlayer::selectProgram(const MidiEvent& event, int channel) noexcept
{
    // An instrument of a collection the library loaded is chosen in that font by number; any
    // other program change goes by the channel's bank through the General MIDI set, which also
    // stands in for a collection that did not load.
    const std::size_t collection = event.collection;
    if (event.data2 != 0) {
        const bool kit = event.data2 == MidiEvent::kDrumKit;
        fluid_synth_set_channel_type(synth_, channel, kit ? CHANNEL_TYPE_DRUM : CHANNEL_TYPE_MELODIC);
        // A channel that was a drum channel did not take the bank select before.
        if (!kit && collection == 0) fluid_synth_bank_select(synth_, channel, event.bank);
    }
    if (collection != 0 && collection <= song_->collectionFonts.size()) {
        const int font = song_->collectionFonts[collection - 1];
        if (font >= 0 && fluid_synth_program_select(synth_, channel, font, event.bank, event.data1) == FLUID_OK) return;
    }
    fluid_synth_program_change(synth_, channel, event.data1);
}
