#pragma once

#include "MidiSong.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

// Most channel messages and tempo changes taken from one file; a hostile file cannot grow past it.
inline constexpr std::size_t kMaxSmfEvents = 1'000'000;

// Reads a Standard MIDI File (format 0 or 1; of format 2 only the first track), bare or in a
// RIFF 'RMID' wrapper; nullopt when the bytes are not one. Damaged tracks yield what precedes the damage.
std::optional<MidiSong> readStandardMidiFile(std::span<const std::uint8_t> bytes);
