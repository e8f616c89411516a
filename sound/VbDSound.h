#pragma once

#include <QString>

#include <cstdint>

struct Program;

/// Reads a WAVE file whole and makes a sound buffer of it; every WAVE sound of the program is
/// loaded here. 0 without a message when the file does not exist (hidden files count as
/// missing) or the audio library refuses the data; 0 after a warning message box when the file
/// cannot be read. `shownName`: the file the messages name, when `path` is a copy of it.
std::int32_t LoadWave(Program& program, const QString& path, std::int32_t flags, const QString& shownName = {});
