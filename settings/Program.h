#pragma once

#include "ProgramState.h"

class AudioLibrary;
class Host;

// The program context: what main builds and hands to every form and module.
struct Program {
    Host& host;
    AudioLibrary& audio;
    ProgramState state{};
};
