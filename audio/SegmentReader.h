#pragma once

#include "MidiSong.h"
#include "StyleComposer.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// Most messages taken from one segment, curves included; a hostile file cannot grow past it.
inline constexpr std::size_t kMaxSegmentEvents = 1'000'000;

// Reads a DirectMusic segment file (RIFF 'DMSG'): the notes, controllers and curves of its
// sequence tracks, the notes its style, chord and command tracks compose (their random choices
// drawn from `seed`), its tempo track (else its style's tempo), its band changes (else its
// style's band) and its wave tracks, on the millisecond time line of the tempo map. Other tracks are skipped; the length, play start and loop points
// come from the segment header. Objects it refers to are found among those embedded in it,
// then as files in `folders` (see ObjectLoader); a reference found nowhere is skipped.
// nullopt when the bytes are not a segment.
std::optional<MidiSong> readSegmentFile(std::span<const std::uint8_t> bytes,
                                        const std::vector<std::string>& folders = {},
                                        std::uint32_t seed = 0);

/// What a segment's style, chord and command tracks say, as the composer takes them; nullopt
/// when the bytes are not a segment.
std::optional<StyleTracks> readStyleTracks(std::span<const std::uint8_t> bytes,
                                           const std::vector<std::string>& folders = {});
