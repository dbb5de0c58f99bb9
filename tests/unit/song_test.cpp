// The song linked into the program: its shape, its timing and its loop.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <vector>

#include "music_fixture.h"

namespace {

std::vector<uint8_t> Image()
{
    return std::vector<uint8_t>(SongImage, SongImageEnd);
}

TEST(Song, HasTheShapeOfTheEmbeddedImage)
{
    const std::vector<uint8_t> image = Image();
    EXPECT_GT(image.size(), 11000u);  // near 13 KB
    EXPECT_LT(image.size(), 15000u);
    EXPECT_EQ(image[58] | image[59] << 8, 0x0104);  // version
    EXPECT_EQ(image[60] | image[61] << 8, 276);     // header size

    XmModule* m = LoadBytes(image);
    ASSERT_NE(m, nullptr) << ModuleLoadError;
    EXPECT_EQ(m->channelCount, 4);
    EXPECT_EQ(m->songLength, 7);
    EXPECT_EQ(m->restartPosition, 1);
    EXPECT_EQ(m->defaultSpeed, 2);
    EXPECT_EQ(m->defaultBpm, 208);
    EXPECT_EQ(m->flags, 1);
    ASSERT_EQ(m->patternSlots, 7);
    int long128 = 0, short16 = 0;
    for (int p = 0; p < 7; ++p) {
        long128 += m->patterns[p].rows == 128;
        short16 += m->patterns[p].rows == 16;
    }
    EXPECT_EQ(long128, 6);
    EXPECT_EQ(short16, 1);

    ASSERT_EQ(m->instrumentCount, 7);
    int forward = 0, unlooped = 0, empty = 0;
    for (int i = 0; i < 7; ++i) {
        const XmInstrument& in = m->instruments[i];
        if (in.sampleCount == 0) {
            ++empty;
            continue;
        }
        ASSERT_EQ(in.sampleCount, 1);
        EXPECT_EQ(in.samples[0]->bits, 8);
        forward += in.samples[0]->loopType == LoopForward;
        unlooped += in.samples[0]->loopType == LoopNone;
    }
    EXPECT_EQ(forward, 4);
    EXPECT_EQ(unlooped, 2);
    EXPECT_EQ(empty, 1);
    EXPECT_EQ(m->instruments[6].sampleCount, 0);

    // It uses the effects the player plays.
    std::set<int> effects;
    bool keyOff = false, volumeColumn = false;
    for (int p = 0; p < 7; ++p)
        for (int i = 0; i < m->patterns[p].rows * 4; ++i) {
            const XmCell& c = m->patterns[p].cells[i];
            if (c.effect != 0 || c.parameter != 0)
                effects.insert(c.effect);
            keyOff |= c.note == KeyOffNote;
            volumeColumn |= c.volume != 0;
        }
    for (int e : {0x0, 0x1, 0x2, 0x3, 0x4, 0x8, 0xF, 0x14})
        EXPECT_TRUE(effects.count(e)) << "effect " << e;
    EXPECT_TRUE(keyOff);
    EXPECT_TRUE(volumeColumn);
    FreeModule(m);
}

TEST(Song, TicksOf530FramesAndLoopsFromOrderOne)
{
    XmModule* m = LoadBytes(Image());
    ASSERT_NE(m, nullptr);
    SetOutputRate(44100);
    ResetSong(m);
    EXPECT_EQ(m->samplesPerTick, 530);
    int32_t lastOrder = 0;
    bool looped = false;
    for (int tick = 0; tick < 2 * (16 + 6 * 128) * 2 && !looped; ++tick) {
        PlayerTick(m);
        EXPECT_EQ(m->samplesPerTick, 530);
        if (m->order < lastOrder) {
            EXPECT_EQ(lastOrder, 6);
            EXPECT_EQ(m->order, 1);
            EXPECT_EQ(m->row, 0);
            looped = true;
        }
        lastOrder = m->order;
    }
    EXPECT_TRUE(looped);
    FreeModule(m);
}

TEST(Song, TheLinkedImageIsTheCommittedFile)
{
    std::ifstream in(SONG_FILE_FOR_TESTS, std::ios::binary);
    const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(file, Image());
}

}  // namespace
