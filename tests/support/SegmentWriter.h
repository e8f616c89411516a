#pragma once

#include "MidiWriter.h"

#include <cstdint>
#include <string>
#include <vector>

// A DirectMusic segment described field by field; writeSegment lays it out as the authoring
// tools do, with every size little-endian, odd chunks padded and padding zeroed.
struct SegmentNote { // a sequence item
    std::int32_t time = 0;
    std::int32_t duration = 0;
    std::uint32_t pchannel = 0;
    std::int16_t offset = 0;
    std::uint8_t status = 0x90;
    std::uint8_t byte1 = 60;
    std::uint8_t byte2 = 100;
};

struct SegmentCurve {
    std::int32_t start = 0;
    std::int32_t duration = 0;
    std::int32_t resetDuration = 0;
    std::uint32_t pchannel = 0;
    std::int16_t offset = 0;
    std::int16_t startValue = 0;
    std::int16_t endValue = 0;
    std::int16_t resetValue = 0;
    std::uint8_t type = 4; // control change
    std::uint8_t shape = 0; // linear
    std::uint8_t ccData = 7;
    std::uint8_t flags = 0;
    std::uint16_t paramType = 0;
};

struct SegmentTempo {
    std::int32_t time = 0;
    double bpm = 120.0;
};

struct SegmentInstrument {
    std::uint32_t patch = 0; // program | bank LSB << 8 | bank MSB << 16
    std::uint32_t pchannel = 0;
    std::uint32_t flags = 0x1; // patch
    std::uint8_t pan = 64;
    std::uint8_t volume = 100;
    // A reference to the DLS collection the instrument comes from, by file name and/or GUID.
    std::string collectionFile{};
    Bytes collectionGuid{}; // 16 bytes, or none
};

struct SegmentBand {
    std::int32_t time = 0;
    bool oldHeader = false; // bdih instead of bd2h
    std::vector<SegmentInstrument> instruments;
};

struct SegmentWaveItem {
    std::int64_t time = 0;     // ticks, or 100 ns units in a clock-time track
    std::int64_t duration = 0; // the same unit
    std::int64_t offset = 0;   // 100 ns units always
    std::int32_t volume = 0;
    std::int32_t pitch = 0;
    std::uint32_t variations = 1;
    std::uint32_t flags = 0;
    std::uint16_t volumeRange = 0;
    std::uint16_t pitchRange = 0;
    std::uint32_t wave = 0;    // index into Segment::waves; past them: a reference to nothing
    std::string file{};        // if given, the item names this file instead
    std::uint32_t loopStart{}; // wave samples
    std::uint32_t loopEnd{};
};

struct SegmentWavePart {
    std::int32_t volume = 0;
    std::uint32_t variations = 1;
    std::uint32_t lock = 0;
    std::uint32_t order = 0; // how variations follow each other
    std::vector<SegmentWaveItem> items;
};

struct SegmentReference; // below

// Style-based music: which style plays from when, the chords and the commands.
struct SegmentStyleChange {
    std::int32_t time = 0;
    std::string file;  // the style named by file name
    Bytes guid{};      // or by GUID (16 bytes), as an embedded one is
};

struct SegmentSubchord {
    std::uint32_t chordPattern = 0x91; // C E G
    std::uint32_t scalePattern = 0xAB5AB5;
    std::uint32_t levels = 0xFFFFFFFF;
    std::uint8_t chordRoot = 12;
};

struct SegmentChord {
    std::int32_t time = 0;
    std::uint8_t flags = 0; // 1: silent
    std::vector<SegmentSubchord> subchords{SegmentSubchord{}};
};

struct SegmentCommand {
    std::int32_t time = 0;
    std::uint8_t command = 0; // 0 groove, 1 fill, 2 intro, 3 break, 4 end
    std::uint8_t grooveLevel = 0;
    std::uint8_t grooveRange = 0;
    std::uint8_t repeatMode = 0;
};

struct Segment {
    std::uint32_t headerSize = 40; // 24, 40, 56 or 64 are the known layouts
    std::uint32_t repeats = 0;
    std::int32_t length = 0;       // ticks at 768 per quarter
    std::int32_t playStart = 0;
    std::int32_t loopStart = 0;
    std::int32_t loopEnd = 0;
    std::int64_t refLength = 0;    // 100 ns units
    std::uint32_t flags = 0;       // 1: refLength is the length; 2: all in clock time
    std::int64_t refLoopStart = 0; // 100 ns units, from the 56-byte layout on
    std::int64_t refLoopEnd = 0;
    std::int64_t refPlayStart = 0; // the 64-byte layout only

    std::vector<SegmentNote> notes;
    std::uint32_t noteItemSize = 20;
    std::vector<SegmentCurve> curves;
    std::uint32_t curveItemSize = 32; // 28 in older files
    std::vector<SegmentTempo> tempos;
    bool tempoNamedByType = false; // trkh names the tempo chunk through fccType, as some files do
    std::vector<SegmentBand> bands;
    std::uint32_t instrumentSize = 44; // 40 in older files
    bool unplayedTrack = false; // a track of another class holding a sequence-like chunk
    bool name = true;           // a UNFO list with an odd-sized name, to exercise padding

    std::vector<Bytes> waves;   // WAVE images embedded in a container, named by the items by GUID
    std::vector<SegmentWavePart> waveParts; // a wave track, when there are any
    bool waveClockTime = false; // the wave track's times are 100 ns units
    std::int32_t waveTrackVolume = 0;
    std::vector<Bytes> embedded{}; // whole RIFF forms, held in the segment's container

    std::vector<SegmentStyleChange> styles{}; // a style track, when there are any
    bool chordTrack = false;
    std::uint32_t key = 0x00AB5AB5; // root << 24 | scale
    std::vector<SegmentChord> chords{};
    bool commandTrack = false;
    std::vector<SegmentCommand> commands{};
};

inline constexpr int kSegmentTicksPerQuarter = 768;

Bytes writeSegment(const Segment& segment);

// A DLS collection of one instrument with one region over every key and, as authoring tools
// wrote them, a velocity range of 0..0, playing a short square wave; `guid` is its dlid.
Bytes writeCollection(std::uint32_t bank, std::uint32_t program, const Bytes& guid);

// The melody as a segment: notes on pchannel = channel, tempo items, one band at the start.
Segment segmentFromMelody(const Melody& melody);

// Building blocks for the objects segments refer to, laid out the same way.
Bytes riffChunk(const char* id, const Bytes& data);
Bytes riffList(const char* kind, const char* type, const std::vector<Bytes>& children);

struct SegmentReference { // a LIST 'DMRF'
    Bytes classId;          // 16 bytes, or empty for none
    std::uint32_t valid = 0; // which of the fields count: 1 guid, 4 name, 0x10 file, 0x20 full path
    Bytes guid;             // 16 bytes, or empty: no chunk
    std::string name;       // empty: no chunk
    std::string file;
};
Bytes writeReference(const SegmentReference& reference);
// A RIFF 'DMCN' embedding the given objects (each a whole RIFF form).
Bytes writeContainer(const std::vector<Bytes>& objects);

// The least of a style (RIFF 'DMST', the DX8 layout) that plays: parts of notes, patterns
// that use them. Parts are referred to by index.
struct MinimalStyleNote {
    std::int32_t grid = 0;
    std::uint32_t variations = 1;
    std::int32_t duration = 96;
    std::int16_t offset = 0;
    std::uint16_t value = 60;
    std::uint8_t velocity = 100;
    std::uint8_t playMode = 0x10; // the part's
};

struct MinimalStylePart {
    std::uint8_t gridsPerBeat = 4;
    std::uint16_t measures = 1;
    std::uint8_t playMode = 0; // fixed: the value is the MIDI note
    std::uint32_t enabledVariations = 1; // bit v: variation v + 1 accepts any chord
    std::vector<MinimalStyleNote> notes;
};

struct MinimalStylePartRef {
    std::uint32_t part = 0;
    std::uint32_t pchannel = 0;
    std::uint8_t lock = 0;
};

struct MinimalStylePattern {
    std::uint16_t measures = 1;
    std::uint8_t grooveBottom = 1, grooveTop = 100;
    std::uint16_t embellishment = 0;
    std::vector<MinimalStylePartRef> parts;
};

struct MinimalStyle {
    Bytes guid = Bytes(16, 0x33);
    double tempo = 120.0;
    std::vector<SegmentInstrument> band{}; // none: no band
    std::vector<MinimalStylePart> parts;
    std::vector<MinimalStylePattern> patterns;
};

Bytes writeMinimalStyle(const MinimalStyle& style);
