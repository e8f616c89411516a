#include "SegmentWriter.h"

#include "StyleWriter.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace {

template <typename T>
void put(Bytes& out, T value)
{
    std::array<std::uint8_t, sizeof(T)> raw{};
    std::memcpy(raw.data(), &value, sizeof(T)); // the machines we build on are little-endian
    out.insert(out.end(), raw.begin(), raw.end());
}

void putId(Bytes& out, const char* id) { out.insert(out.end(), id, id + 4); }

void padTo(Bytes& item, std::size_t size) { item.resize(size, 0); }

Bytes chunk(const char* id, const Bytes& data)
{
    Bytes out;
    putId(out, id);
    put(out, std::uint32_t(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    if (data.size() & 1) out.push_back(0);
    return out;
}

Bytes list(const char* kind, const char* type, const std::vector<Bytes>& children)
{
    Bytes data;
    putId(data, type);
    for (const Bytes& c : children) data.insert(data.end(), c.begin(), c.end());
    return chunk(kind, data);
}

Bytes itemArray(std::uint32_t itemSize, const std::vector<Bytes>& items)
{
    Bytes out;
    put(out, itemSize);
    for (Bytes item : items) {
        padTo(item, itemSize);
        out.insert(out.end(), item.begin(), item.end());
    }
    return out;
}

Bytes trackClass(std::uint8_t first)
{
    return {first, 0x28, 0xAC, 0xD2, 0x9B, 0xB3, 0xD1, 0x11, 0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xB1, 0xBD};
}

Bytes trackHeader(const Bytes& cls, const char* ckid, const char* fccType)
{
    Bytes h = cls;
    put(h, std::uint32_t(0)); // position
    put(h, std::uint32_t(1)); // group
    if (ckid) putId(h, ckid); else put(h, std::uint32_t(0));
    if (fccType) putId(h, fccType); else put(h, std::uint32_t(0));
    return chunk("trkh", h);
}

Bytes track(const Bytes& header, const Bytes& data)
{
    return list("RIFF", "DMTK", {header, data});
}

Bytes noteItem(const SegmentNote& n)
{
    Bytes b;
    put(b, n.time);
    put(b, n.duration);
    put(b, n.pchannel);
    put(b, n.offset);
    b.insert(b.end(), {n.status, n.byte1, n.byte2});
    return b;
}

Bytes curveItem(const SegmentCurve& c)
{
    Bytes b;
    put(b, c.start);
    put(b, c.duration);
    put(b, c.resetDuration);
    put(b, c.pchannel);
    put(b, c.offset);
    put(b, c.startValue);
    put(b, c.endValue);
    put(b, c.resetValue);
    b.insert(b.end(), {c.type, c.shape, c.ccData, c.flags});
    put(b, c.paramType);
    put(b, std::uint16_t(0)); // merge index
    return b;
}

Bytes instrument(const SegmentInstrument& i)
{
    Bytes b;
    put(b, i.patch);
    put(b, i.patch); // assign patch
    for (int r = 0; r < 4; ++r) put(b, std::uint32_t(0xFFFFFFFF));
    put(b, i.pchannel);
    put(b, i.flags);
    b.insert(b.end(), {i.pan, i.volume});
    put(b, std::int16_t(0));  // transpose
    put(b, std::uint32_t(0)); // channel priority
    put(b, std::int16_t(2));  // pitch-bend range
    return b;
}

Bytes utf16(const std::string& text)
{
    Bytes b;
    for (char c : text) put(b, std::uint16_t(std::uint8_t(c)));
    put(b, std::uint16_t(0));
    return b;
}

Bytes collectionReference(const SegmentInstrument& i)
{
    const Bytes collectionClass{0xB0, 0xF4, 0x0F, 0x48, 0xB2, 0x28, 0xD1, 0x11,
                                0xBE, 0xF7, 0x00, 0xC0, 0x4F, 0xBF, 0x8F, 0xEF};
    Bytes refh = collectionClass;
    put(refh, std::uint32_t(0x2 | (i.collectionGuid.empty() ? 0 : 0x1) | (i.collectionFile.empty() ? 0 : 0x10)));
    std::vector<Bytes> parts{chunk("refh", refh)};
    if (!i.collectionGuid.empty()) parts.push_back(chunk("guid", i.collectionGuid));
    if (!i.collectionFile.empty()) parts.push_back(chunk("file", utf16(i.collectionFile)));
    return list("LIST", "DMRF", parts);
}

Bytes bandTrackData(const Segment& s)
{
    std::vector<Bytes> bands;
    for (const SegmentBand& band : s.bands) {
        std::vector<Bytes> instruments;
        for (const SegmentInstrument& i : band.instruments) {
            Bytes bins = instrument(i);
            padTo(bins, s.instrumentSize);
            std::vector<Bytes> parts{chunk("bins", bins)};
            if (!i.collectionFile.empty() || !i.collectionGuid.empty()) parts.push_back(collectionReference(i));
            instruments.push_back(list("LIST", "lbin", parts));
        }
        Bytes header;
        put(header, band.time);
        if (!band.oldHeader) put(header, band.time);
        bands.push_back(list("LIST", "lbnd", {chunk(band.oldHeader ? "bdih" : "bd2h", header),
                                              list("RIFF", "DMBD", {list("LIST", "lbil", instruments)})}));
    }
    Bytes autoDownload;
    put(autoDownload, std::uint32_t(1));
    return list("RIFF", "DMBT", {chunk("bdth", autoDownload), list("LIST", "lbdl", bands)});
}

Bytes segmentHeader(const Segment& s)
{
    Bytes h;
    put(h, s.repeats);
    put(h, s.length);
    put(h, s.playStart);
    put(h, s.loopStart);
    put(h, s.loopEnd);
    put(h, std::uint32_t(0)); // resolution
    put(h, s.refLength);
    put(h, s.flags);
    put(h, std::uint32_t(0)); // reserved
    put(h, s.refLoopStart);
    put(h, s.refLoopEnd);
    put(h, s.refPlayStart);
    h.resize(s.headerSize, 0); // the older layouts end sooner
    return chunk("segh", h);
}

Bytes utf16Name(const std::string& name)
{
    Bytes b;
    for (char c : name) put(b, std::uint16_t(std::uint8_t(c)));
    put(b, std::uint16_t(0));
    b.pop_back(); // an odd size, as a byte-counted string may have, to test the padding
    return b;
}

Bytes waveGuid(std::uint32_t index)
{
    Bytes g(16, 0x77);
    std::memcpy(g.data(), &index, sizeof index);
    return g;
}

// A WAVE image as a container holds it: with its GUID in a chunk of its own.
Bytes embeddedWave(const Bytes& image, std::uint32_t index)
{
    const Bytes guid = chunk("guid", waveGuid(index));
    Bytes out(image.begin(), image.begin() + 12);
    const auto size = std::uint32_t(image.size() - 8 + guid.size());
    std::memcpy(out.data() + 4, &size, sizeof size);
    out.insert(out.end(), guid.begin(), guid.end());
    out.insert(out.end(), image.begin() + 12, image.end());
    return out;
}

const Bytes kDirectSoundWave = {0x54, 0x71, 0x66, 0x8A, 0xCB, 0xF9, 0xD2, 0x11,
                                0xAD, 0x8A, 0x00, 0x60, 0xB0, 0x57, 0x5A, 0xBC};

Bytes container(const Segment& s)
{
    std::vector<Bytes> objects;
    for (std::uint32_t i = 0; i < s.waves.size(); ++i) objects.push_back(embeddedWave(s.waves[i], i));
    objects.insert(objects.end(), s.embedded.begin(), s.embedded.end());
    return writeContainer(objects);
}

Bytes waveTrackData(const Segment& s)
{
    Bytes header;
    put(header, s.waveTrackVolume);
    put(header, std::uint32_t(0));
    std::vector<Bytes> parts{chunk("wath", header)};
    for (const SegmentWavePart& p : s.waveParts) {
        Bytes ph;
        put(ph, p.volume);
        put(ph, p.variations);
        put(ph, std::uint32_t(0)); // pchannel
        put(ph, p.lock);
        put(ph, p.order);
        put(ph, std::uint32_t(0)); // index
        std::vector<Bytes> items;
        for (const SegmentWaveItem& w : p.items) {
            Bytes h;
            put(h, w.volume);
            put(h, w.pitch);
            put(h, w.variations);
            put(h, std::uint32_t(0));
            put(h, w.time);
            put(h, w.offset);
            put(h, std::int64_t(0));
            put(h, w.duration);
            put(h, std::int32_t(s.waveClockTime ? w.time / 10000 : w.time)); // logical time
            put(h, w.loopStart);
            put(h, w.loopEnd);
            put(h, w.flags);
            put(h, w.volumeRange);
            put(h, w.pitchRange);
            padTo(h, 72);
            const Bytes ref = w.file.empty() ? writeReference({kDirectSoundWave, 0x1, waveGuid(w.wave), {}, {}})
                                             : writeReference({kDirectSoundWave, 0x10, {}, {}, w.file});
            items.push_back(list("LIST", "wave", {chunk("waih", h), ref}));
        }
        parts.push_back(list("LIST", "wavp", {chunk("waph", ph), list("LIST", "wavi", items)}));
    }
    return list("LIST", "wavt", parts);
}

const Bytes kStyleClass = trackClass(0x8A); // the style object's class, a neighbour of the tracks'

Bytes styleTrackData(const Segment& s)
{
    std::vector<Bytes> changes;
    for (const SegmentStyleChange& c : s.styles) {
        Bytes stmp;
        put(stmp, c.time);
        const std::uint32_t valid = 0x2 | (c.guid.empty() ? 0 : 0x1) | (c.file.empty() ? 0 : 0x10);
        changes.push_back(list("LIST", "strf", {chunk("stmp", stmp), writeReference({kStyleClass, valid, c.guid, {}, c.file})}));
    }
    return list("LIST", "sttr", changes);
}

Bytes chordTrackData(const Segment& s)
{
    Bytes key;
    put(key, s.key);
    std::vector<Bytes> parts{chunk("crdh", key)};
    for (const SegmentChord& c : s.chords) {
        Bytes b;
        put(b, std::uint32_t(40));
        Bytes chord(32, 0); // no name
        put(chord, c.time);
        put(chord, std::uint16_t(c.time / (4 * kSegmentTicksPerQuarter)));
        chord.push_back(std::uint8_t(c.time / kSegmentTicksPerQuarter % 4));
        chord.push_back(c.flags);
        b.insert(b.end(), chord.begin(), chord.end());
        put(b, std::uint32_t(c.subchords.size()));
        put(b, std::uint32_t(20));
        for (const SegmentSubchord& sub : c.subchords) {
            put(b, sub.chordPattern);
            put(b, sub.scalePattern);
            put(b, std::uint32_t(0xFFFFFFFF));
            put(b, sub.levels);
            b.insert(b.end(), {sub.chordRoot, 0, 0xFF, 0xFF}); // the pad holds garbage, as in real files
        }
        parts.push_back(chunk("crdb", b));
    }
    return list("LIST", "cord", parts);
}

Bytes commandTrackData(const Segment& s)
{
    std::vector<Bytes> items;
    for (const SegmentCommand& c : s.commands) {
        Bytes b;
        put(b, c.time);
        put(b, std::uint16_t(c.time / (4 * kSegmentTicksPerQuarter)));
        b.insert(b.end(), {std::uint8_t(c.time / kSegmentTicksPerQuarter % 4), c.command, c.grooveLevel, c.grooveRange,
                           c.repeatMode, 0});
        items.push_back(b);
    }
    return chunk("cmnd", itemArray(12, items));
}

} // namespace

Bytes writeSegment(const Segment& s)
{
    std::vector<Bytes> tracks;
    if (!s.notes.empty() || !s.curves.empty()) {
        std::vector<Bytes> notes, curves;
        for (const SegmentNote& n : s.notes) notes.push_back(noteItem(n));
        for (const SegmentCurve& c : s.curves) curves.push_back(curveItem(c));
        const Bytes seqt = chunk("seqt", [&] {
            Bytes body = chunk("evtl", itemArray(s.noteItemSize, notes));
            const Bytes curl = chunk("curl", itemArray(s.curveItemSize, curves));
            body.insert(body.end(), curl.begin(), curl.end());
            return body;
        }());
        tracks.push_back(track(trackHeader(trackClass(0x86), "seqt", nullptr), seqt));
        if (s.unplayedTrack) // a chord track's class, though its chunk looks like notes
            tracks.push_back(track(trackHeader(trackClass(0x8B), "seqt", nullptr), seqt));
    }
    if (!s.tempos.empty()) {
        std::vector<Bytes> items;
        for (const SegmentTempo& t : s.tempos) {
            Bytes b;
            put(b, t.time);
            put(b, std::uint32_t(0));
            put(b, t.bpm);
            items.push_back(b);
        }
        const Bytes header = s.tempoNamedByType ? trackHeader(trackClass(0x85), nullptr, "tetr")
                                                : trackHeader(trackClass(0x85), "tetr", nullptr);
        tracks.push_back(track(header, chunk("tetr", itemArray(16, items))));
    }
    if (!s.bands.empty())
        tracks.push_back(track(trackHeader(trackClass(0x94), nullptr, "DMBT"), bandTrackData(s)));

    if (!s.waveParts.empty()) {
        const Bytes cls = {0x61, 0x64, 0xD3, 0xEE, 0xA5, 0x9E, 0xD3, 0x11, 0x9B, 0xD1, 0x00, 0x80, 0xC7, 0x15, 0x0A, 0x74};
        Bytes flags;
        put(flags, std::uint32_t(s.waveClockTime ? 0x50 : 0x10)); // played, and maybe clock time
        put(flags, std::uint32_t(0));
        tracks.push_back(list("RIFF", "DMTK", {trackHeader(cls, nullptr, "wavt"), chunk("trkx", flags), waveTrackData(s)}));
    }

    if (!s.styles.empty()) tracks.push_back(track(trackHeader(trackClass(0x8D), nullptr, "sttr"), styleTrackData(s)));
    if (s.chordTrack) tracks.push_back(track(trackHeader(trackClass(0x8B), nullptr, "cord"), chordTrackData(s)));
    if (s.commandTrack) tracks.push_back(track(trackHeader(trackClass(0x8C), "cmnd", nullptr), commandTrackData(s)));

    std::vector<Bytes> parts{segmentHeader(s), chunk("guid", Bytes(16, 0x5A))};
    if (s.name) parts.push_back(list("LIST", "UNFO", {chunk("UNAM", utf16Name("bell"))}));
    if (!s.waves.empty() || !s.embedded.empty()) parts.push_back(container(s));
    parts.push_back(list("LIST", "trkl", tracks));
    return list("RIFF", "DMSG", parts);
}

Segment segmentFromMelody(const Melody& melody)
{
    const std::int32_t scale = kSegmentTicksPerQuarter / melody.ticksPerQuarter;
    Segment s;
    s.length = std::int32_t(melody.lengthTicks) * scale;
    for (const MelodyNote& n : melody.notes)
        s.notes.push_back({std::int32_t(n.tick) * scale, std::int32_t(n.length) * scale, n.channel, 0, 0x90,
                           n.key, n.velocity});
    for (const MelodyTempo& t : melody.tempos) s.tempos.push_back({std::int32_t(t.tick) * scale, t.bpm});
    if (!melody.programs.empty()) {
        SegmentBand band{-1, false, {}};
        for (const MelodyProgram& p : melody.programs) band.instruments.push_back({p.program, p.channel, 0x1, 64, 100});
        s.bands.push_back(band);
    }
    return s;
}

Bytes riffChunk(const char* id, const Bytes& data)
{
    return chunk(id, data);
}

Bytes riffList(const char* kind, const char* type, const std::vector<Bytes>& children)
{
    return list(kind, type, children);
}

Bytes writeReference(const SegmentReference& r)
{
    auto text = [](const std::string& s) {
        Bytes b;
        for (char c : s) put(b, std::uint16_t(std::uint8_t(c)));
        put(b, std::uint16_t(0));
        return b;
    };
    Bytes refh = r.classId;
    refh.resize(16, 0);
    put(refh, r.valid);
    std::vector<Bytes> parts{chunk("refh", refh)};
    if (!r.guid.empty()) parts.push_back(chunk("guid", r.guid));
    if (!r.name.empty()) parts.push_back(chunk("name", text(r.name)));
    if (!r.file.empty()) parts.push_back(chunk("file", text(r.file)));
    return list("LIST", "DMRF", parts);
}

Bytes writeContainer(const std::vector<Bytes>& objects)
{
    std::vector<Bytes> entries;
    for (const Bytes& object : objects) {
        Bytes cobh(16, 0);
        put(cobh, std::uint32_t(0));
        cobh.insert(cobh.end(), object.begin(), object.begin() + std::min<std::size_t>(4, object.size()));
        cobh.insert(cobh.end(), object.begin() + std::min<std::size_t>(8, object.size()),
                    object.begin() + std::min<std::size_t>(12, object.size()));
        cobh.resize(28, 0);
        entries.push_back(list("LIST", "cobl", {chunk("cobh", cobh), object}));
    }
    return list("RIFF", "DMCN", {chunk("conh", Bytes(4, 0)), list("LIST", "cosl", entries)});
}

Bytes writeCollection(std::uint32_t bank, std::uint32_t program, const Bytes& guid)
{
    Bytes colh, insh, rgnh, wlnk, ptbl, fmt, data;
    put(colh, std::uint32_t(1));
    put(insh, std::uint32_t(1));
    put(insh, bank);
    put(insh, program);
    for (std::uint16_t v : {0, 127, 0, 0, 0, 0}) put(rgnh, v); // keys 0..127, velocities 0..0
    for (std::uint32_t v : {0u, 0u, 0u}) put(wlnk, v);
    put(ptbl, std::uint32_t(8));
    put(ptbl, std::uint32_t(1));
    put(ptbl, std::uint32_t(0));
    put(fmt, std::uint16_t(1)); // PCM
    put(fmt, std::uint16_t(1));
    put(fmt, std::uint32_t(22050));
    put(fmt, std::uint32_t(44100));
    put(fmt, std::uint16_t(2));
    put(fmt, std::uint16_t(16));
    for (int i = 0; i < 200; ++i) put(data, std::int16_t((i / 25) % 2 ? 12000 : -12000));
    Bytes wsmp;
    put(wsmp, std::uint32_t(20));
    put(wsmp, std::uint16_t(60)); // unity note
    put(wsmp, std::int16_t(0));
    put(wsmp, std::int32_t(0));
    put(wsmp, std::uint32_t(0));
    put(wsmp, std::uint32_t(1)); // one loop: the whole wave
    for (std::uint32_t v : {16u, 0u, 0u, 200u}) put(wsmp, v);
    const Bytes region = list("LIST", "rgn ", {chunk("rgnh", rgnh), chunk("wsmp", wsmp), chunk("wlnk", wlnk)});
    const Bytes instrument = list("LIST", "ins ", {chunk("insh", insh), list("LIST", "lrgn", {region})});
    return list("RIFF", "DLS ", {chunk("colh", colh), chunk("dlid", guid), list("LIST", "lins", {instrument}),
                                 chunk("ptbl", ptbl),
                                 list("LIST", "wvpl", {list("LIST", "wave", {chunk("fmt ", fmt), chunk("data", data)})})});
}

Bytes writeMinimalStyle(const MinimalStyle& minimal)
{
    Style style;
    style.timeSig = {4, 4, 4};
    style.tempo = minimal.tempo;
    for (std::uint32_t i = 0; i < minimal.parts.size(); ++i) {
        const MinimalStylePart& p = minimal.parts[i];
        StylePart& part = style.parts.emplace_back();
        part.id.fill(0x44);
        std::memcpy(part.id.data(), &i, sizeof i);
        part.timeSig = {4, 4, p.gridsPerBeat};
        for (int v = 0; v < 32; ++v) part.variationChoices[std::size_t(v)] = p.enabledVariations >> v & 1 ? 0x7FFFFFFF : 0x60000000;
        part.measures = p.measures;
        part.playMode = p.playMode;
        for (const MinimalStyleNote& n : p.notes)
            part.notes.push_back({n.grid, n.variations, n.duration, n.offset, n.value, n.velocity, 0, 0, 0, 0, n.playMode, 0});
    }
    for (const MinimalStylePattern& p : minimal.patterns) {
        StylePattern& pattern = style.patterns.emplace_back();
        pattern.grooveBottom = p.grooveBottom;
        pattern.grooveTop = p.grooveTop;
        pattern.embellishment = p.embellishment;
        pattern.measures = p.measures;
        pattern.rhythm.assign(p.measures, 0xF);
        for (const MinimalStylePartRef& r : p.parts) pattern.parts.push_back({r.part, r.pchannel, r.lock, 0, 1}); // random order
    }
    std::vector<Bytes> band;
    if (!minimal.band.empty()) {
        std::vector<Bytes> instruments;
        for (const SegmentInstrument& i : minimal.band) {
            Bytes bins = instrument(i);
            padTo(bins, 44);
            instruments.push_back(list("LIST", "lbin", {chunk("bins", bins)}));
        }
        band.push_back(list("RIFF", "DMBD", {list("LIST", "lbil", instruments)}));
    }
    return writeStyle(style, false, minimal.guid, band);
}
