#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

// A piece of music as the player needs it: channel messages on a millisecond time line,
// whatever file it came from. Tempo is already folded into the times.
struct MidiEvent {
    double timeMs = 0.0;
    std::uint8_t status = 0; // message type | channel (0x80..0xEF)
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;  // 0 for two-byte messages (program change, channel pressure)
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
