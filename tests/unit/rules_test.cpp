#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "game/rules.h"

namespace {

TEST(Rules, ScoreDrainsTwentyAUnit)
{
    EXPECT_EQ(ShownScore(2000, 0.0f), 2000);
    EXPECT_EQ(ShownScore(2000, 1.0f), 1980);
    EXPECT_EQ(ShownScore(2000, 0.04f), 1999);  // truncated toward zero
    EXPECT_EQ(ShownScore(2000, 90.0f), 200);   // doing nothing: alive until 90 units
    EXPECT_LT(ShownScore(2000, 90.01f), SurvivalScore);
    EXPECT_EQ(ShownScore(-500, 1.0f), -520);
}

TEST(Rules, TheUnclesAimBoxIsStrictAndOffset)
{
    // s = 0 on 640x480: the box is centred on (320, 240.33).
    EXPECT_TRUE(UncleAimed(320, 240, 0.0f, 640, 480));
    EXPECT_TRUE(UncleAimed(359, 240, 0.0f, 640, 480));
    EXPECT_FALSE(UncleAimed(360, 240, 0.0f, 640, 480));  // |40| is not below 40
    EXPECT_TRUE(UncleAimed(281, 240, 0.0f, 640, 480));   // trunc(-39) 
    EXPECT_FALSE(UncleAimed(280, 240, 0.0f, 640, 480));
    EXPECT_TRUE(UncleAimed(320, 280, 0.0f, 640, 480));   // trunc(39.67)
    EXPECT_FALSE(UncleAimed(320, 281, 0.0f, 640, 480));
    EXPECT_TRUE(UncleAimed(320, 201, 0.0f, 640, 480));   // trunc(-39.33)
    EXPECT_FALSE(UncleAimed(320, 200, 0.0f, 640, 480));
    // s = 10: x centre 640 * 10 / 20 + 320 = 640; y centre (10 - 6400) / 20 + 240 = -79.5,
    // not where the uncle is drawn (its centre projects to y = 240 - 640 * 10 / 30).
    EXPECT_TRUE(UncleAimed(640, -79, 10.0f, 640, 480));
    EXPECT_FALSE(UncleAimed(640, 27, 10.0f, 640, 480));
}

TEST(Rules, TargetsSwingAndProjectTheirBoxes)
{
    const TargetPose first = PlaceTarget(0, 0.0, 10.0f, 640, 480);
    EXPECT_EQ(first.screenRadius, 64);  // W / 10 at depth 100
    EXPECT_EQ(first.screenX, 320);
    EXPECT_EQ(first.screenY, 240);
    EXPECT_EQ(first.world(3, 2), 0.0f);
    const TargetPose last = PlaceTarget(19, 0.0, 10.0f, 640, 480);
    EXPECT_EQ(last.screenRadius, 13);  // trunc(640 * 10 / 480)
    EXPECT_EQ(last.world(3, 2), 380.0f);

    const double theta = 1.3;
    for (int i = 0; i < 20; ++i) {
        const TargetPose p = PlaceTarget(i, theta, 10.0f, 800, 600);
        const double x = 20.0 * i - 200.0 * std::sin(theta + i);
        const double y = std::sin(theta) + 50.0 * std::sin(0.1 * i * (2.0 * i + theta));
        EXPECT_NEAR(p.world(3, 0), x, 1e-3) << i;
        EXPECT_NEAR(p.world(3, 1), y, 1e-3) << i;
        const double depth = 20.0 * i + 100.0;
        EXPECT_NEAR(p.screenX, 800 * x / depth + 400, 1.0) << i;
        EXPECT_NEAR(p.screenY, -800 * y / depth + 300, 1.0) << i;
        // The world rows are a rotation: unit length.
        for (int r = 0; r < 3; ++r)
            EXPECT_NEAR(std::hypot(std::hypot(p.world(r, 0), p.world(r, 1)), p.world(r, 2)), 1.0, 1e-6);
    }
    EXPECT_TRUE(InsideBox(364, 176, 300, 240, 64));   // exactly the half-size away: inside
    EXPECT_FALSE(InsideBox(365, 240, 300, 240, 64));
    EXPECT_FALSE(InsideBox(300, 175, 300, 240, 64));
}

TEST(Rules, ExplosionAndCrumbling)
{
    std::vector<MeshVertex> src = {{2, 0, 0, 0.1f, 0.2f, 0.3f, 0.4f, 0.5f},
                                   {0, -3, 4, 0, 0, 0, 0, 0},
                                   {0, 0, 0, 0, 0, 0, 0, 0}};  // at the centre
    std::vector<MeshVertex> dst(3);
    ExplodeVertices(dst.data(), src.data(), 3, 0, 0, 0, 0.0f);
    EXPECT_EQ(0, std::memcmp(dst.data(), src.data(), 3 * sizeof(MeshVertex)));  // k = 0: unchanged
    ExplodeVertices(dst.data(), src.data(), 3, 0, 0, 0, 8.0f);
    EXPECT_FLOAT_EQ(dst[0].x, 6.0f);  // distance 2, k 8: 4 outwards
    EXPECT_EQ(dst[0].nx, 0.1f);
    EXPECT_EQ(dst[0].v, 0.5f);
    EXPECT_FLOAT_EQ(dst[1].y, -3.0f - 8.0f / 5.0f * 0.6f);  // distance 5: 8/5 along the line
    EXPECT_FLOAT_EQ(dst[1].z, 4.0f + 8.0f / 5.0f * 0.8f);
    EXPECT_EQ(dst[2].x, 0.0f);  // no direction: stays
    EXPECT_FALSE(std::isnan(dst[2].y));
    ExplodeVertices(dst.data(), src.data(), 1, 1.0f, 0, 0, 2.0f);  // around another centre
    EXPECT_FLOAT_EQ(dst[0].x, 4.0f);

    std::vector<MeshVertex> vertices(576), exploded(576);
    for (int i = 0; i < 576; ++i) {
        vertices[i].x = float(i);
        exploded[i].x = float(-i);
    }
    EXPECT_EQ(SettleDebris(vertices.data(), exploded.data(), 576, 90), 576);  // 91 in 100: all move
    EXPECT_EQ(vertices[575].x, -575.0f);
    for (int i = 0; i < 576; ++i) vertices[i].x = float(i);
    int32_t count = SettleDebris(vertices.data(), exploded.data(), 576, 91);
    EXPECT_EQ(count, 288);
    EXPECT_EQ(vertices[0].x, 0.0f);
    EXPECT_EQ(vertices[2].x, -2.0f);   // even ones below n / 2 taken
    EXPECT_EQ(vertices[3].x, 3.0f);    // odd ones left as they were
    EXPECT_EQ(vertices[286].x, -286.0f);
    EXPECT_EQ(vertices[288].x, 288.0f);
    const int32_t counts[10] = {144, 72, 36, 18, 9, 4, 2, 1, 0, 0};
    for (int32_t expected : counts) {
        count = SettleDebris(vertices.data(), exploded.data(), count, 99);
        EXPECT_EQ(count, expected);
    }
}

TEST(Rules, ScrollersAndTheirTexts)
{
    EXPECT_EQ(StepCredits(100, 640), 99);
    EXPECT_EQ(StepCredits(-14105, 640), 640);  // wholly past the left edge
    EXPECT_EQ(StepCredits(-14104, 640), -14105);
    // Level 1: 3 * 0.7 = 2.1 a frame, truncated toward zero.
    EXPECT_EQ(StepVerse(100, 3.0f * 0.7f, 640), 97);
    EXPECT_EQ(StepVerse(-100, 3.0f * 0.7f, 640), -102);
    EXPECT_EQ(StepVerse(-1560, 3.5f, 640), 640);
    EXPECT_EQ(StepVerse(-1559, 1.0f, 640), -1560);

    EXPECT_EQ(std::strlen(CreditsText), size_t(CreditsLength));
    EXPECT_EQ(std::strlen(VerseText), size_t(VerseLength));
    for (const char* text : {CreditsText, VerseText})
        for (const char* c = text; *c; ++c)
            ASSERT_TRUE(*c >= 32 && *c < 127) << "not printable ASCII: " << int(*c);
}

}  // namespace

#include <thread>

#include "app/shared_state.h"

namespace {

TEST(Rules, CapFiringCostAndNoLostChange)
{
    Score = 70000;
    CapAndChargeFiring(false);
    EXPECT_EQ(Score, ScoreCap);
    Score = 70000;
    CapAndChargeFiring(true);  // the cap first, then the cost
    EXPECT_EQ(Score, ScoreCap - FiringCost);
    Score = 100;
    CapAndChargeFiring(true);
    EXPECT_EQ(Score, -100);  // no lower bound

    // Presses on one thread, the game's charges and rewards on another: nothing lost.
    Score = -1000000000;
    std::thread presses([] {
        for (int i = 0; i < 200000; ++i)
            ChargePress();
    });
    for (int i = 0; i < 100000; ++i) {
        CapAndChargeFiring(true);
        AwardPoints(HitReward);
    }
    presses.join();
    EXPECT_EQ(Score, -1000000000 - 200000 * 100 + 100000 * (HitReward - FiringCost));
}

}  // namespace
