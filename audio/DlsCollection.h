#pragma once

#include "RiffChunks.h"

#include <cstdint>
#include <vector>

// What the player needs of a DLS collection (RIFF 'DLS ') before the synthesizer takes it.

/// True when the bytes are a DLS collection.
bool isDlsCollection(riff::Bytes form);

/// The bits of a band's dwPatch that name an instrument: program bits 0-6, bank LSB 8-14,
/// bank MSB 16-22, drum kit bit 31.
inline constexpr std::uint32_t kPatchBits = 0x807F7F7Fu;

/// The instruments the collection holds, as dwPatch values, sorted.
std::vector<std::uint32_t> dlsInstruments(riff::Bytes form);

/// The synthesizer's bank number of a dwPatch: MSB and LSB as one 14-bit number, kits 128 above.
int dlsSynthBank(std::uint32_t patch);

/// A copy for the synthesizer: regions whose velocity range is 0..0 (or upside down) widened to
/// 0..127. Authoring tools wrote such ranges and DirectMusic played them; FluidSynth would
/// never sound them. Empty when a region's sample is missing: the synthesizer's reader would
/// crash on it.
std::vector<std::uint8_t> playableDlsCopy(riff::Bytes form);
