#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

struct DecodedSound;

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
    // A program change may pick an instrument of a DLS collection: 1 + its index in
    // MidiSong::collections (0: the General MIDI set), and the synthesizer's bank number there.
    // For a band's program change of the General MIDI set, the bank (CC0) it selects.
    // A band's program change also says which kind of instrument the channel plays, in data2:
    // kMelodic or kDrumKit; 0 for a MIDI file's, which leaves the channel's kind as it is.
    std::uint8_t collection = 0;
    std::uint16_t bank = 0;

    static constexpr std::uint8_t kMelodic = 1, kDrumKit = 2;
};

// One item of a segment's wave track: a stretch of a wave, placed on the song's time line.
struct WaveItem {
    double timeMs = 0.0;          // when it starts, on the song's time line
    double offsetMs = 0.0;        // where in the wave it starts
    double durationMs = 0.0;      // how long it plays
    std::int32_t volume = 0;      // hundredths of a decibel: track, part and item together
    std::int32_t pitch = 0;       // hundredths of a semitone
    std::uint16_t volumeRange = 0; // random spread of the volume, hundredths of a decibel
    std::uint16_t pitchRange = 0;  // random spread of the pitch, cents
    std::uint32_t variations = 0; // bit n: the item plays in variation n + 1
    std::uint32_t flags = 0;      // as in the file
    std::uint32_t loopStart = 0;  // a loop inside the wave, in its own samples; none if the end
    std::uint32_t loopEnd = 0;    // is not past the start
    std::uint32_t wave = 0;       // index into MidiSong::waveImages
    std::uint32_t sound = 0;      // index into MidiSong::sounds: the wave at this item's pitch
};

// Item flags: kept sounding when the segment loops.
inline constexpr std::uint32_t kWaveItemNoInvalidate = 0x4;
inline constexpr std::uint32_t kWaveItemIgnoreLoops = 0x20;

// A part of a wave track: a set of items of which one variation plays at a time.
struct WavePart {
    std::uint32_t variations = 0; // enabled variations, bit n: variation n + 1
    std::uint32_t order = 0;      // how the next variation is chosen, as in the file
    std::uint32_t lock = 0;       // parts with the same non-zero lock play the same variation
    std::uint32_t pchannel = 0;
    bool keepsOrder = false;      // the order of variations goes on from one play to the next
    std::vector<WaveItem> items;  // sorted by time
};

struct MidiSong {
    std::vector<MidiEvent> events; // sorted by time; events at the same time keep file order
    double lengthMs = 0.0;         // one pass
    double playStartMs = 0.0;      // the first pass starts here; always before loopEndMs
    double loopStartMs = 0.0;      // repeats play [loopStartMs, loopEndMs) after the first pass;
    double loopEndMs = 0.0;        // after the last one, play goes on to lengthMs

    bool composed = false;         // its notes are composed from a style: each reading differs

    std::vector<WavePart> waveParts;
    std::vector<std::vector<std::uint8_t>> waveImages;       // WAVE files the items play, as read
    std::vector<std::shared_ptr<const DecodedSound>> sounds; // by the library: each wave at each pitch played
    // DLS files the bands name, as read; the library takes the bytes over when it loads them,
    // and notes each one's font in the synthesizer (-1: it did not load).
    std::vector<std::vector<std::uint8_t>> collections;
    std::vector<int> collectionFonts;
};

// Whether anything in the song makes a sound: a note-on with a velocity.
inline bool soundsAnyNote(const MidiSong& song)
{
    return std::any_of(song.events.begin(), song.events.end(),
                       [](const MidiEvent& e) { return (e.status & 0xF0) == 0x90 && e.data2 != 0; });
}

// Whether any wave item can sound: in a variation its part enables, for some time, above silence.
inline bool soundsAnyWave(const MidiSong& song)
{
    return std::any_of(song.waveParts.begin(), song.waveParts.end(), [](const WavePart& p) {
        return std::any_of(p.items.begin(), p.items.end(), [&](const WaveItem& i) {
            return (i.variations & p.variations) != 0 && i.durationMs > 0.0 && i.volume > -10000;
        });
    });
}
