// Runs under Wine on the virtual display: the windowed device made as the game makes it and
// the texture's levels read back; then the game's screens drawn with the recording stand-ins
// on a 541x301 screen, full screen with the retrace wait, the clock at 1000 units and 1.3125
// on at each present. Expected values are worked by hand from the game's rules; at 1000
// units the motion angle is 0.7 (a 32-bit float) x 1000 = 699.99999: sin 0.54398, cos -0.83910.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <vector>

#include "content/scene.h"
#include "content/texture_image.h"
#include "content/texture_script.h"
#include "core/clock.h"
#include "core/random.h"
#include "game/game.h"
#include "game/shared_state.h"
#include "game/startup.h"
#include "game/uncle.h"
#include "recording.h"
#include "win/setup.h"
#include "win/texture_upload.h"

namespace {

TEST(Display, WindowedDeviceHasTheClientSizeAndAZBuffer)
{
    OpenDisplay();
    ASSERT_NE(ZBuffer, nullptr);
    RECT client;
    GetClientRect(MainWindow, &client);
    EXPECT_EQ(std::vector<uint32_t>({ScreenWidth, ScreenHeight, BackBufferDesc.dwWidth, BackBufferDesc.dwHeight}),
              std::vector<uint32_t>({uint32_t(client.right), uint32_t(client.bottom), ScreenWidth, ScreenHeight}));
}

// Each level the one above halved, in the display mode's pixel format.
void ExpectChainMatches(IDirectDrawSurface7* level, int bits)
{
    uint32_t* image = WorkingImageFromUploadSlot();
    for (int32_t i = 0, size = 256; i < 8; ++i, size /= 2) {
        DDSURFACEDESC2 desc = {};
        desc.dwSize = sizeof desc;
        ASSERT_EQ(level->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_READONLY, nullptr), DD_OK) << "level " << i;
        ASSERT_EQ(desc.dwWidth, DWORD(size)) << "level " << i;
        for (int32_t p = 0; p < size * size; ++p) {
            const uint8_t* row = static_cast<const uint8_t*>(desc.lpSurface) + desc.lPitch * (p / size);
            const uint32_t read = bits == 32 ? reinterpret_cast<const uint32_t*>(row)[p % size]
                                             : reinterpret_cast<const uint16_t*>(row)[p % size];
            ASSERT_EQ(read, bits == 32 ? image[p] : PackRgb565(image[p])) << bits << " bits, level " << i << ", pixel " << p;
        }
        level->Unlock(nullptr);
        uint32_t* half = HalveImage(image, size, size);
        FreeImage(image);
        image = half;
        DDSCAPS2 caps = {DDSCAPS_TEXTURE | DDSCAPS_MIPMAP, 0, 0, {0}};
        if (i < 7)
            ASSERT_EQ(level->GetAttachedSurface(&caps, &level), DD_OK) << "level " << i + 1;
    }
    FreeImage(image);
}

// In both pixel formats the game may run with: X8R8G8B8 and R5G6B5.
TEST(Display, TextureLevelsAreTheHalvedImages)
{
    OpenDisplay();
    RunTextureScript();
    const DWORD formats[2][4] = {{32, 0xFF0000, 0xFF00, 0xFF}, {16, 0xF800, 0x7E0, 0x1F}};
    for (const DWORD* f : formats) {
        ChosenMode.ddpfPixelFormat = {sizeof(DDPIXELFORMAT), DDPF_RGB, 0, {f[0]}, {f[1]}, {f[2]}, {f[3]}, {0}};
        UploadTextures();
        ASSERT_NE(TextureSurfaces[0], nullptr) << f[0] << " bits";
        ExpectChainMatches(TextureSurfaces[0], int(f[0]));
    }
}

// --- The game's screens ---

using Lines = std::vector<std::string>;
int Count(const Lines& log, const std::string& line) { return int(std::count(log.begin(), log.end(), line)); }
// Up to n lines from the first that equals `first`.
Lines From(const Lines& log, const std::string& first, size_t n)
{
    const auto at = std::find(log.begin(), log.end(), first);
    return Lines(at, at + std::min(std::ptrdiff_t(n), log.end() - at));
}

const char* const Overlay[2] = {"Text 20 20 ffffff Watch out for Fat uncle Bob.. But please.. kill the evil cousins!",
                                "Text 20 40 ffffff Btw.. You need 200 to stay alive"};

class Game : public ::testing::Test {
protected:
    std::optional<Recording> r;
    void SetUp() override
    {
        // The targets and the uncle, made once on the real device before the stand-ins replace it.
        static const bool built =
            (OpenDisplay(), InitScene(&TargetScene, 20, 2), BuildTargets(), BuildUncle(), UploadUncle(), true);
        ResetTargets();
        RandomSeed(1);
        r.emplace(2000000, 2625);
        ScreenWidth = 541;
        ScreenHeight = 301;
        Windowed = 0;
        WaitRetrace = 1;
        StartGame();
    }
    Lines Frame() { r->log.clear(); GameFrame(); return r->log; }
};

// The title from 1000 to 1002.625 units, the briefing from 1003.9375 to 1014.4375.
TEST_F(Game, IntroScreensDrawTheUncleAndTheirLines)
{
    const float start = float(ReadClock());
    ASSERT_TRUE(RunIntroScreen(start, 3.0, TitleLines, 6));
    const Lines frame = {
        "Clear 0 3 00000000 1 0", "BeginScene", "DrawPrimitiveVB 4 0 2304 0", "DrawPrimitive 4 1e2 24 0 x20",  // uncle, rays
        "EndScene", "Text 10 20 ffffff Korvastil Brumsovert", "Text 10 60 aaaaaa A game in 26 kilobytes by:",
        "Text 10 100 aaaaaa Vexaroon", "Text 20 140 ffffff + pimbo / trask", "Text 20 180 ffffff code: velk & ostrun",
        "Text 20 220 aaaaaa music: pimbo", "Flip of primary: null 1"};
    EXPECT_EQ(From(r->log, frame[0], 12), frame);
    EXPECT_EQ(r->log.size(), 3 * frame.size());  // three such frames
    EXPECT_TRUE(RunIntroScreen(start, 15.0, BriefingLines, 9));
    EXPECT_EQ(Count(r->log, "Flip of primary: null 1"), 3 + 9);
}

// The run started 12.3125 units ago (246.25 drained). At 1000 units the boxes of targets 4
// and 11 both hold (345, 89): (342, 82) and (357, 100), half-sizes 30 and 16; at 1002.625
// target 4's box holds (10, 20); at 1005.25 the uncle's aim box is centred on (255.9, 165.5).
TEST_F(Game, FramesDrawSceneCrosshairOverlayScrollersAndShots)
{
    runStart = 987.6875;
    MouseX = 345;
    MouseY = 89;
    EXPECT_EQ(Frame(), (Lines{
        "Clear 0 3 00000000 1 0", "BeginScene", "DrawPrimitiveVB 4 0 2304 0", "DrawPrimitive 4 1e2 24 0 x20",
        "SetLight 0 1 0.5 0.5 0.5 at 1.088 -0.544 -1.678",      // (2d, -d, 2 cos)
        "SetLight 1 1 0.5 0.5 0.5 at -10.880 -0.544 -16.782",   // (-20d, -d, 20 cos)
        "DrawPrimitiveVB 4 0 576 0 x20", "Text 340 79 ff00ff X", "EndScene", Overlay[0], Overlay[1],
        "Text 20 60 ffffff Score: 1753    Level: 1",                   // trunc(2000 - 246.25)
        "Text 540 281 bbbbbb <credits>",                              // W - 1, H - 20
        "Text 538 60 bbbbbb <verse>", "Text 538 50 ffffff <verse>",  // trunc(541 - 2.1); 150.5 - 90, - 100
        "Text 537 90 bbbbbb <verse>", "Text 537 80 ffffff <verse>",  // trunc(541 - 3.5); 150.5 - 60, - 70
        "Flip of primary: null 1"}));

    // The first line after the uncle's rays, the overlay's score and the score after the frame.
    const struct { int fire, x, y; const char *inScene, *score; int32_t after; } frames[] = {
        {1, 345, 89, "Text 40 40 ff00ff Bang!! x2", "Score: 1527", 5800},  // 1800 - 272.5; + 4000 after
        {0, 345, 89, "SetLight 0 1 0.5 0.5 0.5", "Score: 5501", 5800},     // 5800 - 298.75
        {1, 10, 20, "SetLight 0 1 0.5 0.5 0.5", "Score: 5275", 5600},      // already hit: nothing
        {1, 256, 165, "SetLight 0 1 0.4 0.4 0.4", "Score: 5048", 5400},    // the uncle: lights x 0.8
    };
    for (const auto& f : frames) {
        FireFlag = f.fire;
        MouseX = f.x;
        MouseY = f.y;
        const Lines log = Frame();
        EXPECT_EQ(log.at(4).rfind(f.inScene, 0), 0u) << log.at(4);
        EXPECT_EQ(Count(log, std::string("Text 20 60 ffffff ") + f.score + "    Level: 1"), 1) << f.score;
        EXPECT_EQ(Score, f.after) << f.score;
    }
}

// The last two targets hit at 1001.3125 units: white passes at t = 0, 1.3125, 2.625 and
// 3.9375 units with that frame's score, the next level and seven banners at u = trunc(500 t)
// and v = trunc(541 - 500 t). Then level 2, and at 1009.1875 units death with 199 shown.
TEST_F(Game, InterludeNextLevelDeathAndRestart)
{
    MouseX = 345;
    MouseY = 89;
    Frame();
    for (int i = 0; i < 20; ++i)
        TargetScene.objects[i]->hit = i != 4 && i != 11;
    FireFlag = 1;
    QuitFlag = 1;  // seen only after the interlude
    r->log.clear();
    EXPECT_FALSE(GameFrame());
    const char* const banners[4][7] = {
        {"0 170", "-50 110", "60 70", "1082 190", "2164 130", "541 90", "551 50"},               // u 0, v 541
        {"1312 170", "606 110", "716 70", "-230 190", "-460 130", "-115 90", "-105 50"},         // 656, -115
        {"2624 170", "1262 110", "1372 70", "-1542 190", "-3084 130", "-771 90", "-761 50"},     // 1312, -771
        {"3936 170", "1918 110", "2028 70", "-2854 190", "-5708 130", "-1427 90", "-1417 50"}};  // 1968, -1427
    Lines expected;
    for (const auto& pass : banners) {
        expected.insert(expected.end(), {"Clear 0 1 00ffffff 1 0", "BeginScene", "EndScene",
                                         "Text 270 150 000000 Your score is 1773 and next level is: 2!"});
        for (const char* at : pass)
            expected.push_back(std::string("Text ") + at + " 000000 QUIBEL: ALL YOUR DEZINCUBES ARE BELONG TO US");
        expected.push_back("Flip of primary: null 1");
    }
    expected.insert(expected.end(), {"Text 340 79 ff00ff X", "EndScene", Overlay[0], Overlay[1],
                                     "Text 20 60 ffffff Score: 1773    Level: 2"});
    EXPECT_EQ(From(r->log, expected[0], expected.size()), expected);
    EXPECT_EQ(Score, 1800 + 2 * 2000 + 2000);

    QuitFlag = 0;
    FireFlag = 0;
    const Lines next = Frame();  // the interlude was drained too: 7800 - 20 x 7.875
    EXPECT_EQ(Count(next, "Text 20 60 ffffff Score: 7642    Level: 2"), 1);
    EXPECT_EQ(Count(next, "DrawPrimitiveVB 4 0 576 0 x20"), 1);  // every target whole again

    Score = 383;  // trunc(383 - 20 x 9.1875) = 199, below 200; passes at 0, 1.3125 and 2.625 units
    const Lines death = Frame();
    expected = {"Text 20 60 ffffff Score: 199    Level: 2"};
    for (int pass = 0; pass < 3; ++pass)
        expected.insert(expected.end(), {"Clear 0 1 00ffffff 1 0", "BeginScene", "EndScene",
                                         "Text -29 150 000000 The cubes ate your fps alive at stage: 2 with less "
                                         "than 200 in score;)",  // trunc(270.5 - 300), trunc(150.5)
                                         "Flip of primary: null 1"});
    expected.insert(expected.end(), {"Text 540 281 bbbbbb <credits>",  // back at W, then a step
                                     "Text 525 60 bbbbbb <verse>", "Text 525 50 ffffff <verse>",  // 541, 538, 535, 530
                                     "Text 519 90 bbbbbb <verse>", "Text 519 80 ffffff <verse>",  // 537, 533, 526
                                     "Flip of primary: null 1"});
    EXPECT_EQ(From(death, expected[0], death.size()), expected);
    const Lines restart = Frame();  // level 1 with 3000, drained again from the screen's end
    EXPECT_EQ(Count(restart, "Text 20 60 ffffff Score: 2973    Level: 1"), 1);
    EXPECT_EQ(Count(restart, "Text 522 50 ffffff <verse>"), 1);  // the verse kept its place
}

// Full screen flips, waiting for the retrace or not; a window waits for it if asked, then
// copies the back buffer onto its client area, cut to the 640x480 screen.
TEST_F(Game, PresentFlipsOrCopiesToTheWindow)
{
    MainWindow = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 320, 240, nullptr, nullptr, nullptr, nullptr);
    PrimaryBounds = {0, 0, 640, 480};
    const char* const copy = "Blt to primary 37 51 357 291 from back 0 0 320 240: 1000000";  // DDBLT_WAIT
    const struct { uint8_t windowed, retrace; int x, y; Lines expected; } rows[] = {
        {0, 1, 0, 0, {"Flip of primary: null 1"}},  // DDFLIP_WAIT
        {0, 0, 0, 0, {"Flip of primary: null 9"}},  // DDFLIP_WAIT | DDFLIP_NOVSYNC
        {1, 1, 37, 51, {"WaitForVerticalBlank 1", copy}},
        {1, 0, 37, 51, {copy}},
        {1, 0, -10, 300, {"Blt to primary 0 300 310 480 from back 10 0 320 180: 1000000"}},
    };
    for (const auto& row : rows) {
        Windowed = row.windowed;
        WaitRetrace = row.retrace;
        MoveWindow(MainWindow, row.x, row.y, 320, 240, FALSE);
        r->log.clear();
        PresentFrame();
        EXPECT_EQ(r->log, row.expected) << int(row.windowed) << int(row.retrace) << " " << row.x;
    }
    DestroyWindow(MainWindow);
}

// Every target exploding and crumbling, the uncle, the texts: no frame takes heap memory.
TEST_F(Game, FramesAllocateNothing)
{
    for (int i = 0; i < 20; ++i)
        TargetScene.objects[i]->hit = 1;
    r->allocations = 0;
    void* volatile probe = std::malloc(16);  // the counter counts
    std::free(probe);
    ASSERT_EQ(r->allocations, 1);
    for (int frame = 0; frame < 60; ++frame)
        GameFrame();
    EXPECT_EQ(r->allocations, 1);
    EXPECT_LT(TargetScene.objects[0]->vertexCount, 576);  // the frames did explode the targets
}

// The game thread, made by CreateThread, draws its crumbling from its own random state,
// which starts at 1, and leaves the creating thread's sequence as it was.
TEST(GameThread, RandomStateStartsAtOne)
{
    RandomSeed(1234);
    int32_t drawn = 0;
    HANDLE thread = CreateThread(nullptr, 0, [](void* out) -> DWORD { return *static_cast<int32_t*>(out) = RandomNext(), 0; },
                                 &drawn, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(drawn, 41);  // (1 x 214013 + 2531011) >> 16 & 0x7FFF
    const int32_t next = RandomNext();
    RandomSeed(1234);
    EXPECT_EQ(next, RandomNext());
}

}  // namespace
