// Stand-ins for the style reader and the note mapping, which live on another branch; remove
// this file when they are merged. Weak, so the real ones win wherever they are linked.

#include "Style.h"

__attribute__((weak)) std::optional<int> midiNoteOf(std::uint16_t musicValue, std::uint8_t playMode,
                                                    const Subchord&, std::uint8_t)
{
    if (playMode != 0 || musicValue > 127) return std::nullopt;
    return int(musicValue);
}

__attribute__((weak)) std::optional<Style> readStyle(riff::Bytes)
{
    return std::nullopt;
}
