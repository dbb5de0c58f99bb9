#include <gtest/gtest.h>

#include <vector>

#include "music_fixture.h"

namespace {

// A sample as the loader leaves it: the guard value at the loop end, 8 zeros after.
struct TestSample {
    std::vector<int16_t> data;
    XmSample s = {};
    TestSample(std::vector<int16_t> values, uint8_t loopType, uint32_t loopStart = 0,
               uint32_t loopLength = 0)
    {
        data = values;
        data.resize(values.size() + 8, 0);
        s.data = data.data();
        s.length = uint32_t(values.size());
        s.loopType = loopType;
        s.loopStart = loopType == LoopNone ? 0 : loopStart;
        s.loopLength = loopType == LoopNone ? s.length : loopLength;
        const uint32_t end = s.loopStart + s.loopLength;
        if (loopType == LoopForward) data[end] = data[s.loopStart];
        if (loopType == LoopPingPong) data[end] = data[end - 1];
    }
};

// Voice 0 playing the sample at full, fixed gain (no ramp), step 1.0.
XmVoice& Play(const TestSample& t, uint32_t stepInteger = 1, uint32_t stepFraction = 0)
{
    SetOutputRate(44100);
    XmVoice& v = Voices[0];
    v.sample = &t.s;
    v.stepInteger = stepInteger;
    v.stepFraction = stepFraction;
    v.targetLeft = v.targetRight = v.gainLeft = v.gainRight = 255;
    return v;
}

std::vector<float> Mix(int frames)
{
    std::vector<float> out(size_t(frames) * 2, 0.0f);
    MixVoices(out.data(), frames);
    return out;
}

std::vector<int16_t> Ramp(int n, int scale, int offset = 0)
{
    std::vector<int16_t> v;
    for (int i = 0; i < n; ++i)
        v.push_back(int16_t(i * scale + offset));
    return v;
}

TEST(Mixer, ForwardLoopPlaysTheLoopAgainAndAgain)
{
    TestSample t(Ramp(40, 10, 1000), LoopForward, 2, 38);
    Play(t);
    const std::vector<float> out = Mix(120);
    std::vector<int> positions;
    for (int k = 0; k < 40; ++k) positions.push_back(k);
    while (positions.size() < 120)
        for (int k = 2; k < 40 && positions.size() < 120; ++k) positions.push_back(k);
    for (int f = 0; f < 120; ++f) {
        ASSERT_NEAR(out[2 * f], 1000 + 10 * positions[f], 1e-3) << "frame " << f;
        ASSERT_NEAR(out[2 * f + 1], out[2 * f], 1e-6) << "frame " << f;
    }

    // A step longer than the loop: the loop length comes off as often as needed.
    TestSample small(Ramp(14, 1), LoopForward, 10, 3);
    Play(small, 7);
    const std::vector<float> jumps = Mix(8);
    const int expected[8] = {0, 7, 11, 12, 10, 11, 12, 10};
    for (int f = 0; f < 8; ++f)
        EXPECT_NEAR(jumps[2 * f], expected[f], 1e-4) << "frame " << f;
}

TEST(Mixer, InterpolatesAndStopsAtTheEnd)
{
    TestSample t(Ramp(100, 3, 10), LoopNone);
    XmVoice& v = Play(t, 0, 0);  // standing still
    v.position = 10;
    v.fraction = 0x80000000u;
    EXPECT_NEAR(Mix(1)[0], (40 + 43) / 2.0, 1e-4);  // halfway between S[10] and S[11]

    Play(t, 2);  // 100 samples at step 2.0: exactly 50 frames
    const std::vector<float> out = Mix(80);
    for (int f = 0; f < 50; ++f)
        ASSERT_NEAR(out[2 * f], 10 + 3 * 2 * f, 1e-4) << f;
    for (int f = 50; f < 80; ++f)
        ASSERT_EQ(out[2 * f], 0.0f) << f;
    EXPECT_EQ(Voices[0].sample, nullptr);
    EXPECT_EQ(Voices[0].position, 0u);
    EXPECT_EQ(Mix(10)[0], 0.0f);  // the next call skips the voice

    Voices[0].sample = &EmptySample;  // no data: stops at the first segment
    EXPECT_EQ(Mix(4)[0], 0.0f);
    EXPECT_EQ(Voices[0].sample, nullptr);
}

TEST(Mixer, ARunThatStopsShortOfTheEdgeStillLoops)
{
    // Step 1 + 2^-24: the 8.24 step is 2^24 + 1. Three frames from 254/2^32 short of
    // 3 * (2^24 + 1) 8.24 units before the loop end land 254/2^32 short of it.
    TestSample t(Ramp(16, 100), LoopForward, 0, 10);
    XmVoice& v = Play(t, 1, 256);
    const uint64_t distance = (uint64_t(3) * ((1u << 24) + 1)) * 256 + 254;
    const uint64_t start = (uint64_t(10) << 32) - distance;
    v.position = uint32_t(start >> 32);
    v.fraction = uint32_t(start);
    const std::vector<float> out = Mix(40);
    EXPECT_NEAR(out[0], 600 + 100 * (uint32_t(start) / 4294967296.0), 0.01);
    EXPECT_NEAR(out[2 * 3], 0.0, 0.5);    // just before the end: reads the guard (the start)
    EXPECT_NEAR(out[2 * 4], 100.0, 0.5);  // and round the loop again
    EXPECT_NE(v.sample, nullptr);
}

TEST(Mixer, PingPongReflectsAtBothEnds)
{
    TestSample t(Ramp(10, 100), LoopPingPong, 4, 4);  // loop 4..8
    Play(t);
    const std::vector<float> out = Mix(24);
    const float expected[24] = {
        0, 100, 200, 300, 400, 500, 600, 700,  // forward to the loop end
        700, 700, 600, 500,                    // back, reading just below each value
        400, 500, 600, 700,                    // forward again from the start
        700, 700, 600, 500, 400, 500, 600, 700,
    };
    for (int f = 0; f < 24; ++f)
        EXPECT_NEAR(out[2 * f], expected[f], 0.01) << "frame " << f;
    EXPECT_NE(Voices[0].sample, nullptr);

    // At a loop start of 0 the reflection must not read before the data.
    TestSample zero(Ramp(4, 1000, 500), LoopPingPong, 0, 4);
    Play(zero, 1, 0x40000000u);
    const std::vector<float> safe = Mix(200);
    for (int f = 0; f < 200; ++f) {
        ASSERT_GE(safe[2 * f], 500.0f - 1e-3f) << f;
        ASSERT_LE(safe[2 * f], 3500.0f + 1e-3f) << f;
    }
    // A step far longer than a ping-pong loop stays inside the sample.
    TestSample tiny(Ramp(12, 10), LoopPingPong, 5, 1);
    Play(tiny, 7, 0x12345678u).position = 5;
    const std::vector<float> wild = Mix(500);
    for (int f = 0; f < 500; ++f)
        ASSERT_NEAR(wild[2 * f], 50.0f, 1e-3f) << f;
}

TEST(Mixer, RampsAcrossSegmentsAndCalls)
{
    TestSample t(std::vector<int16_t>(200, 1000), LoopForward, 0, 200);
    XmVoice& v = Play(t);
    v.gainLeft = v.gainRight = v.targetRight = 0;
    v.targetLeft = 127;  // 0 -> 127 over 128 frames
    const float step = 127.0f * (1.0f / 255.0f) * (1.0f / 128.0f);
    const std::vector<float> out = Mix(190);
    float g = 0.0f;
    for (int f = 0; f < 128; ++f) {
        ASSERT_NEAR(out[2 * f], 1000.0f * g, 1e-2) << f;
        ASSERT_EQ(out[2 * f + 1], 0.0f);
        g += step;
    }
    EXPECT_EQ(v.gainLeft, 127);
    EXPECT_EQ(v.rampFrames, 0);
    for (int f = 128; f < 190; ++f)
        ASSERT_NEAR(out[2 * f], 1000.0f * 127.0f / 255.0f, 1e-2) << f;

    // A loop boundary ends a segment: the next goes on from the stored gain byte.
    TestSample loop(std::vector<int16_t>(16, 1000), LoopForward, 0, 16);
    XmVoice& u = Play(loop);
    u.gainLeft = u.gainRight = u.targetRight = 0;
    u.targetLeft = 127;
    const std::vector<float> looped = Mix(40);
    EXPECT_NEAR(looped[2 * 15], 1000.0f * 15 * step, 1e-2);
    EXPECT_NEAR(looped[2 * 16], 1000.0f * 16.0f / 255.0f, 1e-2);  // round(16 * 127 / 128)
    EXPECT_NEAR(looped[2 * 17], 1000.0f * (16.0f / 255.0f + step), 1e-2);
    EXPECT_EQ(u.rampFrames, 128 - 40);

    // Split over two calls: the second goes on from the stored gain byte too.
    XmVoice& w = Play(t);
    w.gainLeft = w.gainRight = w.targetRight = 0;
    w.targetLeft = 127;
    Mix(50);
    EXPECT_EQ(w.gainLeft, 50);  // round(50 * 127 / 128)
    EXPECT_EQ(w.rampFrames, 78);
    const std::vector<float> rest = Mix(100);
    EXPECT_NEAR(rest[0], 1000.0f * 50.0f / 255.0f, 1e-2);
    EXPECT_NEAR(rest[2], 1000.0f * (50.0f / 255.0f + step), 1e-2);
    EXPECT_EQ(w.gainLeft, 127);
    EXPECT_EQ(w.rampFrames, 0);

    // A new target during a ramp starts a new ramp from the gain reached.
    XmVoice& x = Play(t);
    x.gainLeft = x.gainRight = x.targetRight = 0;
    x.targetLeft = 127;
    Mix(64);
    x.targetLeft = 0;
    Mix(1);
    EXPECT_EQ(x.rampFrames, 127);
    EXPECT_LT(x.rampStepLeft, 0.0f);
}

}  // namespace
