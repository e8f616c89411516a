#pragma once

#include <cstdint>

// The state every form and module shares, alive for the whole run. One instance lives in the
// program context; nothing else holds program state.
struct ProgramState {
    // Sound handles issued by the audio library; 0 = no sound. At most one of the two bell
    // handles is non-zero.
    std::int32_t BellBuffer = 0;
    std::int32_t BellSegment = 0;
    std::int32_t DoorBuffer = 0;
    std::int32_t NoiseBuffer = 0;

    // True (-1) while a release effect waits for the bell's pass to end; clearing it ends the wait.
    std::int16_t FadeActive = 0;
};
