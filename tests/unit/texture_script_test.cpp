#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "content/texture_script.h"
#include "render/random.h"

namespace {

uint8_t Pixel(int layer, int x, int y)
{
    return TextureLayers[layer].pixels[y * 256 + x];
}

bool RunProgram(std::vector<uint8_t> script, std::vector<uint8_t> selection = {0xFF, 0xFF})
{
    return RunTextureProgram(script.data(), script.size(), selection.data(), selection.size());
}

void Fill(int layer, uint8_t value)
{
    std::memset(TextureLayers[layer].pixels, value, sizeof TextureLayers[layer].pixels);
}

TEST(TextureScript, BuiltInScriptReferenceValues)
{
    // The first plasma alone: the first two draws set (128,0) and (0,128); the bottom
    // middle wraps onto (128,0), already set, so it draws nothing.
    ASSERT_TRUE(RunProgram({0x00, 0x00, 0xFF, 0x03, 0xD2, 0xFF}));
    EXPECT_EQ(Pixel(0, 0, 0), 255);
    EXPECT_EQ(Pixel(0, 128, 0), 211);
    EXPECT_EQ(Pixel(0, 0, 128), 255);
    EXPECT_EQ(Pixel(0, 128, 128), 255);
    EXPECT_EQ(Pixel(0, 64, 0), 94);

    RunTextureScript();
    const uint8_t expected[5][3] = {
        {255, 211, 255},  // plasma
        {128, 64, 1},     // second plasma
        {124, 79, 4},     // blurred
        {237, 241, 239},  // displaced
        {216, 228, 217},  // shaded
    };
    for (int layer = 0; layer < 5; ++layer) {
        EXPECT_EQ(Pixel(layer, 0, 0), expected[layer][0]) << "layer " << layer;
        EXPECT_EQ(Pixel(layer, 128, 0), expected[layer][1]) << "layer " << layer;
        EXPECT_EQ(Pixel(layer, 128, 128), expected[layer][2]) << "layer " << layer;
    }
    EXPECT_EQ(RgbTextures[0].pixels[0], 253);
    EXPECT_EQ(RgbTextures[0].pixels[1], 148);
    EXPECT_EQ(RgbTextures[0].pixels[2], 123);
    EXPECT_EQ(0, std::memcmp(UploadSlot.pixels, RgbTextures[0].pixels, sizeof UploadSlot.pixels));
}

TEST(TextureScript, PlasmaSetsEveryPixelAndTreatsRoughnessZeroAsOne)
{
    ASSERT_TRUE(RunProgram({0x00, 7, 0x40, 0, 99, 0xFF}));  // roughness 0
    std::vector<uint8_t> rough0(TextureLayers[7].pixels, TextureLayers[7].pixels + 65536);
    for (int i = 0; i < 65536; ++i)
        ASSERT_GE(rough0[i], 1) << "pixel " << i << " was never set";

    ASSERT_TRUE(RunProgram({0x00, 7, 0x40, 1, 99, 0xFF}));
    EXPECT_EQ(0, std::memcmp(rough0.data(), TextureLayers[7].pixels, 65536));

    // One draw per pixel but the preset corner; the thread's generator goes on from the
    // plasma's last draw (later load-time draws depend on it).
    const int32_t next = RandomNext();
    RandomSeed(99);
    for (int i = 0; i < 65535; ++i)
        RandomNext();
    EXPECT_EQ(next, RandomNext());
}

TEST(TextureScript, BlurAveragesWithWrapAround)
{
    Fill(5, 0);
    TextureLayers[5].pixels[0] = 90;  // one bright pixel in the corner
    TextureLayers[6].pixels[1000] = 1;
    ASSERT_TRUE(RunProgram({0x01, 6, 5, 0, 0xFF}));  // 0 passes: a plain copy
    EXPECT_EQ(0, std::memcmp(TextureLayers[5].pixels, TextureLayers[6].pixels, 65536));

    ASSERT_TRUE(RunProgram({0x01, 6, 5, 1, 0xFF}));
    int lit = 0;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            if (Pixel(6, x, y) != 0) {
                ++lit;
                EXPECT_EQ(Pixel(6, x, y), 10);
                EXPECT_TRUE((x <= 1 || x == 255) && (y <= 1 || y == 255)) << x << "," << y;
            }
    EXPECT_EQ(lit, 9);

    ASSERT_TRUE(RunProgram({0x01, 6, 5, 2, 0xFF}));  // 9 * 10 / 9 at the centre, 10 / 9 at a corner
    EXPECT_EQ(Pixel(6, 0, 0), 10);
    EXPECT_EQ(Pixel(6, 2, 2), 1);
    EXPECT_EQ(Pixel(6, 3, 0), 0);
}

TEST(TextureScript, DisplaceFollowsSlopeWithSignedFactorAndWrap)
{
    // Source: every pixel tells its own coordinates (x in layer 8, y in layer 9).
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            TextureLayers[8].pixels[y * 256 + x] = uint8_t(x);
            TextureLayers[9].pixels[y * 256 + x] = uint8_t(y);
        }
    Fill(10, 0);
    TextureLayers[10].pixels[1] = 1;  // map: a step up at (1, 0)

    ASSERT_TRUE(RunProgram({0x02, 11, 8, 10, 3, 0x02, 12, 9, 10, 3, 0xFF}));
    EXPECT_EQ(Pixel(11, 0, 0), 253);  // dx = -1: column 0 - 3 wraps to 253
    EXPECT_EQ(Pixel(12, 0, 0), 0);
    EXPECT_EQ(Pixel(11, 1, 0), 4);    // dx = dy = +1 at the step itself
    EXPECT_EQ(Pixel(12, 1, 0), 3);
    EXPECT_EQ(Pixel(11, 1, 255), 1);  // dy = 0 - 1 above the step: row 255 - 3
    EXPECT_EQ(Pixel(12, 1, 255), 252);
    EXPECT_EQ(Pixel(11, 50, 50), 50); // flat map: unchanged

    ASSERT_TRUE(RunProgram({0x02, 11, 8, 10, 0xFD, 0xFF}));  // factor -3
    EXPECT_EQ(Pixel(11, 0, 0), 3);
    EXPECT_EQ(Pixel(11, 1, 0), 254);
}

TEST(TextureScript, ShadeAndColouriseArithmetic)
{
    for (int i = 0; i < 65536; ++i)
        TextureLayers[13].pixels[i] = uint8_t(i & 255);
    Fill(15, 200);
    TextureLayers[15].pixels[0] = 100;  // a bump: |100-200| + |100-200| = 200

    // Factor 0 only scales by 255/256; factor 1 darkens by the local slope.
    ASSERT_TRUE(RunProgram({0x03, 14, 13, 0, 0x03, 16, 15, 1, 0xFF}));
    for (int x = 0; x < 256; ++x)
        ASSERT_EQ(Pixel(14, x, 7), (x * 255) >> 8);
    EXPECT_EQ(Pixel(14, 255, 0), 254);
    EXPECT_EQ(Pixel(16, 0, 0), (100 * 55) >> 8);    // m = 255 - 200
    EXPECT_EQ(Pixel(16, 255, 0), (200 * 155) >> 8); // its left neighbour sees a slope of 100
    EXPECT_EQ(Pixel(16, 5, 5), (200 * 255) >> 8);

    ASSERT_TRUE(RunProgram({0x04, 3, 13, 128, 255, 0, 0xFF}));
    for (int v = 0; v < 256; ++v) {
        const uint8_t* rgb = &RgbTextures[3].pixels[3 * v];
        ASSERT_EQ(rgb[0], v);                           // factor 128: the grey value itself
        ASSERT_EQ(rgb[1], v >= 128 ? 255 : (v * 255) >> 7);
        ASSERT_EQ(rgb[2], 0);
    }
}

TEST(TextureScript, SelectionAndRejectedPrograms)
{
    std::memset(UploadSlot.pixels, 0x55, sizeof UploadSlot.pixels);
    Fill(0, 200);
    ASSERT_TRUE(RunProgram({0x04, 2, 0, 128, 128, 128, 0xFF}, {0x00, 0xFF}));  // end at pair 0
    EXPECT_EQ(UploadSlot.pixels[0], 0x55);
    ASSERT_TRUE(RunProgram({0xFF}, {0x02, 0x00, 0x00, 0x01}));
    EXPECT_EQ(UploadSlot.pixels[0], 200);

    Fill(1, 9);
    EXPECT_FALSE(RunProgram({0x05, 0, 0, 0, 0xFF}));                  // undefined opcode
    EXPECT_FALSE(RunProgram({0x01, 20, 1, 1, 0xFF}));                 // layer beyond the 20
    EXPECT_FALSE(RunProgram({0x04, 10, 1, 1, 1, 1, 0xFF}));           // RgbTexture beyond the 10
    EXPECT_FALSE(RunProgram({0x01, 4, 4, 0}));                        // no end byte
    EXPECT_FALSE(RunProgram({0x00, 1, 0}));                           // truncated instruction
    EXPECT_FALSE(RunProgram({0xFF}, {0x00, 0x00, 0x00, 0x00, 0x01, 0x01}));  // a second upload slot
    EXPECT_FALSE(RunProgram({0xFF}, {0x0A, 0x00, 0x00, 0x01}));       // no such RgbTexture
    EXPECT_EQ(Pixel(1, 0, 0), 9);  // nothing ran past the first bad instruction
}

}  // namespace
