#pragma once

#include "MidiSong.h"

#include <cmath>
#include <cstdlib>

// What the music player relies on in any song a reader returns: channel messages only, on the
// synthesizer's channels, collections that exist, finite times in order, loop points inside a
// finite length, a play start before the first pass's end; wave items in order, on waves the
// song holds.
inline void checkSong(const MidiSong& song)
{
    double last = 0.0;
    for (const MidiEvent& e : song.events) {
        if (e.status < 0x80 || e.status >= 0xF0 || e.data1 > 0x7F || e.data2 > 0x7F) std::abort();
        if (e.group >= kMusicChannels / 16) std::abort();
        if (e.collection > song.collections.size()) std::abort();
        if (!std::isfinite(e.timeMs) || e.timeMs < last) std::abort();
        last = e.timeMs;
    }
    if (!std::isfinite(song.lengthMs) || song.lengthMs < 0.0) std::abort();
    if (!(song.loopStartMs >= 0.0 && song.loopStartMs <= song.loopEndMs && song.loopEndMs <= song.lengthMs))
        std::abort();
    if (!(song.playStartMs == 0.0 || (song.playStartMs > 0.0 && song.playStartMs < song.loopEndMs))) std::abort();
    for (const WavePart& part : song.waveParts) {
        double previous = 0.0;
        for (const WaveItem& item : part.items) {
            if (!std::isfinite(item.timeMs) || item.timeMs < previous || !std::isfinite(item.durationMs) ||
                item.durationMs < 0.0 || !std::isfinite(item.offsetMs) || item.offsetMs < 0.0)
                std::abort();
            if (item.wave >= song.waveImages.size() || item.volume > 0 || item.volume < -10000) std::abort();
            previous = item.timeMs;
        }
    }
}
