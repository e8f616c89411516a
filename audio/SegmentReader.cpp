#include "SegmentReader.h"

#include "DlsCollection.h"
#include "ObjectLoader.h"
#include "RiffChunks.h"
#include "StyleComposer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <numbers>
#include <random>
#include <vector>

namespace {

using namespace riff;

constexpr int kTicksPerQuarter = 768;
constexpr double kDefaultBpm = 120.0;
constexpr double kMinBpm = 1.0;    // the tempo range DirectMusic itself accepts
constexpr double kMaxBpm = 1000.0;
constexpr std::int64_t kCurveStepTicks = 12; // about 8 ms at 120 BPM: smooth enough for any controller
constexpr std::int64_t kMaxCurveSteps = 4096;

constexpr Guid trackClass(std::uint8_t last)
{
    // The track classes differ only in their first byte.
    return {last, 0x28, 0xAC, 0xD2, 0x9B, 0xB3, 0xD1, 0x11, 0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xB1, 0xBD};
}
constexpr Guid kTempoTrack = trackClass(0x85);
constexpr Guid kSequenceTrack = trackClass(0x86);
constexpr Guid kBandTrack = trackClass(0x94);
constexpr Guid kChordTrack = trackClass(0x8B);
constexpr Guid kCommandTrack = trackClass(0x8C);
constexpr Guid kStyleTrack = trackClass(0x8D);
// Far more style changes and chords than any real segment holds.
constexpr std::size_t kMaxStyleChanges = 256;
constexpr std::size_t kMaxChords = 65536;
constexpr std::size_t kMaxSubchords = 8; // as many as DirectMusic itself takes
constexpr Guid kWaveTrack = {0x61, 0x64, 0xD3, 0xEE, 0xA5, 0x9E, 0xD3, 0x11,
                             0x9B, 0xD1, 0x00, 0x80, 0xC7, 0x15, 0x0A, 0x74};

constexpr std::uint32_t kTrackClockTime = 0x40;   // trkx: the track's times are 100 ns units
constexpr std::uint32_t kSegmentClockTime = 0x2;  // segh: the whole segment runs in clock time
constexpr std::uint32_t kWaveTrackKeepsOrder = 0x2;
// Far more than any real wave track; a hostile one stops here.
constexpr std::size_t kMaxWaveParts = 256;
constexpr std::size_t kMaxWaveItems = 65536;
// Tick or 100 ns values past this (about 30 hours in clock time) are taken as this.
constexpr std::int64_t kLatestWaveTime = std::int64_t{1} << 40;
constexpr Guid kCollectionClass = {0xB0, 0xF4, 0x0F, 0x48, 0xB2, 0x28, 0xD1, 0x11,
                                   0xBE, 0xF7, 0x00, 0xC0, 0x4F, 0xBF, 0x8F, 0xEF};
constexpr std::size_t kMaxCollections = 255; // MidiEvent::collection counts them in a byte

struct TickEvent {
    std::int64_t tick = 0;
    int order = 0; // at one tick: band changes, then note-offs, then the rest
    MidiEvent message;
};

struct TempoItem {
    std::int64_t tick = 0;
    double bpm = kDefaultBpm;
};

// A wave part as read, its times still in the track's own unit: ticks need the tempo map,
// which is known only once every track is read.
struct WaveTrackPart {
    WavePart part;
    std::vector<std::pair<std::int64_t, std::int64_t>> times; // start and duration of each item
    bool clockTime = false;
};

struct SeenCollection {
    Bytes form;
    std::uint8_t index = 0; // in Collector::collections, 1-based; 0: not kept
    std::vector<std::uint32_t> patches; // sorted
};

class Collector {
public:
    bool full() const { return events.size() >= kMaxSegmentEvents; }

    bool add(std::int64_t tick, std::uint8_t type, int channel, std::uint8_t d1, std::uint8_t d2, int order = 2)
    {
        if (full()) return false;
        const bool twoBytes = type == 0xC0 || type == 0xD0;
        events.push_back({std::max<std::int64_t>(0, tick), order,
                          MidiEvent{0.0, std::uint8_t(type | (channel & 0x0F)), std::uint8_t(d1 & 0x7F),
                                    std::uint8_t(twoBytes ? 0 : d2 & 0x7F), std::uint8_t(channel >> 4)}});
        return true;
    }

    // A program change that picks an instrument of collection `collection` (1-based).
    bool addProgram(std::int64_t tick, int channel, std::uint8_t program, std::uint8_t collection, int bank, std::uint8_t kind)
    {
        if (!add(tick, 0xC0, channel, program, 0, 0)) return false;
        events.back().message.collection = collection;
        events.back().message.bank = std::uint16_t(bank);
        events.back().message.data2 = kind;
        return true;
    }

    std::vector<TickEvent> events;
    std::vector<TempoItem> tempos;

    bool clockTime = false; // the segment header's flag
    std::vector<WaveTrackPart> waveParts;
    std::size_t waveItems = 0;
    std::vector<std::vector<std::uint8_t>> waveImages;
    std::map<const std::uint8_t*, std::uint32_t> waveIndex; // by where the wave lies in the loader
    std::vector<std::vector<std::uint8_t>> collections; // each distinct one once
    std::vector<SeenCollection> seenCollections;

    bool hasBandTrack = false;
    Bytes styleBand; // the first band of the style in force at the start
    StyleTracks styles;
    std::map<const std::uint8_t*, std::size_t> styleIndex; // a style named again is read once
};

// Each PChannel has a synthesizer channel of its own; those past the synthesizer's channels
// (none in real bands, but the reserved values at the top) fold onto them.
int channelOf(std::uint32_t pchannel) { return int(pchannel % kMusicChannels); }

bool readSequenceItem(Bytes item, Collector& out)
{
    const std::int64_t time = std::int64_t(field<std::int32_t>(item, 0)) + field<std::int16_t>(item, 12);
    // At least a tick, so that the note-off never sorts ahead of its own note-on.
    const std::int64_t duration = std::max<std::int32_t>(1, field<std::int32_t>(item, 4));
    const int ch = channelOf(field<std::uint32_t>(item, 8));
    const std::uint8_t type = field<std::uint8_t>(item, 14) & 0xF0;
    const std::uint8_t b1 = field<std::uint8_t>(item, 15);
    const std::uint8_t b2 = field<std::uint8_t>(item, 16);
    if (type < 0x80 || type == 0xF0) return true; // not a channel message
    if (type != 0x90) return out.add(time, type, ch, b1, b2);
    if ((b2 & 0x7F) == 0) return true; // a note that never sounds
    return out.add(time, 0x90, ch, b1, b2) && out.add(time + duration, 0x80, ch, b1, 0, 1);
}

double curveShape(std::uint8_t shape, double t)
{
    switch (shape) {
    case 2: return t * t;                               // exponential: slow, then fast
    case 3: return 1.0 - (1.0 - t) * (1.0 - t);         // logarithmic: fast, then slow
    case 4: return (1.0 - std::cos(std::numbers::pi * t)) / 2.0;    // sine
    default: return t;                                  // linear
    }
}

// A curve, from a sequence track or a style's part, on the tick time line.
struct CurveItem {
    std::int64_t start = 0;
    std::int64_t duration = 0;
    std::int64_t resetDuration = 0;
    int ch = 0;
    int from = 0, to = 0, reset = 0;
    std::uint8_t type = 0, shape = 0, data = 0, flags = 0;
    std::uint16_t param = 0;
};

bool addCurve(const CurveItem& c, Collector& out)
{
    const std::int64_t start = c.start, duration = c.duration, resetDuration = c.resetDuration;
    const int ch = c.ch, from = c.from, to = c.to, reset = c.reset;
    const std::uint8_t type = c.type, shape = c.shape, data = c.data, flags = c.flags;
    const std::uint16_t param = c.param;

    auto send = [&](std::int64_t tick, int value) {
        switch (type) {
        case 3: value = std::clamp(value, 0, 16383); return out.add(tick, 0xE0, ch, value & 0x7F, value >> 7);
        case 4: return out.add(tick, 0xB0, ch, data, std::clamp(value, 0, 127));
        case 5: return out.add(tick, 0xD0, ch, std::clamp(value, 0, 127), 0);
        case 6: return out.add(tick, 0xA0, ch, data, std::clamp(value, 0, 127));
        default:
            value = std::clamp(value, 0, 16383);
            return out.add(tick, 0xB0, ch, 6, value >> 7) && out.add(tick, 0xB0, ch, 38, value & 0x7F);
        }
    };
    if (type < 3 || type > 8) return true; // no MIDI form
    if (type == 7 && !(out.add(start, 0xB0, ch, 101, param >> 7) && out.add(start, 0xB0, ch, 100, param)))
        return false;
    if (type == 8 && !(out.add(start, 0xB0, ch, 99, param >> 7) && out.add(start, 0xB0, ch, 98, param)))
        return false;

    if (shape == 1 || duration == 0) {
        if (!send(start, to)) return false;
    } else {
        const std::int64_t step = std::max(kCurveStepTicks, (duration + kMaxCurveSteps - 1) / kMaxCurveSteps);
        int last = from;
        if (!send(start, from)) return false;
        for (std::int64_t dt = step; dt < duration; dt += step) {
            const double t = double(dt) / double(duration);
            const int value = int(std::lround(from + (to - from) * curveShape(shape, t)));
            if (value == last) continue;
            if (!send(start + dt, value)) return false;
            last = value;
        }
        if (last != to && !send(start + duration, to)) return false;
    }
    if (flags & 1) return send(start + duration + resetDuration, reset);
    return true;
}

bool readCurveItem(Bytes item, Collector& out)
{
    CurveItem c;
    c.start = std::int64_t(field<std::int32_t>(item, 0)) + field<std::int16_t>(item, 16);
    c.duration = std::max<std::int32_t>(0, field<std::int32_t>(item, 4));
    c.resetDuration = std::max<std::int32_t>(0, field<std::int32_t>(item, 8));
    c.ch = channelOf(field<std::uint32_t>(item, 12));
    c.from = field<std::int16_t>(item, 18);
    c.to = field<std::int16_t>(item, 20);
    c.reset = field<std::int16_t>(item, 22);
    c.type = field<std::uint8_t>(item, 24);
    c.shape = field<std::uint8_t>(item, 25);
    c.data = field<std::uint8_t>(item, 26);
    c.flags = field<std::uint8_t>(item, 27);
    c.param = field<std::uint16_t>(item, 28); // absent (0) in the short form
    return addCurve(c, out);
}

void readSequenceTrack(Bytes seqt, Collector& out)
{
    const std::vector<Chunk> parts = chunksIn(seqt);
    if (const Chunk* evtl = findChunk(parts, fourcc("evtl")))
        forEachItem(evtl->data, 17, [&](Bytes item) { return readSequenceItem(item, out); });
    if (const Chunk* curl = findChunk(parts, fourcc("curl")))
        forEachItem(curl->data, 28, [&](Bytes item) { return readCurveItem(item, out); });
}

void readTempoTrack(Bytes tetr, Collector& out)
{
    forEachItem(tetr, 16, [&](Bytes item) {
        const double bpm = field<double>(item, 8);
        if (!std::isfinite(bpm) || bpm <= 0.0) return true;
        if (out.tempos.size() >= kMaxSegmentEvents) return false;
        out.tempos.push_back({std::max<std::int64_t>(0, field<std::int32_t>(item, 0)), std::clamp(bpm, kMinBpm, kMaxBpm)});
        return true;
    });
}

// The collection an instrument's own reference names, as 1 + its index among the song's
// collections; 0 when it names none, or one that cannot be found or lacks the instrument: the
// General MIDI instrument of the same program then plays.
std::uint8_t collectionOf(const std::vector<Chunk>& instrument, std::uint32_t patch, Collector& out,
                          ObjectLoader& loader)
{
    const Chunk* dmrf = findList(instrument, fourcc("DMRF"));
    if (dmrf == nullptr) return 0;
    const ObjectReference ref = ObjectReference::read(dmrf->body);
    if ((ref.valid & ObjectReference::kClass) && ref.classId != kCollectionClass) return 0;
    const Bytes form = loader.find(ref);
    if (form.empty()) return 0;
    // Many instruments name the same object: each is read and compared once.
    auto seen = std::find_if(out.seenCollections.begin(), out.seenCollections.end(),
                             [&](const SeenCollection& c) { return c.form.data() == form.data() && c.form.size() == form.size(); });
    if (seen == out.seenCollections.end()) {
        SeenCollection c{form, 0, dlsInstruments(form)};
        auto& kept = out.collections;
        auto same = std::find_if(kept.begin(), kept.end(), [&](const std::vector<std::uint8_t>& k) {
            return k.size() == form.size() && std::memcmp(k.data(), form.data(), form.size()) == 0;
        });
        if (!isDlsCollection(form)) same = kept.end();
        else if (same == kept.end() && kept.size() < kMaxCollections)
            same = kept.insert(kept.end(), std::vector<std::uint8_t>(form.begin(), form.end()));
        if (same != kept.end()) c.index = std::uint8_t(1 + (same - kept.begin()));
        seen = out.seenCollections.insert(out.seenCollections.end(), std::move(c));
    }
    const bool has = std::binary_search(seen->patches.begin(), seen->patches.end(), patch & kPatchBits);
    return has ? seen->index : 0;
}

void readInstrument(const std::vector<Chunk>& instrument, std::int64_t tick, Collector& out, ObjectLoader& loader)
{
    const Chunk* chunk = findChunk(instrument, fourcc("bins"));
    if (out.full() || chunk == nullptr || chunk->data.size() < 34) return;
    const Bytes bins = chunk->data;
    std::uint32_t patch = field<std::uint32_t>(bins, 0);
    const int ch = channelOf(field<std::uint32_t>(bins, 24));
    const std::uint32_t flags = field<std::uint32_t>(bins, 28);
    if (flags & 0x1) {
        out.add(tick, 0xB0, ch, 0, patch >> 16, 0);
        out.add(tick, 0xB0, ch, 32, patch >> 8, 0);
        // Without the bank-select flag the bank bytes mean nothing to a collection.
        if (!(flags & 0x2)) patch &= 0x8000007Fu;
        const std::uint8_t collection = collectionOf(instrument, patch, out, loader);
        // The patch says whether it is a drum kit, on whatever channel: the tenth of a group
        // may hold a melody and any other a kit.
        const std::uint8_t kind = (patch & 0x80000000u) ? MidiEvent::kDrumKit : MidiEvent::kMelodic;
        out.addProgram(tick, ch, std::uint8_t(patch), collection,
                       collection != 0 ? dlsSynthBank(patch) : int(patch >> 16 & 0x7F), kind);
    }
    if (flags & 0x20) out.add(tick, 0xB0, ch, 10, field<std::uint8_t>(bins, 32), 0);
    if (flags & 0x40) out.add(tick, 0xB0, ch, 7, field<std::uint8_t>(bins, 33), 0);
}

// The instruments of a band (the body of a RIFF 'DMBD').
void readBand(Bytes dmbd, std::int64_t tick, Collector& out, ObjectLoader& loader)
{
    const std::vector<Chunk> parts = chunksIn(dmbd);
    const Chunk* lbil = findList(parts, fourcc("lbil"));
    if (lbil == nullptr) return;
    for (const Chunk& lbin : chunksIn(lbil->body)) {
        if (lbin.id != fourcc("LIST") || lbin.type != fourcc("lbin")) continue;
        readInstrument(chunksIn(lbin.body), tick, out, loader);
    }
}

void readBandTrack(Bytes dmbt, Collector& out, ObjectLoader& loader)
{
    out.hasBandTrack = true;
    const std::vector<Chunk> top = chunksIn(dmbt);
    const Chunk* lbdl = findList(top, fourcc("lbdl"));
    if (lbdl == nullptr) return;
    for (const Chunk& lbnd : chunksIn(lbdl->body)) {
        if (lbnd.id != fourcc("LIST") || lbnd.type != fourcc("lbnd")) continue;
        const std::vector<Chunk> parts = chunksIn(lbnd.body);
        std::int64_t tick = 0;
        if (const Chunk* h = findChunk(parts, fourcc("bd2h"))) tick = field<std::int32_t>(h->data, 0);
        else if (const Chunk* h1 = findChunk(parts, fourcc("bdih"))) tick = field<std::int32_t>(h1->data, 0);
        tick = std::max<std::int64_t>(0, tick); // -1 is the segment's start
        if (const Chunk* band = findList(parts, fourcc("DMBD"))) readBand(band->body, tick, out, loader);
    }
}

// The index of the wave a reference names, copied into the song once however many items play
// it; nullopt when it names nothing found or no wave.
std::optional<std::uint32_t> waveOf(Bytes reference, Collector& out, ObjectLoader& loader)
{
    const Bytes form = loader.find(reference);
    if (form.size() < 12 || field<std::uint32_t>(form, 8) != fourcc("WAVE")) return std::nullopt;
    auto [known, added] = out.waveIndex.try_emplace(form.data(), std::uint32_t(out.waveImages.size()));
    if (added) out.waveImages.emplace_back(form.begin(), form.end());
    return known->second;
}

std::int64_t waveTime(std::int64_t t) { return std::clamp<std::int64_t>(t, 0, kLatestWaveTime); }

void readWavePart(Bytes wavp, std::int32_t trackVolume, bool keepsOrder, bool clockTime, Collector& out,
                  ObjectLoader& loader)
{
    const std::vector<Chunk> parts = chunksIn(wavp);
    const Chunk* waph = findChunk(parts, fourcc("waph"));
    const Chunk* wavi = findList(parts, fourcc("wavi"));
    if (waph == nullptr || waph->data.size() < 24 || wavi == nullptr) return;
    WaveTrackPart read;
    read.clockTime = clockTime;
    read.part.variations = field<std::uint32_t>(waph->data, 4);
    read.part.pchannel = field<std::uint32_t>(waph->data, 8);
    read.part.lock = field<std::uint32_t>(waph->data, 12);
    read.part.order = field<std::uint32_t>(waph->data, 16) & 0xF;
    read.part.keepsOrder = keepsOrder;
    const std::int64_t partVolume = std::int64_t(trackVolume) + field<std::int32_t>(waph->data, 0);
    for (const Chunk& wave : chunksIn(wavi->body)) {
        if (out.waveItems >= kMaxWaveItems) break;
        if (!isList(wave, fourcc("wave"))) continue;
        const std::vector<Chunk> itemParts = chunksIn(wave.body);
        const Chunk* waih = findChunk(itemParts, fourcc("waih"));
        const Chunk* dmrf = findList(itemParts, fourcc("DMRF"));
        if (waih == nullptr || waih->data.size() < 64 || dmrf == nullptr) continue; // 64: the older layout
        const std::optional<std::uint32_t> index = waveOf(dmrf->body, out, loader);
        if (!index) continue;
        const Bytes h = waih->data;
        WaveItem item;
        item.volume = std::int32_t(std::clamp<std::int64_t>(partVolume + field<std::int32_t>(h, 0), -10000, 0));
        item.pitch = field<std::int32_t>(h, 4);
        item.variations = field<std::uint32_t>(h, 8);
        item.offsetMs = double(waveTime(field<std::int64_t>(h, 24))) / 10000.0; // always 100 ns
        item.loopStart = field<std::uint32_t>(h, 52);
        item.loopEnd = field<std::uint32_t>(h, 56);
        item.flags = field<std::uint32_t>(h, 60);
        item.volumeRange = field<std::uint16_t>(h, 64); // zero in the older layout
        item.pitchRange = field<std::uint16_t>(h, 66);
        item.wave = *index;
        read.part.items.push_back(item);
        read.times.emplace_back(waveTime(field<std::int64_t>(h, 16)), waveTime(field<std::int64_t>(h, 40)));
        ++out.waveItems;
    }
    if (!read.part.items.empty()) out.waveParts.push_back(std::move(read));
}

void readWaveTrack(Bytes wavt, std::uint32_t trackFlags, Collector& out, ObjectLoader& loader)
{
    const std::vector<Chunk> parts = chunksIn(wavt);
    const Chunk* wath = findChunk(parts, fourcc("wath"));
    const std::int32_t volume = wath != nullptr ? field<std::int32_t>(wath->data, 0) : 0;
    const bool keepsOrder = wath != nullptr && (field<std::uint32_t>(wath->data, 4) & kWaveTrackKeepsOrder);
    const bool clockTime = (trackFlags & kTrackClockTime) != 0 || out.clockTime;
    for (const Chunk& wavp : parts) {
        if (out.waveParts.size() >= kMaxWaveParts) break;
        if (isList(wavp, fourcc("wavp"))) readWavePart(wavp.body, volume, keepsOrder, clockTime, out, loader);
    }
}

void readStyleTrack(Bytes sttr, Collector& out, ObjectLoader& loader)
{
    for (const Chunk& strf : chunksIn(sttr)) {
        if (!isList(strf, fourcc("strf"))) continue;
        if (out.styles.styles.size() >= kMaxStyleChanges) break;
        const std::vector<Chunk> parts = chunksIn(strf.body);
        const Chunk* stmp = findChunk(parts, fourcc("stmp"));
        const Chunk* dmrf = findList(parts, fourcc("DMRF"));
        if (stmp == nullptr || stmp->data.size() < 4 || dmrf == nullptr) continue;
        StyleChange change{field<std::int32_t>(stmp->data, 0), std::nullopt};
        // A style that is not found still holds its stretch: silent, not the previous style.
        const Bytes form = loader.find(dmrf->body);
        if (change.time <= 0 && form.size() >= 12 && field<std::uint32_t>(form, 8) == fourcc("DMST")) {
            const std::vector<Chunk> top = chunksIn(form);
            const std::vector<Chunk> styleParts = top.empty() ? std::vector<Chunk>{} : chunksIn(top.front().body);
            const Chunk* band = findList(styleParts, fourcc("DMBD"));
            out.styleBand = band != nullptr ? band->body : Bytes{};
        }
        if (!form.empty()) {
            auto seen = out.styleIndex.find(form.data());
            if (seen != out.styleIndex.end()) change.style = out.styles.styles[seen->second].style;
            else {
                change.style = readStyle(form);
                out.styleIndex.emplace(form.data(), out.styles.styles.size());
            }
        }
        out.styles.styles.push_back(std::move(change));
    }
}

void readChordTrack(Bytes cord, Collector& out)
{
    StyleTracks& st = out.styles;
    st.hasChordTrack = true;
    for (const Chunk& c : chunksIn(cord)) {
        if (c.id == fourcc("crdh") && c.data.size() >= 4) {
            const std::uint32_t key = field<std::uint32_t>(c.data, 0);
            st.keyRoot = std::uint8_t(key >> 24);
            st.keyScale = key & 0xFFFFFF;
            continue;
        }
        if (c.id != fourcc("crdb") || st.chords.size() >= kMaxChords) continue;
        const Bytes d = c.data;
        const std::uint32_t chordSize = field<std::uint32_t>(d, 0);
        if (chordSize < 40 || d.size() - 4 < chordSize) continue;
        Chord chord;
        chord.time = field<std::int32_t>(d, 4 + 32);
        chord.silent = (field<std::uint8_t>(d, 4 + 39) & 0x1) != 0;
        std::size_t at = 4 + std::size_t(chordSize);
        const std::uint32_t count = field<std::uint32_t>(d, at);
        const std::uint32_t subSize = field<std::uint32_t>(d, at + 4);
        at += 8;
        for (std::uint32_t k = 0; subSize >= 18 && k < count && k < kMaxSubchords && at <= d.size() && d.size() - at >= subSize; ++k) {
            const Bytes sub = d.subspan(at, subSize);
            chord.subchords.push_back({field<std::uint32_t>(sub, 0), field<std::uint32_t>(sub, 4), field<std::uint32_t>(sub, 8),
                                       field<std::uint32_t>(sub, 12), field<std::uint8_t>(sub, 16), field<std::uint8_t>(sub, 17)});
            at += subSize;
        }
        st.chords.push_back(std::move(chord));
    }
    std::stable_sort(st.chords.begin(), st.chords.end(), [](const Chord& a, const Chord& b) { return a.time < b.time; });
}

void readCommandTrack(Bytes cmnd, Collector& out)
{
    StyleTracks& st = out.styles;
    st.hasCommandTrack = true;
    forEachItem(cmnd, 9, [&](Bytes item) {
        if (st.commands.size() >= kMaxSegmentEvents) return false;
        // Bytes 9-11 are garbage in DX7 files; the composer takes values out of range as none.
        st.commands.push_back({field<std::int32_t>(item, 0), field<std::uint8_t>(item, 7), field<std::uint8_t>(item, 8),
                               field<std::uint8_t>(item, 9), field<std::uint8_t>(item, 10)});
        return true;
    });
    std::stable_sort(st.commands.begin(), st.commands.end(),
                     [](const StyleCommand& a, const StyleCommand& b) { return a.time < b.time; });
}

// The notes and curves the style tracks compose, added as a sequence track's would be.
void composeStyleTracks(std::int64_t lengthTicks, std::uint32_t seed, Collector& out)
{
    if (out.styles.styles.empty()) return;
    std::mt19937 random(seed);
    const std::size_t room = kMaxSegmentEvents - std::min(kMaxSegmentEvents, out.events.size());
    const Composition music = composeStyle(out.styles, lengthTicks, random, room / 2);
    for (const ComposedNote& n : music.notes) {
        const int ch = channelOf(n.pchannel);
        if (!(out.add(n.tick, 0x90, ch, n.key, n.velocity) && out.add(n.tick + n.duration, 0x80, ch, n.key, 0, 1))) return;
    }
    for (const ComposedCurve& composed : music.curves) {
        const StyleCurve& sc = composed.curve;
        CurveItem c;
        c.start = composed.tick;
        c.duration = std::max<std::int32_t>(0, sc.duration);
        c.resetDuration = std::max<std::int32_t>(0, sc.resetDuration);
        c.ch = channelOf(composed.pchannel);
        c.from = sc.startValue;
        c.to = sc.endValue;
        c.reset = sc.resetValue;
        c.type = sc.type;
        c.shape = sc.shape;
        c.data = sc.ccData;
        c.flags = sc.flags;
        c.param = sc.paramType;
        if (!addCurve(c, out)) return;
    }
    // Without a tempo track the style's own tempo holds.
    const Style* first = out.styles.firstStyle();
    if (out.tempos.empty() && first != nullptr && std::isfinite(first->tempo) && first->tempo > 0.0)
        out.tempos.push_back({0, std::clamp(first->tempo, kMinBpm, kMaxBpm)});
}

void readTrack(Bytes dmtk, Collector& out, ObjectLoader& loader)
{
    const std::vector<Chunk> parts = chunksIn(dmtk);
    const Chunk* trkh = findChunk(parts, fourcc("trkh"));
    if (trkh == nullptr || trkh->data.size() < 32) return;
    Guid cls{};
    std::memcpy(cls.data(), trkh->data.data(), cls.size());
    const std::uint32_t ckid = field<std::uint32_t>(trkh->data, 24);
    const std::uint32_t fccType = field<std::uint32_t>(trkh->data, 28);

    // The data is the chunk named by ckid, or the list or form named by fccType; some files
    // name a plain chunk by fccType, so that is accepted too.
    const Chunk* data = nullptr;
    for (const Chunk& c : parts) {
        if (&c == trkh) continue;
        const bool isList = c.id == fourcc("RIFF") || c.id == fourcc("LIST");
        if ((ckid != 0 && c.id == ckid) || (fccType != 0 && (isList ? c.type == fccType : c.id == fccType))) {
            data = &c;
            break;
        }
    }
    if (data == nullptr) return;
    if (cls == kSequenceTrack) readSequenceTrack(data->body, out);
    else if (cls == kTempoTrack) readTempoTrack(data->body, out);
    else if (cls == kBandTrack) readBandTrack(data->body, out, loader);
    else if (cls == kStyleTrack && isList(*data, fourcc("sttr"))) readStyleTrack(data->body, out, loader);
    else if (cls == kChordTrack && isList(*data, fourcc("cord"))) readChordTrack(data->body, out);
    else if (cls == kCommandTrack && data->id == fourcc("cmnd")) readCommandTrack(data->data, out);
    else if (cls == kWaveTrack) {
        const Chunk* trkx = findChunk(parts, fourcc("trkx"));
        readWaveTrack(data->body, trkx != nullptr ? field<std::uint32_t>(trkx->data, 0) : 0, out, loader);
    }
}

// Milliseconds of a tick under the segment's tempo map.
class TempoMap {
public:
    explicit TempoMap(std::vector<TempoItem> items)
    {
        std::stable_sort(items.begin(), items.end(), [](auto& a, auto& b) { return a.tick < b.tick; });
        stretches_.push_back({0, kDefaultBpm, 0.0});
        for (const TempoItem& item : items) {
            Stretch& last = stretches_.back();
            if (item.tick == last.tick) {
                last.bpm = item.bpm; // the last change at a tick wins
                continue;
            }
            stretches_.push_back({item.tick, item.bpm, msAt(last, item.tick)});
        }
    }

    double toMs(std::int64_t tick) const
    {
        auto after = std::upper_bound(stretches_.begin(), stretches_.end(), tick,
                                      [](std::int64_t t, const Stretch& s) { return t < s.tick; });
        return msAt(*std::prev(after), tick);
    }

private:
    struct Stretch {
        std::int64_t tick;
        double bpm;
        double ms; // at `tick`
    };
    static double msAt(const Stretch& s, std::int64_t tick)
    {
        return s.ms + double(tick - s.tick) * 60000.0 / (s.bpm * kTicksPerQuarter);
    }
    std::vector<Stretch> stretches_;
};

struct SegmentHeader {
    std::int32_t length = 0;
    std::int32_t playStart = 0;
    std::int32_t loopStart = 0;
    std::int32_t loopEnd = 0;
    std::int64_t refLength = 0; // 100 ns units
    std::uint32_t flags = 0;
    std::int64_t refLoopStart = 0; // 100 ns units, in the newest layouts
    std::int64_t refLoopEnd = 0;
    std::int64_t refPlayStart = 0;
};

constexpr std::uint32_t kRefLength = 1; // the length in 100 ns units holds

SegmentHeader readHeader(const Chunk* segh)
{
    SegmentHeader h;
    if (segh == nullptr) return h;
    const std::size_t size = segh->data.size();
    if (size != 24 && size != 40 && size != 56 && size != 64) return h; // unknown layout: no header
    h.length = field<std::int32_t>(segh->data, 4);
    h.playStart = field<std::int32_t>(segh->data, 8);
    h.loopStart = field<std::int32_t>(segh->data, 12);
    h.loopEnd = field<std::int32_t>(segh->data, 16);
    if (size >= 40) {
        h.refLength = field<std::int64_t>(segh->data, 24);
        h.flags = field<std::uint32_t>(segh->data, 32);
    }
    if (size >= 56) {
        h.refLoopStart = field<std::int64_t>(segh->data, 40);
        h.refLoopEnd = field<std::int64_t>(segh->data, 48);
    }
    if (size >= 64) h.refPlayStart = field<std::int64_t>(segh->data, 56);
    return h;
}

} // namespace

namespace {

// Every track of the segment into `collected`; false when the bytes are not a segment.
bool readTracks(std::span<const std::uint8_t> bytes, ObjectLoader& loader, SegmentHeader& header, Collector& collected)
{
    if (bytes.size() < 12 || field<std::uint32_t>(bytes, 0) != fourcc("RIFF") ||
        field<std::uint32_t>(bytes, 8) != fourcc("DMSG"))
        return false;
    const std::vector<Chunk> top = chunksIn(bytes);
    const std::vector<Chunk> parts = chunksIn(top.front().body);

    header = readHeader(findChunk(parts, fourcc("segh")));
    // Embedded objects are known before any track asks for them, wherever the container lies.
    for (const Chunk& c : parts)
        if (isList(c, fourcc("DMCN"))) loader.addContainer(c.body);
    collected.clockTime = (header.flags & kSegmentClockTime) != 0;
    for (const Chunk& list : parts) {
        if (list.id != fourcc("LIST") || list.type != fourcc("trkl")) continue;
        for (const Chunk& track : chunksIn(list.body))
            if (track.id == fourcc("RIFF") && track.type == fourcc("DMTK")) readTrack(track.body, collected, loader);
    }
    std::stable_sort(collected.styles.styles.begin(), collected.styles.styles.end(),
                     [](const StyleChange& a, const StyleChange& b) { return a.time < b.time; });
    return true;
}

} // namespace

std::optional<StyleTracks> readStyleTracks(std::span<const std::uint8_t> bytes, const std::vector<std::string>& folders)
{
    ObjectLoader loader(folders);
    SegmentHeader header;
    Collector collected;
    if (!readTracks(bytes, loader, header, collected)) return std::nullopt;
    return std::move(collected.styles);
}

std::optional<MidiSong> readSegmentFile(std::span<const std::uint8_t> bytes, const std::vector<std::string>& folders,
                                        std::uint32_t seed)
{
    ObjectLoader loader(folders);
    SegmentHeader header;
    Collector collected;
    if (!readTracks(bytes, loader, header, collected)) return std::nullopt;
    const bool clockTime = collected.clockTime;
    // Authoring tools copy the style's band into the segment; one without takes it from the style.
    if (!collected.hasBandTrack && !collected.styleBand.empty()) readBand(collected.styleBand, 0, collected, loader);
    composeStyleTracks(header.length, seed, collected);

    std::stable_sort(collected.events.begin(), collected.events.end(),
                     [](const TickEvent& a, const TickEvent& b) {
                         return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
                     });
    const TempoMap map(std::move(collected.tempos));

    MidiSong song;
    song.composed = !collected.styles.styles.empty();
    song.events.reserve(collected.events.size());
    for (const TickEvent& e : collected.events) {
        MidiEvent message = e.message;
        message.timeMs = map.toMs(e.tick);
        song.events.push_back(message);
    }
    for (WaveTrackPart& read : collected.waveParts) {
        for (std::size_t i = 0; i < read.part.items.size(); ++i) {
            const auto [start, duration] = read.times[i];
            WaveItem& item = read.part.items[i];
            if (read.clockTime) {
                item.timeMs = double(start) / 10000.0;
                item.durationMs = double(duration) / 10000.0;
            } else {
                item.timeMs = map.toMs(start);
                item.durationMs = map.toMs(start + duration) - item.timeMs;
            }
        }
        std::stable_sort(read.part.items.begin(), read.part.items.end(),
                         [](const WaveItem& a, const WaveItem& b) { return a.timeMs < b.timeMs; });
        song.waveParts.push_back(std::move(read.part));
    }
    song.waveImages = std::move(collected.waveImages);
    song.collections = std::move(collected.collections);
    song.collectionFonts.assign(song.collections.size(), -1);

    if ((header.flags & (kRefLength | kSegmentClockTime)) && header.refLength > 0) song.lengthMs = double(header.refLength) / 10000.0;
    else if (header.length > 0) song.lengthMs = map.toMs(header.length);
    else if (!song.events.empty()) song.lengthMs = song.events.back().timeMs; // no usable header

    song.loopStartMs = 0.0;
    song.loopEndMs = song.lengthMs;
    if (clockTime) {
        // A clock-time segment keeps its loop and start in 100 ns units.
        const auto ms = [](std::int64_t ref) { return double(ref) / 10000.0; };
        const std::int64_t loopEnd = header.refLoopEnd != 0 ? header.refLoopEnd : header.refLength;
        if (header.refLoopEnd != 0 && header.refLoopStart >= 0 && header.refLoopStart < loopEnd &&
            ms(loopEnd) <= song.lengthMs) {
            song.loopStartMs = ms(header.refLoopStart);
            song.loopEndMs = ms(loopEnd);
        }
        if (header.refPlayStart > 0 && ms(header.refPlayStart) < song.loopEndMs) song.playStartMs = ms(header.refPlayStart);
        return song;
    }
    const std::int32_t loopEnd = header.loopEnd != 0 ? header.loopEnd : header.length;
    const bool hasLoop = header.loopStart != 0 || header.loopEnd != 0;
    if (hasLoop && header.loopStart >= 0 && header.loopStart < loopEnd && loopEnd <= header.length) {
        song.loopStartMs = std::min(map.toMs(header.loopStart), song.lengthMs);
        // A loop to the end ends at the length, which a clock-time length may put a little
        // after the last tick.
        song.loopEndMs = loopEnd == header.length ? song.lengthMs : std::min(map.toMs(loopEnd), song.lengthMs);
    }
    // A start at or past the first pass's end would leave nothing to play: it is ignored.
    if (header.playStart > 0 && map.toMs(header.playStart) < song.loopEndMs)
        song.playStartMs = map.toMs(header.playStart);
    return song;
}
