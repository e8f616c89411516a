#pragma once

#include <QString>

#include <cstdint>

struct Program;

/// The largest WAVE file LoadWave reads, just under 2 GiB. Larger ones would be refused by the
/// library anyway (ten minutes of 8-channel 32-bit audio at 96 kHz is about 1.8 GB); they are
/// refused before anybody tries to hold them.
inline constexpr std::int64_t kMaxWaveFileBytes = (std::int64_t{2} << 30) - 1;

/// Reads a WAVE file whole and makes a sound buffer of it; every WAVE sound of the program is
/// loaded here. 0 without a message when the file does not exist (hidden files count as
/// missing) or the audio library refuses the data; 0 after a warning message box when the file
/// cannot be read. `shownName`: the file the messages name, when `path` is a copy of it.
std::int32_t LoadWave(Program& program, const QString& path, std::int32_t flags, const QString& shownName = {});
