// Press and release as the sounds see them, with the recording audio fake and a clock the test moves.
#include "FakeAudioLibrary.h"
#include "FakeHost.h"
#include "Program.h"
#include "Sound.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAre;

namespace {

struct Bell : ::testing::Test {
    FakeHost host;
    FakeAudioLibrary audio;
    Program program{host, audio};
    ProgramState& state = program.state;

    void SetUp() override
    {
        state.BellBuffer = 11;
        state.DoorBuffer = 12;
        state.NoiseBuffer = 13;
    }
};

TEST_F(Bell, StartStopsResetsAndPlaysFromTheBeginning)
{
    state.FadeActive = -1;
    BellStart(program);
    EXPECT_EQ(state.FadeActive, 0);
    EXPECT_THAT(audio.calls, ElementsAre("dsStopMusicSegment(0)", "dsStop(11)", "dsSetMasterVolume(0)",
                                         "dsSetVolume(11,0)", "dsPlayLooping(11)"));

    audio.calls.clear();
    state.DoorCut = -1;
    state.Noise = -1;
    state.EffectTokyo = -1;
    BellStart(program);
    EXPECT_THAT(audio.calls, ElementsAre("dsStopMusicSegment(0)", "dsStop(11)", "dsSetMasterVolume(0)",
                                         "dsSetVolume(11,0)", "dsStop(12)", "dsPlayEx(13,-1000,0,0)",
                                         "dsPlayLooping(11)", "dsSetPositionMSec(11,170)"));

    // Tokyo moves only a WAVE bell; flags count only as -1.
    audio.calls.clear();
    state.BellBuffer = 0;
    state.BellSegment = 21;
    state.DoorCut = 1;
    state.Noise = 1;
    BellStart(program);
    EXPECT_THAT(audio.calls, ElementsAre("dsStopMusicSegment(21)", "dsStop(0)", "dsSetMasterVolume(0)",
                                         "dsSetVolume(0,0)", "dsPlayMusicSegment(21,1000)"));
}

TEST_F(Bell, StopAtOnceWithoutAStyle)
{
    BellStop(program);
    EXPECT_THAT(audio.calls, ElementsAre("dsStopMusicSegment(0)", "dsStop(11)"));
    audio.calls.clear();
    state.Noise = -1;
    BellStop(program);
    EXPECT_THAT(audio.calls, ElementsAre("dsPlayEx(13,0,0,0)", "dsStopMusicSegment(0)", "dsStop(11)"));
    EXPECT_EQ(host.doEventsCount, 0);
}

TEST_F(Bell, TachikawaPlaysThePassOutQuieterAndWinsOverUrawa)
{
    state.EffectTachikawa = -1;
    state.EffectUrawa = -1;
    audio.script("dsGetBufferMSec", {3000});
    audio.script("dsGetPositionMSec", {1000});
    host.clock = 100.0;
    BellStop(program);
    EXPECT_THAT(audio.calls, ElementsAre("dsSetVolume(11,-1000)", "dsGetBufferMSec(11)", "dsGetPositionMSec(11)",
                                         "dsStop(11)", "dsSetVolume(11,0)"));
    EXPECT_NEAR(host.clock, 101.9, 1e-9); // waited 2 s less 0.1 s, in blocking waits
    EXPECT_GE(host.doEventsCount, 1);
    EXPECT_EQ(state.FadeActive, 0);
}

TEST_F(Bell, UrawaSilencesASegmentAtOnceAndWaitsForItsPass)
{
    state.BellBuffer = 0;
    state.BellSegment = 21;
    audio.script("dsGetLengthMSec", {5000});
    audio.script("dsGetSeekMSec", {4000});
    FadeUrawa(program);
    EXPECT_THAT(audio.calls, ElementsAre("dsSetMasterVolume(-10000)", "dsGetLengthMSec(21)", "dsGetSeekMSec(21)",
                                         "dsStopMusicSegment(21)", "dsSetMasterVolume(0)"));
    EXPECT_NEAR(host.clock, 0.9, 1e-9);
}

TEST_F(Bell, AReleaseInTheLastTenthOfAPassStopsAtOnce)
{
    audio.script("dsGetBufferMSec", {3000});
    audio.script("dsGetPositionMSec", {2950});
    FadeTachikawa(program);
    EXPECT_EQ(host.doEventsCount, 0);
    EXPECT_EQ(audio.calls.back(), "dsSetVolume(11,0)");

    // No bell: nothing to wait for, nothing to stop.
    audio.calls.clear();
    state.BellBuffer = 0;
    FadeTachikawa(program);
    EXPECT_TRUE(audio.calls.empty());
    EXPECT_EQ(state.FadeActive, 0);
}

TEST_F(Bell, APressDuringTheWaitTakesOverTheBell)
{
    state.EffectTachikawa = -1;
    audio.script("dsGetBufferMSec", {3000});
    int waits = 0;
    host.onDoEvents = [&] {
        if (++waits == 1) {
            audio.calls.push_back("-- press --");
            BellStart(program);
        }
    };
    host.clockStepPerRead = 0.5;
    BellStop(program);
    // The restarted bell is neither stopped nor turned down when the interrupted style returns.
    EXPECT_EQ(audio.calls.back(), "dsPlayLooping(11)");
    EXPECT_EQ(waits, 1);
    EXPECT_EQ(state.FadeActive, 0);
}

TEST_F(Bell, ALoadDuringTheWaitIsLeftAlone)
{
    state.EffectUrawa = -1;
    audio.script("dsGetBufferMSec", {3000});
    host.onDoEvents = [&] {
        state.FadeActive = 0; // what a load does first
        state.BellBuffer = 99;
    };
    BellStop(program);
    for (const std::string& call : audio.calls) EXPECT_EQ(call.find("99"), std::string::npos) << call;
}

TEST_F(Bell, TheWaitReadsAClockThatOnlyIncreases)
{
    // Just before midnight on a wall clock: the program's clock goes on counting up regardless.
    host.clock = 86399.5;
    host.clockStepPerRead = 0.25;
    audio.script("dsGetBufferMSec", {2100});
    FadeUrawa(program);
    EXPECT_GE(host.clock, 86399.5 + 2.0);
    EXPECT_LT(host.clock, 86399.5 + 2.0 + 0.75);
}

} // namespace
