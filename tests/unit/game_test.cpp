// The game's rules, the uncle's geometry and the clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/clock.h"
#include "core/random.h"
#include "game/rules.h"
#include "game/shared_state.h"
#include "game/uncle.h"

typedef std::vector<int32_t> Ints;
static const double Pi = 3.14159265358979323846;

static void ExpectNear(const float* got, const float* expected, int n, float tolerance, int row)
{
    for (int k = 0; k < n; ++k)
        EXPECT_NEAR(got[k], expected[k], tolerance) << "row " << row << ", value " << k;
}

TEST(Rules, ScoreDrainCapFiringCostAndScrollers)
{
    // 20 a unit, truncated toward zero (1999.2, -500.8); doing nothing, alive for 90 units.
    EXPECT_EQ((Ints{ShownScore(2000, 1.0f), ShownScore(2000, 0.04f), ShownScore(-500, 0.04f),
                    ShownScore(2000, 90.0f), ShownScore(2000, 90.01f)}), (Ints{1980, 1999, -500, 200, 199}));
    Ints scores;  // the cap, then the cost; no lower bound
    for (const Ints& f : {Ints{70000, 0}, {70000, 1}, {100, 1}}) {
        Score = f[0];
        CapAndChargeFiring(f[1] != 0);
        scores.push_back(Score);
    }
    EXPECT_EQ(scores, (Ints{64500, 64300, -100}));
    Score = -1000000000;  // below the cap; presses on one thread, charges and rewards on another
    std::thread presses([] { for (int i = 0; i < 200000; ++i) PressFire(1, 2); });
    for (int i = 0; i < 100000; ++i, AwardPoints(HitReward))
        CapAndChargeFiring(true);
    presses.join();
    EXPECT_EQ(Score, -1000000000 - 20000000 + 180000000);  // none lost
    // Credits: a pixel a frame, back at the right edge once wholly past the left (2015 * 7 wide);
    // the verse by trunc(x - step) (level 1: 3 * 0.7), 223 * 7 wide; both printable ASCII.
    EXPECT_EQ((Ints{StepCredits(100, 640), StepCredits(-14105, 640), StepCredits(-14104, 640),
                    StepVerse(100, 2.1f, 640), StepVerse(-100, 2.1f, 640), StepVerse(-1560, 3.5f, 640),
                    StepVerse(-1559, 1.0f, 640)}), (Ints{99, 640, -14105, 97, -102, 640, -1560}));
    const std::string credits = CreditsText, verse = VerseText;
    EXPECT_EQ((Ints{int32_t(credits.size()), int32_t(verse.size())}), (Ints{2015, 223}));
    for (const std::string& text : {credits, verse})
        EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char c) { return c >= 32 && c < 127; })) << text;
}

TEST(Rules, AimBoxesOfTheUncleAndTheTargets)
{
    // The uncle, s = 0 on 640x480: centred on (320, 240.33), |trunc(d)| < 40. s = 10: on
    // (640 * 10 / 20 + 320, (10 - 6400) / 20 + 240) = (640, -79.5), not where it is drawn.
    const struct { int32_t x, y; float s; bool aimed; } uncle[] = {
        {359, 240, 0, true}, {360, 240, 0, false}, {281, 240, 0, true}, {280, 240, 0, false}, {640, -79, 10, true},
        {320, 280, 0, true}, {320, 281, 0, false}, {320, 201, 0, true}, {320, 200, 0, false}, {640, 27, 10, false},
    };
    for (const auto& c : uncle)
        EXPECT_EQ(UncleAimed(c.x, c.y, c.s, 640, 480), c.aimed) << c.x << "," << c.y << " s " << c.s;
    // A target's box at (-10, 20) of half-size 5: inside exactly the half-size away.
    EXPECT_TRUE(InsideBox(-15, 25, -10, 20, 5) && InsideBox(-5, 15, -10, 20, 5));
    EXPECT_FALSE(InsideBox(-16, 20, -10, 20, 5) || InsideBox(-4, 20, -10, 20, 5) ||
                 InsideBox(-10, 14, -10, 20, 5) || InsideBox(-10, 26, -10, 20, 5));
}

TEST(Rules, TargetsSwingTurnAndProject)
{
    // On 640x480 at depth 20i + 100. Target 1 at theta = 5 pi - 2: x = 20 - 200 sin(5 pi - 1) =
    // 20 - 200 sin 1 = -148.294, y = sin(5 pi - 2) + 50 sin(0.1 (2 + theta)) = sin 2 + 50 =
    // 50.909; on screen 640 x / 120 + 320 = -470.90 and -640 y / 120 + 240 = -31.52: above and
    // left of the screen, truncated toward zero; half-size trunc(6400 / 120).
    const struct { int32_t i; double theta; float at[3]; Ints screen; } poses[] = {
        {0, 0.0, {0, 0, 0}, {320, 240, 64}},  // at the origin
        {1, 5 * Pi - 2, {-148.29419f, 50.909297f, 20}, {-470, -31, 53}},
    };
    for (const auto& p : poses) {
        const TargetPose pose = PlaceTarget(p.i, p.theta, 10.0f, 640, 480);
        ExpectNear(&pose.world.m[12], p.at, 3, 1e-4f, p.i);
        EXPECT_EQ((Ints{pose.screenX, pose.screenY, pose.screenRadius}), p.screen);
    }
    EXPECT_EQ(PlaceTarget(19, 0.0, 10.0f, 640, 480).screenRadius, 13);  // trunc(6400 / 480)
    // Target 1 at theta = pi - 1 turns by (b, a, a) = (pi - 2, pi, pi): the half turns about z
    // and y keep the x axis and reverse y and z; then the turn by pi - 2 about x makes rows 1
    // and 2 (0, -cos(pi - 2), -sin(pi - 2)) = (0, cos 2, -sin 2) and (0, sin 2, cos 2).
    const float c2 = -0.41614684f, s2 = 0.90929743f, rows[9] = {1, 0, 0, 0, c2, -s2, 0, s2, c2};
    const TargetPose turned = PlaceTarget(1, Pi - 1, 10.0f, 640, 480);
    for (int r = 0; r < 3; ++r)
        ExpectNear(turned.world.m + 4 * r, rows + 3 * r, 3, 1e-6f, r);
}

TEST(Rules, ExplosionAndCrumbling)
{
    const MeshVertex src[3] = {{2, 0, 0, 0.1f, 0.2f, 0.3f, 0.4f, 0.5f}, {0, -3, 4}, {}};  // the last at the centre
    MeshVertex dst[3];
    ExplodeVertices(dst, src, 3, 0, 0, 0, 8.0f);
    // Distance 2: 8 / 2 outwards, normal, u, v kept; distance 5: 8 / 5 along (0, -0.6, 0.8);
    // the centre has no direction and stays.
    const MeshVertex moved[3] = {{6, 0, 0, 0.1f, 0.2f, 0.3f, 0.4f, 0.5f}, {0, -3.96f, 5.28f}, {}};
    for (int i = 0; i < 3; ++i)
        ExpectNear(&dst[i].x, &moved[i].x, 8, 1e-6f, i);
    std::vector<MeshVertex> vertices(576), exploded(576);
    for (int i = 0; i < 576; ++i) exploded[i].x = float(-i);
    for (int r : {90, 91}) {  // r <= 90: all move; above, the even ones below n / 2 move
        for (int i = 0; i < 576; ++i) vertices[i].x = float(i);
        EXPECT_EQ(SettleDebris(vertices.data(), exploded.data(), 576, r), r == 90 ? 576 : 288);
        for (int i : {0, 2, 3, 286, 288, 575})
            EXPECT_EQ(vertices[i].x, float(r == 90 || (i % 2 == 0 && i < 288) ? -i : i)) << r << " " << i;
    }
    Ints counts = {288};
    for (int k = 0; k < 10; ++k)
        counts.push_back(SettleDebris(vertices.data(), exploded.data(), counts.back(), 99));
    EXPECT_EQ(counts, (Ints{288, 144, 72, 36, 18, 9, 4, 2, 1, 0, 0}));
}

TEST(Uncle, RayQuadsAndBands)
{
    // Seed 1 draws 41, 18467, 6334: group 0's square turns by 2 pi 41 / 32767 = 0.00786 about z,
    // then 2 pi 18467 / 32767 = 3.54111 about y, then 1.21457 about x; so corner 0, (0.03, 0, 1) /
    // sqrt(1.0009), and the centre, to (sin 3.5411, -cos 3.5411 sin 1.2146, cos 3.5411 cos 1.2146)
    // = (-0.3887, 0.8636, -0.3211). Group 1's corner 0 turns by the next, 26500, 19169, 15724.
    const float corners[5][3] = {{-0.4164241f, 0.8521733f, -0.3168462f}, {-0.3885828f, 0.8735657f, -0.2930637f},
                                 {-0.3611758f, 0.8738717f, -0.3254234f}, {-0.3890171f, 0.8524793f, -0.3492058f},
                                 {-0.5181740f, 0.1355575f, 0.8444642f}};
    RandomSeed(1);
    LightPoint = {1, 2, 3};
    BuildRayQuads();
    for (int k = 0; k < 5; ++k)
        ExpectNear(&RayQuads[k].x, corners[k], 3, 1e-6f, k);
    EXPECT_TRUE(LightPoint.x == 0 && LightPoint.y == 0 && LightPoint.z == 0);
    // Bands: a square on the unit sphere, the light at (0, 0, 0.35), each corner 0.75 from it at (+-0.6, 0, 0.45)
    // or (0, +-0.6, 0.45): the ends 10 / 0.75 times that, (+-8, 0, 6), (0, +-8, 6) ((+-6, 0, 8) from the centre).
    // Edge k: (V0, V1, V2), (V2, V3, V0); corners k, k + 1 bright, the ends beyond k + 1, k black.
    const Vec3 square[4] = {{0.6f, 0, 0.8f}, {0, 0.6f, 0.8f}, {-0.6f, 0, 0.8f}, {0, -0.6f, 0.8f}};
    const float ends[4][3] = {{8, 0, 6}, {0, 8, 6}, {-8, 0, 6}, {0, -8, 6}};
    RayVertex band[RayVerticesPerGroup];
    BuildRayGroup(square, {0, 0, 0.35f}, band);
    for (int k = 0; k < 4; ++k) {
        const int n = (k + 1) % 4;
        const float* expected[6] = {&square[k].x, &square[n].x, ends[n], ends[n], ends[k], &square[k].x};
        for (int j = 0; j < 6; ++j) {
            const RayVertex& v = band[6 * k + j];
            ExpectNear(&v.x, expected[j], 3, 1e-5f, 6 * k + j);
            EXPECT_TRUE(v.diffuse == (j < 2 || j == 5 ? 0xEEEEEEEEu : 0u) && v.reserved == 0 && v.specular == 0 &&
                        v.tu == 0 && v.tv == 0) << 6 * k + j;
        }
    }
}

TEST(Clock, SurvivesTheMillisecondWrapAndNeverGoesBack)
{
    WidenedClock clock;  // the first reading is the start; then past the wrap (after 49.7 days),
    std::vector<uint64_t> widened;  // an older reading, a newer one
    for (uint32_t reading : {0xFFFFFF00u, 0xFFFFFFF0u, 0x00000010u, 0x00000008u, 0x00000020u})
        widened.push_back(WidenMilliseconds(clock, reading));
    EXPECT_EQ(widened, (std::vector<uint64_t>{0xFFFFFF00u, 0xFFFFFFF0u, 0x100000010u, 0x100000010u, 0x100000020u}));
}
