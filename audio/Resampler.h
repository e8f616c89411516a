#pragma once

#include <cstdint>
#include <span>
#include <vector>

/// Converts interleaved stereo frames from one rate to another with a windowed-sinc polyphase
/// filter centred on every output frame: no delay at the head, no drift, exactly `outFrames`
/// frames out, and a DC gain of exactly 1. Input before the first and after the last frame is
/// taken as silence. Both rates must be positive.
std::vector<float> resampleStereo(std::span<const float> stereo, int fromRate, int toRate, std::int64_t outFrames);
