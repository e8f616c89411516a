// Writes a small sound file of every kind the library reads into a folder: the seed corpus of
// the fuzz targets, and samples to try the program with.
//   write_sound_samples <folder>   -> <folder>/wave, <folder>/smf, <folder>/segment, <folder>/style
#include "MidiWriter.h"
#include "SegmentWriter.h"
#include "StyleWriter.h"
#include "WaveWriter.h"

#include <sndfile.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

void save(const fs::path& path, const std::vector<std::uint8_t>& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

Melody bell()
{
    Melody m;
    m.ticksPerQuarter = 96;
    m.lengthTicks = 96 * 4;
    m.notes = {{0, 48, 0, 84, 110}, {48, 48, 0, 88, 100}, {96, 96, 1, 79, 90}, {192, 192, 9, 56, 120}};
    m.tempos = {{0, 140.0}, {192, 180.0}};
    m.programs = {{0, 14}, {1, 9}};
    return m;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const fs::path root = argv[1];

    struct Encoding {
        const char* name;
        int subtype;
        int major;
    };
    const Encoding encodings[] = {
        {"pcm_u8", SF_FORMAT_PCM_U8, 0},   {"pcm_16", SF_FORMAT_PCM_16, 0}, {"pcm_24", SF_FORMAT_PCM_24, 0},
        {"pcm_32", SF_FORMAT_PCM_32, 0},   {"float", SF_FORMAT_FLOAT, 0},   {"double", SF_FORMAT_DOUBLE, 0},
        {"ima_adpcm", SF_FORMAT_IMA_ADPCM, 0}, {"ms_adpcm", SF_FORMAT_MS_ADPCM, 0},
        {"ulaw", SF_FORMAT_ULAW, 0},       {"alaw", SF_FORMAT_ALAW, 0},     {"gsm610", SF_FORMAT_GSM610, 0},
        {"wavex_16", SF_FORMAT_PCM_16, SF_FORMAT_WAVEX},
    };
    for (const Encoding& e : encodings)
        for (int channels : {1, 2}) {
            const int rate = channels == 1 ? 22050 : 44100;
            const std::string name = std::string(e.name) + (channels == 1 ? "_mono" : "_stereo") + ".wav";
            try {
                save(root / "wave" / name, writeWave(sineSignal(880.0, rate, rate / 50, channels), channels, rate,
                                                     e.subtype, e.major));
            } catch (const std::exception& error) { // GSM 6.10 is mono only, for one
                std::fprintf(stderr, "%s: %s\n", name.c_str(), error.what());
            }
        }
    save(root / "wave" / "pcm_16_6ch.wav", writeWave(rampSignal(480, 6), 6, 48000, SF_FORMAT_PCM_16, SF_FORMAT_WAVEX));

    const Melody melody = bell();
    save(root / "smf" / "bell_format0.mid", midiFromMelody(melody, 0));
    save(root / "smf" / "bell_format1.mid", midiFromMelody(melody, 1));
    SmfTrack odd;
    odd.runningStatus = true;
    odd.tempo(0, 400000).sysex(0, {0x7E, 0x7F, 0x09, 0x01, 0xF7}).meta(0, 0x03, {'b', 'e', 'l', 'l'});
    odd.note(0, 96, 2, 60, 90).controller(10, 2, 7, 80).pitchBend(20, 2, 12000).program(30, 2, 40);
    save(root / "smf" / "running_status.mid", writeSmf(0, 96, {odd}));

    save(root / "segment" / "bell.sgt", writeSegment(segmentFromMelody(melody)));
    Segment rich = segmentFromMelody(melody);
    rich.headerSize = 64;
    rich.flags = 1;
    rich.refLength = 20'000'000;
    rich.loopStart = 768;
    rich.loopEnd = 768 * 3;
    SegmentCurve swell;
    swell.duration = 768;
    swell.endValue = 127;
    swell.shape = 4;
    swell.flags = 1;
    swell.resetDuration = 96;
    swell.resetValue = 100;
    SegmentCurve bend = swell;
    bend.type = 3;
    bend.endValue = 12000;
    SegmentCurve rpn = swell;
    rpn.type = 7;
    rpn.shape = 1;
    rich.curves = {swell, bend, rpn};
    rich.bands.push_back({768, true, {{0x000105, 1, 0x61, 20, 90}}});
    rich.unplayedTrack = true;
    rich.tempoNamedByType = true;
    save(root / "segment" / "rich.sgt", writeSegment(rich));
    Segment wide = rich; // a play start, and PChannels past the first 16
    wide.playStart = 384;
    wide.notes.push_back({0, 384, 17, 0, 0x90, 64, 100});
    wide.bands.push_back({0, false, {{0x80000000, 25, 0x1, 64, 100}, {40, 16, 0x1, 64, 100}}});
    save(root / "segment" / "wide.sgt", writeSegment(wide));
    Segment old = segmentFromMelody(melody);
    old.headerSize = 24;
    old.curveItemSize = 28;
    old.instrumentSize = 40;
    old.curves = {swell};
    save(root / "segment" / "old_layout.sgt", writeSegment(old));

    // Wave tracks, with their waves in a container: in music time, two parts locked together
    // and an item that names no wave; in clock time with pitches, ranges and loop flags.
    Segment waves;
    waves.length = 768 * 2;
    waves.tempos = {{0, 140.0}};
    waves.waves = {writeWave(sineSignal(880.0, 8000, 160, 1), 1, 8000, SF_FORMAT_PCM_U8),
                   writeWave(rampSignal(100, 2), 2, 11025, SF_FORMAT_PCM_16)};
    waves.waveTrackVolume = -100;
    waves.waveParts = {{-200, 0x7, 3, 0, {{0, 384}, {192, 768, 10000, -300, 0, 0x2, 0, 0, 0, 1}, {384, 96, 0, 0, 0, 0x4, 0, 0, 0, 5}}},
                       {0, 0x3, 3, 4, {{96, 384, 0, -50, 0, 0x3, 0x20, 0, 0, 1}}}};
    save(root / "segment" / "waves.sgt", writeSegment(waves));
    Segment clock = waves;
    clock.tempos.clear();
    clock.flags = 1;
    clock.refLength = 5'000'000;
    clock.waveClockTime = true;
    clock.repeats = 2;
    clock.waveParts = {{0, 0x3, 0, 1, {{0, 2'000'000, 0, 0, 120, 0x1, 0x4, 300, 50, 0}, {1'000'000, 3'000'000, 0, -620, -144, 0x2, 0, 0, 0, 1}}}};
    save(root / "segment" / "waves_clock.sgt", writeSegment(clock));

    // A band instrument from a DLS collection the segment holds, named by GUID; and one whose
    // collection lacks the instrument.
    Segment band = segmentFromMelody(melody);
    const Bytes dlid(16, 0x3C);
    band.embedded = {writeCollection(0x00000400, 127, dlid)};
    band.bands.push_back({0, false, {{0x0004007F, 0, 0x3, 64, 100, "", dlid}, {0x0005007F, 1, 0x3, 64, 100, "", dlid}}});
    save(root / "segment" / "band_collection.sgt", writeSegment(band));

    // Styles in both layouts; the older one with a chord-following third part, a reference to
    // no part and a motif.
    save(root / "style" / "groove_fill.sty", writeStyle(exampleStyle()));
    Style older = exampleStyle();
    StylePart upper = older.parts[0];
    upper.id.fill(0x3E);
    upper.playMode = 0x0E;
    upper.notes = {{0, 0xFF, 192, 0, 0x4200, 100, 0, 0, 0, 0, 0x10, 0}, {2, 0xFF, 192, 0, 0x40F1, 100, 0, 0, 0, 0, 0x05, 0}};
    older.parts.push_back(upper);
    StylePattern motif = older.patterns[0];
    motif.name = "motif";
    motif.embellishment = 0x10;
    motif.parts = {{2, 4, 0x81, 1, 0}, {5, 5, 0, 0, 0}};
    older.patterns.push_back(motif);
    save(root / "style" / "older_layout.sty", writeStyle(older, true));

    // Style-based: an embedded style of two parts, a locked pair of variations and a fill,
    // chords of two subchords, grooves and a fill.
    MinimalStyle style;
    style.parts = {{2, 1, 0, 0x3, {{0, 1, 384, 0, 36}, {3, 2, 192, -24, 38}}}, {4, 2, 0x0A, 0x3, {{0, 3, 768, 0, 0x4000}}}};
    style.patterns = {{2, 1, 60, 0, {{0, 9, 1}, {1, 1, 1}}}, {1, 40, 100, 0, {{1, 2}}}, {1, 1, 100, 1, {{0, 9}}}};
    Segment styled;
    styled.length = 8 * 4 * kSegmentTicksPerQuarter;
    styled.embedded = {writeMinimalStyle(style)};
    styled.styles = {{0, "", style.guid}};
    styled.chordTrack = styled.commandTrack = true;
    styled.chords = {{0}, {1536, 0, {{0x91, 0xAB5AB5, 0x1, 14}, {0x891, 0xAB5AB5, 0x2, 7}}}};
    styled.commands = {{0, 0, 30}, {3 * 3072, 1}, {4 * 3072, 0, 80, 10, 2}};
    save(root / "segment" / "style.sgt", writeSegment(styled));
    return 0;
}
