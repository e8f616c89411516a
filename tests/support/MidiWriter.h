#pragma once

#include <cstdint>
#include <optional>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// A tune described once and rendered both as a MIDI file and as a segment, so the two readers
// can be held against each other. Times are ticks at `ticksPerQuarter`.
struct MelodyNote {
    std::uint32_t tick = 0;
    std::uint32_t length = 0;
    std::uint8_t channel = 0;
    std::uint8_t key = 60;
    std::uint8_t velocity = 100;
};

struct MelodyTempo {
    std::uint32_t tick = 0;
    double bpm = 120.0;
};

struct MelodyProgram {
    std::uint8_t channel = 0;
    std::uint8_t program = 0;
};

struct Melody {
    std::uint16_t ticksPerQuarter = 192; // a divisor of 768, so segment ticks stay whole
    std::uint32_t lengthTicks = 0;
    std::vector<MelodyNote> notes;       // in time order
    std::vector<MelodyTempo> tempos;
    std::vector<MelodyProgram> programs; // set at tick 0
};

// One MTrk's events at absolute ticks; written in tick order, same-tick events in insertion order.
struct SmfTrack {
    struct Event {
        std::uint32_t tick = 0;
        Bytes bytes; // everything after the delta time
        bool channelMessage = false;
    };
    std::vector<Event> events;
    bool runningStatus = false; // leave out repeated channel status bytes
    bool endOfTrack = true;     // write the end-of-track meta event
    std::optional<std::uint32_t> endTick; // end-of-track tick; default: the last event's

    // Any channel message; data2 is left out for program change and channel pressure.
    SmfTrack& channel(std::uint32_t tick, std::uint8_t status, std::uint8_t data1, std::uint8_t data2 = 0);
    // Note-on at tick, note-off (0x80, velocity 0) `length` ticks later.
    SmfTrack& note(std::uint32_t tick, std::uint32_t length, std::uint8_t ch, std::uint8_t key, std::uint8_t velocity);
    // Control change.
    SmfTrack& controller(std::uint32_t tick, std::uint8_t ch, std::uint8_t number, std::uint8_t value);
    // Program change.
    SmfTrack& program(std::uint32_t tick, std::uint8_t ch, std::uint8_t number);
    // Pitch bend, 0..16383 with 8192 the centre.
    SmfTrack& pitchBend(std::uint32_t tick, std::uint8_t ch, std::uint16_t value);
    // Set Tempo meta event.
    SmfTrack& tempo(std::uint32_t tick, std::uint32_t usPerQuarter);
    // Any meta event.
    SmfTrack& meta(std::uint32_t tick, std::uint8_t type, const Bytes& data);
    // A sysex event (F0, length, data).
    SmfTrack& sysex(std::uint32_t tick, const Bytes& data);
    // Bytes written verbatim after the delta time, for damaged or unusual input.
    SmfTrack& raw(std::uint32_t tick, const Bytes& bytes);
};

// Appends a variable-length quantity.
void appendVlq(Bytes& out, std::uint32_t value);

// A whole MIDI file: MThd with the given format and division, then one MTrk per track.
Bytes writeSmf(std::uint16_t format, std::uint16_t division, const std::vector<SmfTrack>& tracks);

// The melody as a MIDI file: format 1 puts tempo in track 0 and each channel in its own track;
// format 0 puts everything in one track. Every track ends at the melody's length.
Bytes midiFromMelody(const Melody& melody, std::uint16_t format = 1);
