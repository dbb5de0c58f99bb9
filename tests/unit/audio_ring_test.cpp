#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "music_fixture.h"

namespace {

TEST(AudioRing, SizesAt44100)
{
    SetOutputRate(44100);
    EXPECT_EQ(BlockFrames, 884);
    EXPECT_EQ(RingFrames, 88400);
    EXPECT_EQ(BlockCount, 100);
    EXPECT_EQ(RampLength, 128);
    EXPECT_EQ(RingFrames * 4, 353600);  // the looping header's buffer length
    SetOutputRate(22050);
    EXPECT_EQ(BlockFrames, 444);  // 441 rounded up to a multiple of 4
    EXPECT_EQ(RampLength, 64);
}

TEST(AudioRing, ConversionRoundsHalfToEvenAndSaturates)
{
    // Enough values for the vector path and the scalar tail.
    const float in[22] = {32767.6f, 40000.0f, -40000.0f, 2.5f, 3.5f, -2.5f, -3.5f, 0.49f,
                          -32768.4f, -32769.0f, 1e30f, -1e30f, 0.5f, 1.5f,
                          32767.6f, 40000.0f, -40000.0f, 2.5f, 3.5f, -2.5f, -0.5f, 100.5f};
    const int16_t expected[22] = {32767, 32767, -32768, 2, 4, -2, -4, 0,
                                  -32768, -32768, 32767, -32768, 0, 2,
                                  32767, 32767, -32768, 2, 4, -2, 0, 100};
    int16_t out[22];
    ConvertBlock(out, in, 11);
    for (int i = 0; i < 22; ++i)
        EXPECT_EQ(out[i], expected[i]) << "value " << i << " (" << in[i] << ")";
}

TEST(AudioRing, TicksStartAcrossBlockBoundaries)
{
    XmModule* m = LoadSong(OneChannelSong());  // 208 BPM: 530 frames a tick
    ASSERT_TRUE(OpenAudioOutput(44100));
    ASSERT_TRUE(StartPlayback(m));  // all 100 blocks rendered once
    EXPECT_EQ(WriteBlock, 0);
    // 88400 frames = 166 whole ticks and 420 frames of the 167th.
    EXPECT_EQ(m->samplesLeft, 530 - 420);

    ResetSong(m);
    WriteBlock = 0;
    RenderBlock();  // tick 1 whole, then 354 frames of tick 2
    EXPECT_EQ(m->samplesLeft, 176);
    EXPECT_EQ(m->row, 0);  // speed 2: ticks 1 and 2 are row 0
    EXPECT_EQ(WriteBlock, 1);
    RenderBlock();  // 176 of tick 2, tick 3 whole, 178 of tick 4
    EXPECT_EQ(m->samplesLeft, 530 - 178);
    EXPECT_EQ(m->row, 1);
    EXPECT_TRUE(StopPlayback(m));
    EXPECT_EQ(CurrentModule, nullptr);
    EXPECT_FALSE(StartPlayback(nullptr));
    EXPECT_FALSE(StopPlayback(nullptr));
    FreeModule(m);
}

// The blocks the audio thread renders in one poll.
std::vector<int32_t> Rendered(int32_t playBlock, int32_t writeBlock)
{
    std::vector<int32_t> blocks;
    while (ShouldRenderBlock(playBlock, writeBlock) && blocks.size() < 200) {
        blocks.push_back(writeBlock);
        writeBlock = (writeBlock + 1) % 100;
    }
    return blocks;
}

TEST(AudioRing, WhichBlocksAreRendered)
{
    SetOutputRate(44100);
    EXPECT_EQ(Rendered(0, 99), (std::vector<int32_t>{99}));
    EXPECT_EQ(Rendered(1, 98), (std::vector<int32_t>{98, 99, 0}));
    EXPECT_EQ(Rendered(5, 98), (std::vector<int32_t>{}));  // a lap behind: wait for block 1
    EXPECT_EQ(Rendered(5, 2), (std::vector<int32_t>{2, 3, 4}));
    EXPECT_EQ(Rendered(7, 7), (std::vector<int32_t>{}));
    EXPECT_EQ(Rendered(0, 0), (std::vector<int32_t>{}));

    EXPECT_EQ(PlayBlockAt(0), 0);
    EXPECT_EQ(PlayBlockAt(884 * 4 - 4), 0);
    EXPECT_EQ(PlayBlockAt(884 * 4), 1);
    EXPECT_EQ(PlayBlockAt(uint64_t(88400) * 4 * 3 + 884 * 4 * 42), 42);  // three laps on

    // The device's 32-bit byte counter wraps after about 6.8 hours; the position goes on.
    PlayedBytes played = {};
    uint64_t bytes = AdvancePlayedBytes(played, 0xFFFFF000u);
    EXPECT_EQ(bytes, 0xFFFFF000u);
    bytes = AdvancePlayedBytes(played, 0x00001000u);
    EXPECT_EQ(bytes, 0x100001000ull);
    EXPECT_EQ(PlayBlockAt(bytes), int32_t((0x100001000ull / 4) % 88400 / 884));
}

}  // namespace
