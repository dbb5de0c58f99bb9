// The portable parts of the texture upload, the uncle's geometry and the clock.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "app/shared_state.h"
#include "content/texture_image.h"
#include "game/uncle_geometry.h"
#include "render/random.h"

namespace {

TEST(TextureImage, PixelsHalvingAnd565)
{
    UploadSlot.pixels[0] = 253;
    UploadSlot.pixels[1] = 148;
    UploadSlot.pixels[2] = 123;
    uint32_t* image = WorkingImageFromUploadSlot();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image[0], 0x00FD947Bu);
    EXPECT_EQ(PackRgb565(image[0]), 0xFCAF);  // (31 << 11) | (37 << 5) | 15
    FreeImage(image);

    const uint32_t block[4] = {0x01010101, 0x01010101, 0x01010101, 0x00000000};  // 2x2
    uint32_t* half = HalveImage(block, 2, 2);
    EXPECT_EQ(half[0], 0u);  // 1, 1, 1, 0 average to 0: truncated
    FreeImage(half);
    const uint32_t mixed[4] = {0x00FF0010, 0x00010020, 0x00000030, 0x00000041};
    half = HalveImage(mixed, 2, 2);
    EXPECT_EQ(half[0], 0x00400028u);  // each byte on its own: 256 / 4 and 0xA1 / 4
    FreeImage(half);

    std::vector<uint32_t> uniform(256 * 256, 0x00123456);
    uint32_t* level = HalveImage(uniform.data(), 256, 256);
    for (int size = 128; size >= 2; size /= 2) {
        for (int i = 0; i < size * size; ++i)
            ASSERT_EQ(level[i], 0x00123456u) << size;
        uint32_t* next = size > 2 ? HalveImage(level, size, size) : nullptr;
        FreeImage(level);
        level = next;
    }
}

float Distance(const Vec3& a, const Vec3& b)
{
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

TEST(Uncle, RayQuadsAreTheSameEveryRunAndOnTheSphere)
{
    RandomSeed(1234);
    BuildRayQuads();
    std::vector<Vec3> first(RayQuads, RayQuads + 80);
    RandomSeed(1234);
    BuildRayQuads();
    EXPECT_EQ(0, std::memcmp(first.data(), RayQuads, sizeof RayQuads));
    for (int g = 0; g < 20; ++g) {
        const Vec3* q = &RayQuads[4 * g];
        for (int k = 0; k < 4; ++k)
            EXPECT_NEAR(Distance(q[k], {0, 0, 0}), 1.0f, 1e-6f) << g << "," << k;
        EXPECT_NEAR(Distance(q[0], q[2]), 0.06f / std::sqrt(1.0009f), 1e-6f);  // corner to corner
        EXPECT_NEAR(Distance(q[1], q[3]), 0.06f / std::sqrt(1.0009f), 1e-6f);
    }
    EXPECT_NE(0, std::memcmp(&RayQuads[0], &RayQuads[4], sizeof(Vec3)));  // turned apart
    EXPECT_EQ(LightPoint.x, 0.0f);
}

TEST(Uncle, RayBandsReachTenUnitsWhateverTheLight)
{
    RandomSeed(99);
    BuildRayQuads();
    RayVertex band[RayVerticesPerGroup];
    for (double phi : {0.0, 0.7, 2.5, 11.0}) {
        const Vec3 light = UncleLightPoint(phi);
        for (int g = 0; g < 20; ++g) {
            BuildRayGroup(&RayQuads[4 * g], light, band);
            for (int k = 0; k < 4; ++k) {
                const RayVertex* t = band + 6 * k;
                EXPECT_EQ(t[0].diffuse, 0xEEEEEEEEu);
                EXPECT_EQ(t[1].diffuse, 0xEEEEEEEEu);
                EXPECT_EQ(t[2].diffuse, 0u);
                EXPECT_NEAR(Distance({t[2].x, t[2].y, t[2].z}, {0, 0, 0}), 10.0f, 1e-5f);
                EXPECT_NEAR(Distance({t[4].x, t[4].y, t[4].z}, {0, 0, 0}), 10.0f, 1e-5f);
                EXPECT_EQ(0, std::memcmp(&t[3], &t[2], sizeof(RayVertex)));  // (V2, V3, V0)
                EXPECT_EQ(0, std::memcmp(&t[5], &t[0], sizeof(RayVertex)));
                EXPECT_EQ(t[0].x, RayQuads[4 * g + k].x);
                EXPECT_EQ(t[1].x, RayQuads[4 * g + (k + 1) % 4].x);
            }
        }
    }
}

TEST(Uncle, WorldMatrixAndLightPoint)
{
    Matrix4 m;
    UncleWorldMatrix(m, 0.0, 0.0f, 0.0f, 30.0f);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            float expected = r == c ? 3.5f : 0.0f;
            if (r == 3 && c == 3) expected = 1.0f;
            if (r == 3 && c == 2) expected = 30.0f;
            EXPECT_FLOAT_EQ(m(r, c), expected) << r << "," << c;
        }
    const Vec3 p = UncleLightPoint(0.0);
    EXPECT_EQ(p.x, 0.0f);
    EXPECT_EQ(p.y, 0.0f);
    EXPECT_FLOAT_EQ(p.z, 0.3f);
}

TEST(Clock, SurvivesTheMillisecondWrapAndNeverGoesBack)
{
    WidenedClock clock;  // the test's own: no other test's readings move it
    EXPECT_EQ(WidenMilliseconds(clock, 0xFFFFFF00u), 0xFFFFFF00u);  // the first reading is the start
    EXPECT_EQ(WidenMilliseconds(clock, 0xFFFFFFF0u), 0xFFFFFFF0u);
    EXPECT_EQ(WidenMilliseconds(clock, 0x00000010u), 0x100000010u);  // after 49.7 days
    EXPECT_EQ(WidenMilliseconds(clock, 0x00000008u), 0x100000010u);  // an older reading
    EXPECT_EQ(WidenMilliseconds(clock, 0x00000020u), 0x100000020u);
}

}  // namespace
