#include "Style.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace {

using namespace riff;

constexpr double kMinBpm = 1.0; // as the segment reader keeps tempos
constexpr double kMaxBpm = 1000.0;

// The shorter, older layouts; the newer ones only add fields at the end.
constexpr std::size_t kPartHeaderSize = 154;
constexpr std::size_t kNoteSize = 22;
constexpr std::size_t kCurveSize = 28;
constexpr std::size_t kPatternHeaderSize = 10;
constexpr std::size_t kPartRefSize = 22;
constexpr std::size_t kPartRefWithPChannel = 28;

// A hostile signature must not give the composer a measure or a grid of no ticks, nor a
// division by zero grids.
TimeSignature timeSignatureAt(Bytes b, std::size_t at)
{
    TimeSignature t;
    t.beatsPerMeasure = std::max<std::uint8_t>(1, field<std::uint8_t>(b, at));
    t.beat = field<std::uint8_t>(b, at + 1);
    t.gridsPerBeat = std::clamp<std::uint16_t>(field<std::uint16_t>(b, at + 2), 1, std::uint16_t(t.beatTicks()));
    return t;
}

std::string nameIn(const std::vector<Chunk>& chunks)
{
    const Chunk* unfo = findList(chunks, fourcc("UNFO"));
    if (unfo == nullptr) return {};
    const std::vector<Chunk> info = chunksIn(unfo->body);
    const Chunk* unam = findChunk(info, fourcc("UNAM"));
    return unam != nullptr ? utf8Of(unam->data) : std::string{};
}

StyleNote noteOf(Bytes item)
{
    StyleNote n;
    n.gridStart = field<std::int32_t>(item, 0);
    n.variations = field<std::uint32_t>(item, 4);
    n.duration = field<std::int32_t>(item, 8);
    n.timeOffset = field<std::int16_t>(item, 12);
    n.musicValue = field<std::uint16_t>(item, 14);
    n.velocity = field<std::uint8_t>(item, 16);
    n.timeRange = field<std::uint8_t>(item, 17);
    n.durationRange = field<std::uint8_t>(item, 18);
    n.velocityRange = field<std::uint8_t>(item, 19);
    n.inversionId = field<std::uint8_t>(item, 20);
    n.playMode = field<std::uint8_t>(item, 21);
    n.noteFlags = field<std::uint8_t>(item, 22); // absent (0) in the short form
    return n;
}

StyleCurve curveOf(Bytes item)
{
    StyleCurve c;
    c.gridStart = field<std::int32_t>(item, 0);
    c.variations = field<std::uint32_t>(item, 4);
    c.duration = field<std::int32_t>(item, 8);
    c.resetDuration = field<std::int32_t>(item, 12);
    c.timeOffset = field<std::int16_t>(item, 16);
    c.startValue = field<std::int16_t>(item, 18);
    c.endValue = field<std::int16_t>(item, 20);
    c.resetValue = field<std::int16_t>(item, 22);
    c.type = field<std::uint8_t>(item, 24);
    c.shape = field<std::uint8_t>(item, 25);
    c.ccData = field<std::uint8_t>(item, 26);
    c.flags = field<std::uint8_t>(item, 27);
    c.paramType = field<std::uint16_t>(item, 28);
    return c;
}

// A part without its header has no identity for a pattern to name: it is left out.
std::optional<StylePart> readPart(Bytes body)
{
    const std::vector<Chunk> chunks = chunksIn(body);
    const Chunk* prth = findChunk(chunks, fourcc("prth"));
    if (prth == nullptr || prth->data.size() < kPartHeaderSize) return std::nullopt;
    const Bytes h = prth->data;
    StylePart part;
    part.timeSig = timeSignatureAt(h, 0);
    for (std::size_t v = 0; v < part.variationChoices.size(); ++v)
        part.variationChoices[v] = field<std::uint32_t>(h, 4 + 4 * v);
    part.id = guidAt(h, 132);
    part.measures = std::max<std::uint16_t>(1, field<std::uint16_t>(h, 148));
    part.playMode = field<std::uint8_t>(h, 150);
    part.invertUpper = field<std::uint8_t>(h, 151);
    part.invertLower = field<std::uint8_t>(h, 152);

    if (const Chunk* note = findChunk(chunks, fourcc("note")))
        forEachItem(note->data, kNoteSize, [&](Bytes item) {
            part.notes.push_back(noteOf(item));
            return part.notes.size() < kMaxPartItems;
        });
    if (const Chunk* crve = findChunk(chunks, fourcc("crve")))
        forEachItem(crve->data, kCurveSize, [&](Bytes item) {
            part.curves.push_back(curveOf(item));
            return part.curves.size() < kMaxPartItems;
        });
    return part;
}

using PartIndex = std::map<Guid, std::size_t>;

std::optional<PartReference> readPartReference(Bytes body, const PartIndex& parts)
{
    const std::vector<Chunk> chunks = chunksIn(body);
    const Chunk* prfc = findChunk(chunks, fourcc("prfc"));
    if (prfc == nullptr || prfc->data.size() < kPartRefSize) return std::nullopt;
    const Bytes r = prfc->data;
    const auto part = parts.find(guidAt(r, 0));
    if (part == parts.end()) return std::nullopt;
    PartReference ref;
    ref.part = part->second;
    // The older layout has no PChannel field: its logical part ID is the PChannel.
    ref.pchannel = r.size() >= kPartRefWithPChannel ? field<std::uint32_t>(r, 24) : field<std::uint16_t>(r, 16);
    ref.variationLock = field<std::uint8_t>(r, 18);
    ref.subChordLevel = field<std::uint8_t>(r, 19);
    ref.variationOrder = field<std::uint8_t>(r, 21);
    return ref;
}

// A pattern without its header would play as a normal groove over every level: it is left out;
// so is one whose measures would pass the style's cap.
std::optional<StylePattern> readPattern(Bytes body, const PartIndex& parts, std::size_t& measuresLeft)
{
    const std::vector<Chunk> chunks = chunksIn(body);
    const Chunk* ptnh = findChunk(chunks, fourcc("ptnh"));
    if (ptnh == nullptr || ptnh->data.size() < kPatternHeaderSize) return std::nullopt;
    const Bytes h = ptnh->data;
    StylePattern pattern;
    pattern.name = nameIn(chunks);
    pattern.timeSig = timeSignatureAt(h, 0);
    pattern.grooveBottom = field<std::uint8_t>(h, 4);
    pattern.grooveTop = field<std::uint8_t>(h, 5);
    pattern.embellishment = field<std::uint16_t>(h, 6);
    pattern.measures = std::max<std::uint16_t>(1, field<std::uint16_t>(h, 8));
    if (pattern.measures > measuresLeft) return std::nullopt;
    measuresLeft -= pattern.measures;

    pattern.rhythm.assign(pattern.measures, 0);
    if (const Chunk* rhtm = findChunk(chunks, fourcc("rhtm")))
        for (std::size_t m = 0; m < pattern.measures; ++m) pattern.rhythm[m] = field<std::uint32_t>(rhtm->data, 4 * m);

    for (const Chunk& pref : chunks) {
        if (pattern.parts.size() >= kMaxPartReferences) break;
        if (!isList(pref, fourcc("pref"))) continue;
        if (const auto ref = readPartReference(pref.body, parts)) pattern.parts.push_back(*ref);
    }
    return pattern;
}

} // namespace

std::optional<Style> readStyle(riff::Bytes bytes)
{
    // The older 'AASY' form of the same extension is another format altogether.
    if (bytes.size() < 12 || field<std::uint32_t>(bytes, 0) != fourcc("RIFF") ||
        field<std::uint32_t>(bytes, 8) != fourcc("DMST"))
        return std::nullopt;
    const std::vector<Chunk> top = chunksIn(bytes);
    const std::vector<Chunk> chunks = chunksIn(top.front().body);

    Style style;
    if (const Chunk* styh = findChunk(chunks, fourcc("styh")); styh != nullptr && styh->data.size() >= 12) {
        style.timeSig = timeSignatureAt(styh->data, 0);
        const double bpm = field<double>(styh->data, 4);
        if (std::isfinite(bpm) && bpm > 0.0) style.tempo = std::clamp(bpm, kMinBpm, kMaxBpm);
    }
    // Patterns name parts wherever they lie in the file, so every part is read first.
    for (const Chunk& c : chunks) {
        if (style.parts.size() >= kMaxStyleParts) break;
        if (!isList(c, fourcc("part"))) continue;
        if (auto part = readPart(c.body)) style.parts.push_back(std::move(*part));
    }
    PartIndex index;
    for (std::size_t i = 0; i < style.parts.size(); ++i) index.try_emplace(style.parts[i].id, i); // the first of a GUID
    std::size_t measuresLeft = kMaxStyleMeasures;
    for (const Chunk& c : chunks) {
        if (style.patterns.size() >= kMaxStylePatterns) break;
        if (!isList(c, fourcc("pttn"))) continue;
        if (auto pattern = readPattern(c.body, index, measuresLeft)) style.patterns.push_back(std::move(*pattern));
    }
    return style;
}
