#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

// Synthesizer channels: 4 groups of 16. Segments use more than 16 PChannels (real bands up to
// 30), and each needs its own instrument. More would cost the press and the stop: a synthesizer
// reset, done while the device waits, takes time in proportion.
inline constexpr int kMusicChannels = 64;

// A piece of music as the player needs it: channel messages on a millisecond time line,
// whatever file it came from. Tempo is already folded into the times.
struct MidiEvent {
    double timeMs = 0.0;
    std::uint8_t status = 0; // message type | channel within the group (0x80..0xEF)
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;  // 0 for two-byte messages (program change, channel pressure)
    std::uint8_t group = 0;  // the synthesizer channel is 16 * group + (status & 0x0F)
};

struct MidiSong {
    std::vector<MidiEvent> events; // sorted by time; events at the same time keep file order
    double lengthMs = 0.0;         // one pass
    double playStartMs = 0.0;      // the first pass starts here; always before loopEndMs
    double loopStartMs = 0.0;      // repeats play [loopStartMs, loopEndMs) after the first pass;
    double loopEndMs = 0.0;        // after the last one, play goes on to lengthMs
};

// Whether anything in the song makes a sound: a note-on with a velocity.
inline bool soundsAnyNote(const MidiSong& song)
{
    return std::any_of(song.events.begin(), song.events.end(),
                       [](const MidiEvent& e) { return (e.status & 0xF0) == 0x90 && e.data2 != 0; });
}
