#pragma once

#include "MidiSong.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

// Most messages taken from one segment, curves included; a hostile file cannot grow past it.
inline constexpr std::size_t kMaxSegmentEvents = 1'000'000;

// Reads a DirectMusic segment file (RIFF 'DMSG'): the notes, controllers and curves of its
// sequence tracks, its tempo track and its band changes, on the millisecond time line of the
// tempo map. Other tracks are skipped; the length, play start and loop points come from the
// segment header. nullopt when the bytes are not a segment.
std::optional<MidiSong> readSegmentFile(std::span<const std::uint8_t> bytes);
