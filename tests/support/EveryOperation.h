#pragma once

#include "AudioLibrary.h"

#include <gtest/gtest.h>

// Calls every operation that takes a handle with `h`, which names nothing (0, freed, never
// made): each must do nothing and report nothing. The caller's copy of `h` is left alone.
inline void expectEveryOperationHarmless(AudioLibrary& audio, AudioLibrary::Handle h)
{
    SCOPED_TRACE(testing::Message() << "handle " << h);
    SoundFormat format{1, 2, 3};
    audio.dsPlay(h);
    audio.dsPlayLooping(h);
    audio.dsPlayEx(h, -1000, 0, 0);
    audio.dsPlayMusicSegment(h, 1000);
    audio.dsStop(h);
    audio.dsStopMusicSegment(h);
    EXPECT_EQ(audio.dsIsPlaying(h), 0);
    EXPECT_EQ(audio.dsIsPlayingMusicSegment(h), 0);
    audio.dsSetVolume(h, -1000);
    audio.dsSetPositionMSec(h, 170);
    EXPECT_EQ(audio.dsGetPositionMSec(h), 0);
    EXPECT_EQ(audio.dsGetSeekMSec(h), 0);
    EXPECT_EQ(audio.dsGetBufferMSec(h), 0);
    EXPECT_EQ(audio.dsGetLengthMSec(h), 0);
    audio.dsGetFormat(h, format);
    EXPECT_EQ(format.Channels, 0);
    EXPECT_EQ(format.BitsPerSample, 0);
    EXPECT_EQ(format.SamplesPerSec, 0);
    AudioLibrary::Handle copy = h;
    audio.dsFree(copy);
    EXPECT_EQ(copy, 0);
    copy = h;
    audio.dsFreeMusicSegment(copy);
    EXPECT_EQ(copy, 0);
}
