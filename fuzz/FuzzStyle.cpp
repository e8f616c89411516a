// The style reader on arbitrary bytes, and the note mapping on every note it finds under a
// chord made of the part's own bytes.
#include "Style.h"

#include <cstdlib>

namespace {

void checkTimeSignature(const TimeSignature& t)
{
    if (t.beatsPerMeasure < 1 || t.gridsPerBeat < 1 || t.gridTicks() < 1 || t.measureTicks() < 1) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto style = readStyle({data, size});
    if (!style) return 0;
    checkTimeSignature(style->timeSig);
    if (!(style->tempo >= 1.0 && style->tempo <= 1000.0)) std::abort();
    if (style->parts.size() > kMaxStyleParts || style->patterns.size() > kMaxStylePatterns) std::abort();
    std::size_t measures = 0;
    for (const StylePattern& p : style->patterns) {
        checkTimeSignature(p.timeSig);
        if (p.measures < 1 || p.rhythm.size() != p.measures || p.parts.size() > kMaxPartReferences) std::abort();
        measures += p.measures;
        for (const PartReference& r : p.parts)
            if (r.part >= style->parts.size()) std::abort();
    }
    if (measures > kMaxStyleMeasures) std::abort();

    for (const StylePart& part : style->parts) {
        checkTimeSignature(part.timeSig);
        if (part.measures < 1 || part.notes.size() > kMaxPartItems || part.curves.size() > kMaxPartItems) std::abort();
        const auto& bytes = part.variationChoices;
        const Subchord chord{bytes[0], bytes[1], bytes[2], bytes[3], std::uint8_t(bytes[4]), std::uint8_t(bytes[5])};
        for (const StyleNote& n : part.notes) {
            const std::uint8_t mode = n.playMode == 0x10 ? part.playMode : n.playMode;
            const auto note = midiNoteOf(n.musicValue, mode, chord, std::uint8_t(bytes[6]));
            if (note && (*note < 0 || *note > 127)) std::abort();
            // Fixed notes are the music value itself.
            if ((mode & 0x0F) == 0 && note != (n.musicValue <= 127 ? std::optional<int>(n.musicValue) : std::nullopt))
                std::abort();
        }
    }
    return 0;
}
