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

struct Segment {
    std::uint32_t headerSize = 40; // 24, 40, 56 or 64 are the known layouts
    std::uint32_t repeats = 0;
    std::int32_t length = 0;       // ticks at 768 per quarter
    std::int32_t playStart = 0;
    std::int32_t loopStart = 0;
    std::int32_t loopEnd = 0;
    std::int64_t refLength = 0;    // 100 ns units
    std::uint32_t flags = 0;       // 1: refLength is the length

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
    std::vector<Bytes> embedded{}; // whole RIFF forms, held in the segment's container
};

inline constexpr int kSegmentTicksPerQuarter = 768;

Bytes writeSegment(const Segment& segment);

// A DLS collection of one instrument with one region over every key and, as authoring tools
// wrote them, a velocity range of 0..0, playing a short square wave; `guid` is its dlid.
Bytes writeCollection(std::uint32_t bank, std::uint32_t program, const Bytes& guid);

// The melody as a segment: notes on pchannel = channel, tempo items, one band at the start.
Segment segmentFromMelody(const Melody& melody);
