#pragma once

#include <QString>

#include <cstdint>

// The state every form and module shares, alive for the whole run. One instance lives in the
// program context; nothing else holds program state.
struct ProgramState {
    // The user's choices, stored in the settings file. Flags are -1 (true) or 0 (false); all
    // start at 0 until the settings are read.
    std::int16_t TopMost = 0;
    std::int16_t EffectTokyo = 0;
    std::int16_t EffectTachikawa = 0;
    std::int16_t EffectUrawa = 0;
    std::int16_t Door = 0;
    std::int16_t DoorDelay = 0;  // ms from the release to the door announcement
    std::int16_t DoorCut = 0;
    std::int16_t DoorATOS = 0;
    std::int16_t Noise = 0;
    std::int16_t UsePanel = 0;
    std::int16_t DefExt = 0;     // 0 MIDI, 1 WAVE, 2 segment: the open dialog's last file type
    QString DoorWAV;             // the chosen announcement in Door/; empty: the standard door.wav
    bool settingsRead = false;   // the fields above hold the stored choices, not just defaults

    // Sound handles issued by the audio library; 0 = no sound. At most one of the two bell
    // handles is non-zero.
    std::int32_t BellBuffer = 0;
    std::int32_t BellSegment = 0;
    std::int32_t DoorBuffer = 0;
    std::int32_t NoiseBuffer = 0;

    // True (-1) while a release effect waits for the bell's pass to end; clearing it ends the wait.
    std::int16_t FadeActive = 0;
};
