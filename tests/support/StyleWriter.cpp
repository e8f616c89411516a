#include "StyleWriter.h"

#include "SegmentWriter.h"

#include <array>
#include <cstring>

namespace {

template <typename T>
void put(Bytes& out, T value)
{
    std::array<std::uint8_t, sizeof(T)> raw{};
    std::memcpy(raw.data(), &value, sizeof(T));
    out.insert(out.end(), raw.begin(), raw.end());
}

void putTimeSig(Bytes& out, const TimeSignature& t)
{
    out.insert(out.end(), {t.beatsPerMeasure, t.beat});
    put(out, t.gridsPerBeat);
}

Bytes itemArray(std::uint32_t itemSize, const std::vector<Bytes>& items)
{
    Bytes out;
    put(out, itemSize);
    for (Bytes item : items) {
        item.resize(itemSize, 0);
        out.insert(out.end(), item.begin(), item.end());
    }
    return out;
}

Bytes name(const std::string& text)
{
    Bytes utf16;
    for (char c : text) put(utf16, std::uint16_t(std::uint8_t(c)));
    put(utf16, std::uint16_t(0));
    return riffList("LIST", "UNFO", {riffChunk("UNAM", utf16)});
}

Bytes part(const StylePart& p, bool older)
{
    Bytes h;
    putTimeSig(h, p.timeSig);
    for (std::uint32_t choice : p.variationChoices) put(h, choice);
    h.insert(h.end(), p.id.begin(), p.id.end());
    put(h, p.measures);
    h.insert(h.end(), {p.playMode, p.invertUpper, p.invertLower});
    h.resize(older ? 154 : 160, 0);

    std::vector<Bytes> notes;
    for (const StyleNote& n : p.notes) {
        Bytes b;
        put(b, n.gridStart);
        put(b, n.variations);
        put(b, n.duration);
        put(b, n.timeOffset);
        put(b, n.musicValue);
        b.insert(b.end(), {n.velocity, n.timeRange, n.durationRange, n.velocityRange, n.inversionId, n.playMode});
        if (!older) b.push_back(n.noteFlags);
        notes.push_back(b);
    }
    std::vector<Bytes> curves;
    for (const StyleCurve& c : p.curves) {
        Bytes b;
        put(b, c.gridStart);
        put(b, c.variations);
        put(b, c.duration);
        put(b, c.resetDuration);
        put(b, c.timeOffset);
        put(b, c.startValue);
        put(b, c.endValue);
        put(b, c.resetValue);
        b.insert(b.end(), {c.type, c.shape, c.ccData, c.flags});
        if (!older) put(b, c.paramType);
        curves.push_back(b);
    }
    std::vector<Bytes> children{riffChunk("prth", h)};
    if (!notes.empty()) children.push_back(riffChunk("note", itemArray(older ? 22 : 24, notes)));
    if (!curves.empty()) children.push_back(riffChunk("crve", itemArray(older ? 28 : 32, curves)));
    return riffList("LIST", "part", children);
}

Bytes pattern(const StylePattern& p, const std::vector<StylePart>& parts, bool older)
{
    Bytes h;
    putTimeSig(h, p.timeSig);
    h.insert(h.end(), {p.grooveBottom, p.grooveTop});
    put(h, p.embellishment);
    put(h, p.measures);
    if (!older) h.insert(h.end(), {1, 100, 0, 0, 0, 0}); // the next pattern's groove range; flags
    Bytes rhythm;
    for (std::uint32_t r : p.rhythm) put(rhythm, r);

    std::vector<Bytes> children{riffChunk("ptnh", h), riffChunk("rhtm", rhythm), name(p.name)};
    for (const PartReference& ref : p.parts) {
        Bytes r;
        const riff::Guid id = ref.part < parts.size() ? parts[ref.part].id : riff::Guid{};
        r.insert(r.end(), id.begin(), id.end());
        put(r, std::uint16_t(older ? ref.pchannel : 0));
        r.insert(r.end(), {ref.variationLock, ref.subChordLevel, 100, ref.variationOrder}); // 100: priority
        if (!older) {
            put(r, std::uint16_t(0));
            put(r, ref.pchannel);
        }
        children.push_back(riffList("LIST", "pref", {riffChunk("prfc", r)}));
    }
    return riffList("LIST", "pttn", children);
}

} // namespace

Bytes writeStyle(const Style& style, bool olderLayout, const Bytes& guid, const std::vector<Bytes>& more)
{
    Bytes styh;
    putTimeSig(styh, style.timeSig);
    put(styh, style.tempo);
    std::vector<Bytes> children{riffChunk("styh", styh), riffChunk("guid", guid), name("style")};
    children.insert(children.end(), more.begin(), more.end());
    for (const StylePart& p : style.parts) children.push_back(part(p, olderLayout));
    for (const StylePattern& p : style.patterns) children.push_back(pattern(p, style.parts, olderLayout));
    return riffList("RIFF", "DMST", children);
}

Style exampleStyle()
{
    Style s;
    s.timeSig = {4, 4, 2};
    s.tempo = 96.0;

    StylePart bass;
    bass.id.fill(0xB1);
    bass.timeSig = s.timeSig;
    bass.variationChoices[0] = 0x7FFFFFFF;
    bass.variationChoices[1] = 0x3FFFFFFF;
    bass.playMode = 0x0A;
    bass.invertUpper = 95;
    bass.invertLower = 31;
    bass.notes = {{0, 0x3, 700, 0, 0x3000, 100, 4, 0, 7, 0, 0x10, 0},
                  {4, 0x1, 300, -96, 0x3100, 90, 0, 10, 0, 0, 0x0E, 0},
                  {6, 0x2, 300, 0, 0x3011, 90, 0, 0, 0, 0, 0x06, 0x10}};
    bass.curves = {{0, 0x3, 1536, 96, 0, 0, 127, 100, 4, 1, 7, 1, 0}};

    StylePart drums;
    drums.id.fill(0xD2);
    drums.timeSig = {4, 4, 4};
    drums.variationChoices[0] = 0x7FFFFFFF;
    drums.measures = 1;
    drums.notes = {{0, 0x1, 96, 0, 36, 120, 0, 0, 0, 0, 0x10, 0}, {8, 0x1, 96, 0, 38, 110, 0, 0, 0, 0, 0x10, 0}};

    StylePattern groove;
    groove.name = "groove";
    groove.timeSig = s.timeSig;
    groove.grooveBottom = 1;
    groove.grooveTop = 100;
    groove.rhythm = {0x5};
    groove.parts = {{0, 2, 1, 0, 1}, {1, 9, 0, 0, 0}};
    StylePattern fill = groove;
    fill.name = "fill";
    fill.embellishment = 0x1;
    fill.measures = 2;
    fill.rhythm = {0x1, 0xF};
    fill.parts = {{1, 9, 0, 1, 2}};

    s.parts = {bass, drums};
    s.patterns = {groove, fill};
    return s;
}
