// Runs under Wine on the virtual display: a windowed device made as the game makes it,
// the texture's eight levels read back, and the drawing steps as recorded call
// sequences.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "allocation_counter.h"
#include "app/setup.h"
#include "app/shared_state.h"
#include "app/startup.h"
#include "content/scene.h"
#include "content/texture_image.h"
#include "content/texture_upload.h"
#include "game/game.h"
#include "game/rules.h"
#include "game/uncle.h"
#include "recording_device.h"
#include "render/display.h"
#include "render/random.h"

namespace {

IDirect3DDevice7* RealDevice = nullptr;

// The first hardware card, a window with a 320x240 client area, and the windowed display.
class Display : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (RealDevice)
            return;
        CardCount = 0;
        DirectDrawEnumerateExA(EnumerateDirectDrawDevice, nullptr, DDENUM_ATTACHEDSECONDARYDEVICES);
        ASSERT_GT(CardCount, 0u);
        SelectedCard = 0;
        const CardRecord& card = CardTable[0];
        for (uint32_t m = 0; m < card.modeCount; ++m)
            if (card.modes[m].ddpfPixelFormat.dwRGBBitCount == 32)
                ChosenMode = card.modes[m];
        Windowed = 1;
        StupidZbuffert = 0;
        WaitRetrace = 0;

        WNDCLASSEXA windowClass = {};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "display test";
        RegisterClassExA(&windowClass);
        RECT size = {0, 0, 320, 240};
        AdjustWindowRect(&size, WS_POPUP | WS_CAPTION, FALSE);
        MainWindow = CreateWindowExA(0, "display test", "Korvastil is mad", WS_POPUP | WS_CAPTION, 20, 30,
                                     size.right - size.left, size.bottom - size.top, nullptr,
                                     nullptr, windowClass.hInstance, nullptr);
        ShowWindow(MainWindow, SW_SHOW);
        CreateDisplayAndDevice();
        RealDevice = RenderDevice;
    }
};

TEST_F(Display, WindowedDeviceHasTheClientSize)
{
    RECT client;
    GetClientRect(MainWindow, &client);
    EXPECT_EQ(ScreenWidth, uint32_t(client.right));
    EXPECT_EQ(ScreenHeight, uint32_t(client.bottom));
    EXPECT_EQ(BackBufferDesc.dwWidth, ScreenWidth);
    EXPECT_EQ(BackBufferDesc.dwHeight, ScreenHeight);
    ASSERT_NE(RenderDevice, nullptr);
    ASSERT_NE(ZBuffer, nullptr);

    DDSURFACEDESC2 z;
    std::memset(&z, 0, sizeof z);
    z.dwSize = sizeof z;
    ZBuffer->GetSurfaceDesc(&z);
    EXPECT_EQ(z.ddpfPixelFormat.dwFlags, DWORD(DDPF_ZBUFFER));
    // Chosen by depth when the device offers a pure z format of the colour depth.
    std::vector<DDPIXELFORMAT> offered;
    Direct3D->EnumZBufferFormats(*CardTable[0].deviceGuidPointer,
                                 [](DDPIXELFORMAT* f, void* list) -> HRESULT {
                                     static_cast<std::vector<DDPIXELFORMAT>*>(list)->push_back(*f);
                                     return D3DENUMRET_OK;
                                 },
                                 &offered);
    bool matching = false;
    for (const DDPIXELFORMAT& f : offered)
        matching |= f.dwFlags == DDPF_ZBUFFER &&
                    f.dwZBufferBitDepth == BackBufferDesc.ddpfPixelFormat.dwRGBBitCount;
    if (matching)
        EXPECT_EQ(z.ddpfPixelFormat.dwZBufferBitDepth, BackBufferDesc.ddpfPixelFormat.dwRGBBitCount);
}

DDPIXELFORMAT ZFormat(DWORD flags, DWORD depth)
{
    DDPIXELFORMAT f;
    std::memset(&f, 0, sizeof f);
    f.dwSize = sizeof f;
    f.dwFlags = flags;
    f.dwZBufferBitDepth = depth;
    return f;
}

TEST_F(Display, ZBufferFormatByDepthOrTheFirst)
{
    DDPIXELFORMAT offered[4] = {ZFormat(DDPF_ZBUFFER, 16), ZFormat(DDPF_ZBUFFER | DDPF_STENCILBUFFER, 32),
                                ZFormat(DDPF_ZBUFFER, 32), ZFormat(DDPF_ZBUFFER, 24)};
    const DWORD colour = BackBufferDesc.ddpfPixelFormat.dwRGBBitCount;
    BackBufferDesc.ddpfPixelFormat.dwRGBBitCount = 32;
    auto choose = [&](int count) {
        DDPIXELFORMAT chosen = ZFormat(0, 0);
        for (int i = 0; i < count; ++i)
            if (ChooseZBufferFormat(&offered[i], &chosen) == D3DENUMRET_CANCEL)
                break;
        return chosen.dwZBufferBitDepth;
    };
    StupidZbuffert = 0;
    EXPECT_EQ(choose(4), 32u);  // the pure 32-bit one, not the one with stencil
    EXPECT_EQ(choose(2), 16u);  // no match: the last pure format seen
    StupidZbuffert = 1;
    EXPECT_EQ(choose(4), 16u);  // the first pure format
    StupidZbuffert = 0;
    BackBufferDesc.ddpfPixelFormat.dwRGBBitCount = colour;
}

// Reads a level back as 32-bit or 16-bit pixels.
std::vector<uint32_t> ReadLevel(IDirectDrawSurface7* level, DWORD* width)
{
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    std::vector<uint32_t> pixels;
    if (FAILED(level->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_READONLY, nullptr)))
        return pixels;
    *width = desc.dwWidth;
    const uint8_t* row = static_cast<const uint8_t*>(desc.lpSurface);
    for (DWORD y = 0; y < desc.dwHeight; ++y, row += desc.lPitch)
        for (DWORD x = 0; x < desc.dwWidth; ++x)
            pixels.push_back(desc.ddpfPixelFormat.dwRGBBitCount == 32
                                 ? reinterpret_cast<const uint32_t*>(row)[x]
                                 : reinterpret_cast<const uint16_t*>(row)[x]);
    level->Unlock(nullptr);
    return pixels;
}

void ExpectChainMatches(IDirectDrawSurface7* texture, int bits)
{
    uint32_t* image = WorkingImageFromUploadSlot();
    IDirectDrawSurface7* level = texture;
    int32_t size = 256;
    for (int i = 0; i < 8; ++i) {
        DWORD width = 0;
        const std::vector<uint32_t> read = ReadLevel(level, &width);
        ASSERT_EQ(width, DWORD(size)) << "level " << i;
        ASSERT_EQ(read.size(), size_t(size) * size_t(size)) << "level " << i;
        for (size_t p = 0; p < read.size(); ++p) {
            const uint32_t expected = bits == 32 ? image[p] : PackRgb565(image[p]);
            ASSERT_EQ(read[p], expected) << bits << " bits, level " << i << ", pixel " << p;
        }
        if (i == 7)
            break;
        uint32_t* half = HalveImage(image, size, size);
        FreeImage(image);
        image = half;
        size /= 2;
        DDSCAPS2 caps = {};
        caps.dwCaps = DDSCAPS_TEXTURE | DDSCAPS_MIPMAP;
        IDirectDrawSurface7* next = nullptr;
        ASSERT_EQ(level->GetAttachedSurface(&caps, &next), DD_OK) << "level " << i + 1;
        level = next;
    }
    FreeImage(image);
}

TEST_F(Display, TextureLevelsAreTheHalvedImages)
{
    RunTextureScript();
    UploadTextures();
    ASSERT_NE(TextureSurfaces[0], nullptr);
    ExpectChainMatches(TextureSurfaces[0], 32);

    const DDSURFACEDESC2 chosen = ChosenMode;
    bool found = false;
    for (uint32_t m = 0; m < CardTable[0].modeCount && !found; ++m)
        if (CardTable[0].modes[m].ddpfPixelFormat.dwRGBBitCount == 16) {
            ChosenMode = CardTable[0].modes[m];
            found = true;
        }
    ASSERT_TRUE(found) << "no 16-bit mode";
    IDirectDrawSurface7* texture = CreateTextureSurface(256, 256, true, true);
    ASSERT_NE(texture, nullptr);
    uint32_t* image = WorkingImageFromUploadSlot();
    UploadMipChain(texture, image);
    FreeImage(image);
    ExpectChainMatches(texture, 16);
    texture->Release();
    ChosenMode = chosen;
}

std::vector<std::string> Expected(std::initializer_list<const char*> lines)
{
    return std::vector<std::string>(lines.begin(), lines.end());
}

TEST_F(Display, InitialRenderStates)
{
    RecordingDevice recorder;
    RenderDevice = &recorder;
    SetInitialRenderStates(&recorder);
    RenderDevice = RealDevice;
    const std::vector<std::string> expected = Expected({
        "SetViewport 0 0 320 240 0 1",
        "SetRenderState 7 1", "SetRenderState 23 4",
        "SetMaterial 1 1 1 1 / 1 1 1 1 / 0 0 0 0 / 0 0 0 0 / 0",
        "SetTransform 1", "SetTransform 2", "SetTransform 3",
        "SetRenderState 4 1", "SetRenderState 137 1",
        "SetTextureStageState 0 16 2", "SetTextureStageState 1 16 2",
        "SetTextureStageState 0 17 2", "SetTextureStageState 1 17 2",
        "SetTextureStageState 0 18 3", "SetTextureStageState 1 18 3",
        "SetTextureStageState 1 13 3", "SetTextureStageState 1 14 3",
        "SetTextureStageState 1 1 1", "SetTextureStageState 1 4 1",
        "SetRenderState 26 1", "SetRenderState 139 0", "SetRenderState 9 2", "SetRenderState 22 3",
        "SetTransform 3",
        "SetRenderState 27 0", "SetRenderState 19 2", "SetRenderState 20 2", "SetTextureStageState 0 5 0",
    });
    EXPECT_EQ(recorder.log, expected);
    const D3DMATRIX& projection = recorder.transforms[2];
    EXPECT_EQ(projection._11, 2.0f);
    EXPECT_FLOAT_EQ(projection._22, 2.0f * 320.0f / 240.0f);
    EXPECT_EQ(projection._33, 1.0f);
    EXPECT_EQ(projection._34, 1.0f);
    EXPECT_EQ(projection._43, -1.0f);
    EXPECT_EQ(projection._44, 0.0f);
    EXPECT_EQ(recorder.transforms[0]._11, 1.0f);  // world and view: the identity
    EXPECT_EQ(recorder.transforms[1]._41, 0.0f);
}

TEST_F(Display, SceneDrawing)
{
    Scene scene;
    ASSERT_TRUE(InitScene(&scene, 2, 2));
    for (int j = 0; j < 2; ++j) {
        scene.lights[j].dltType = D3DLIGHT_POINT;
        scene.lights[j].dcvDiffuse.r = scene.lights[j].dcvDiffuse.g = scene.lights[j].dcvDiffuse.b = 0.5f;
    }
    SceneObject& target = *scene.objects[0];
    target.drawMode = 4;
    target.cullMode = 1;
    target.vertexCount = 575;  // passed on unchanged
    SceneObject& odd = *scene.objects[1];
    odd.drawMode = 9;  // unknown: lights and cull set, nothing drawn
    odd.cullMode = 0;

    RecordingDevice recorder;
    RenderDevice = &recorder;
    DrawScene(&scene);
    const std::vector<std::string> perObject = Expected({
        "SetRenderState 137 1",
        "SetLight 0 1 0.5 0.5 0.5", "LightEnable 0 1", "SetLight 1 1 0.5 0.5 0.5", "LightEnable 1 1",
        "SetTextureStageState 0 2 2", "SetTextureStageState 0 1 4", "SetTextureStageState 0 3 0",
        "SetTextureStageState 0 5 2", "SetTextureStageState 0 4 2", "SetTextureStageState 0 24 0",
        "SetTextureStageState 0 11 0", "SetTextureStageState 1 1 1", "SetTextureStageState 1 4 1",
        "SetTextureStageState 2 1 1", "SetTextureStageState 2 4 1",
    });
    std::vector<std::string> expected = {"SetRenderState 137 0"};
    expected.insert(expected.end(), perObject.begin(), perObject.end());
    expected.push_back("SetRenderState 22 3");
    expected.push_back("SetTexture 0 0000000000000000");
    expected.push_back("SetTransform 2");
    expected.push_back("SetTransform 1");
    char draw[80];
    std::snprintf(draw, sizeof draw, "DrawPrimitiveVB 4 %p 0 575 0", static_cast<void*>(target.vertexBuffer));
    expected.push_back(draw);
    expected.insert(expected.end(), perObject.begin(), perObject.end());
    expected.push_back("SetRenderState 22 1");
    EXPECT_EQ(recorder.log, expected);

    RecordingDevice empty;
    RenderDevice = &empty;
    scene.objectCount = 0;
    DrawScene(&scene);
    EXPECT_EQ(empty.log, Expected({"SetRenderState 137 0"}));  // lighting stays off
    RenderDevice = RealDevice;
}

TEST_F(Display, UncleDrawing)
{
    RandomSeed(5);
    BuildUncle();
    UploadUncle();
    RecordingDevice recorder;
    RenderDevice = &recorder;
    DrawUncle(0.0, 0.0f, 0.0f, 30.0f);
    RenderDevice = RealDevice;

    std::vector<std::string> expected = {"SetRenderState 137 1", "SetTransform 2", "SetTransform 1"};
    char line[80];
    std::snprintf(line, sizeof line, "SetTexture 0 %p", static_cast<void*>(UncleTexture));
    expected.push_back(line);
    std::snprintf(line, sizeof line, "DrawPrimitiveVB 4 %p 0 2304 0", static_cast<void*>(UncleBuffer));
    expected.push_back(line);
    const std::vector<std::string> rest = Expected({
        "SetRenderState 137 0", "SetTexture 0 0000000000000000",
        "SetRenderState 27 1", "SetRenderState 19 2", "SetRenderState 20 2", "SetTextureStageState 0 5 0",
        "SetRenderState 14 0"});
    expected.insert(expected.end(), rest.begin(), rest.end());
    for (int g = 0; g < 20; ++g)
        expected.push_back("DrawPrimitive 4 1e2 24 0");
    const std::vector<std::string> end = Expected({
        "SetRenderState 27 0", "SetRenderState 19 2", "SetRenderState 20 2", "SetTextureStageState 0 5 0",
        "SetRenderState 14 1", "SetRenderState 137 1"});
    expected.insert(expected.end(), end.begin(), end.end());
    EXPECT_EQ(recorder.log, expected);

    const D3DMATRIX& view = recorder.transforms[0];
    EXPECT_EQ(view._11, 1.0f);
    EXPECT_EQ(view._43, 0.0f);
    const D3DMATRIX& world = recorder.transforms[1];  // diag(3.5) and (0, 0, 30)
    EXPECT_FLOAT_EQ(world._11, 3.5f);
    EXPECT_FLOAT_EQ(world._22, 3.5f);
    EXPECT_FLOAT_EQ(world._33, 3.5f);
    EXPECT_EQ(world._44, 1.0f);
    EXPECT_EQ(world._43, 30.0f);
    EXPECT_NEAR(world._12, 0.0f, 1e-7f);
    EXPECT_NEAR(LightPoint.z, 0.3f, 1e-7f);
}

// A clock the test moves: each reading advances it by 100 ms (0.05 units).
uint32_t FakeMilliseconds = 0;
uint32_t FakeClock() { return FakeMilliseconds += 100; }

TEST_F(Display, IntroScreensEndOnTimeOrOnAClick)
{
    BuildUncle();
    UploadUncle();
    uint32_t (*realClock)() = ClockMilliseconds;
    ClockMilliseconds = FakeClock;
    RecordingDevice recorder;
    RenderDevice = &recorder;

    FireFlag = 0;
    const float start = float(ReadClock());
    ASSERT_TRUE(RunIntroScreen(start, 3.0, TitleLines, 6));
    // Four readings a frame (the test and three for the uncle): 0.2 units each.
    const int titleFrames = recorder.Count("BeginScene");
    EXPECT_EQ(titleFrames, 15);
    EXPECT_EQ(recorder.Count("Clear 0 3 00000000 1 0"), titleFrames);
    EXPECT_EQ(recorder.Count("DrawPrimitiveVB"), titleFrames);

    recorder.log.clear();
    ASSERT_TRUE(RunIntroScreen(start, 15.0, BriefingLines, 9));
    EXPECT_EQ(recorder.Count("BeginScene"), 60);  // from unit 3 to 15 after the start

    recorder.log.clear();
    FireFlag = 1;  // a click: the screen ends before its first frame
    ASSERT_TRUE(RunIntroScreen(float(ReadClock()), 15.0, BriefingLines, 9));
    EXPECT_EQ(recorder.Count("BeginScene"), 0);
    FireFlag = 0;

    QuitFlag = 1;  // a quit request ends a screen after its frame
    recorder.log.clear();
    EXPECT_FALSE(RunIntroScreen(float(ReadClock()), 15.0, BriefingLines, 9));
    EXPECT_EQ(recorder.Count("BeginScene"), 1);
    QuitFlag = 0;

    RenderDevice = RealDevice;
    ClockMilliseconds = realClock;
}

// --- The game thread's frame, with the recorder and the test's clock ---

void PrepareGame()
{
    static bool built = false;
    if (!built) {
        ASSERT_TRUE(InitScene(&TargetScene, 20, 2));
        BuildTargets();
        BuildUncle();
        UploadUncle();
        built = true;
    }
    ResetTargets();
    ClockMilliseconds = FakeClock;
    StartGame();
    QuitFlag = 0;
}

// The frame's uncle wobble for the next clock reading.
float NextWobble()
{
    const double now = double(FakeMilliseconds + 100) * 0.0005;
    const double theta = float(Level * 0.7) * now;
    return float(10.0 * std::sin(2.0 * theta));
}

TEST_F(Display, GameFrameRules)
{
    RecordingDevice recorder;
    RenderDevice = &recorder;
    PrepareGame();
    EXPECT_EQ(Score, 2000);
    EXPECT_EQ(Level, 1);
    EXPECT_EQ(CreditsX, int32_t(ScreenWidth));

    EXPECT_TRUE(GameFrame());
    EXPECT_EQ(Score, 2000);
    EXPECT_EQ(recorder.log.front(), "Clear 0 3 00000000 1 0");
    EXPECT_EQ(recorder.Count("BeginScene"), 1);
    EXPECT_EQ(recorder.Count("EndScene"), 1);
    EXPECT_EQ(recorder.Count("DrawPrimitiveVB"), 21);  // the uncle and 20 targets
    EXPECT_EQ(CreditsX, int32_t(ScreenWidth) - 1);

    FireFlag = 1;  // firing at (0, 0): the cost, and no shot
    MouseX = 0;
    MouseY = 0;
    EXPECT_TRUE(GameFrame());
    EXPECT_EQ(Score, 1800);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(TargetScene.objects[i]->hit, 0);

    FireFlag = 0;
    Score = 70000;
    GameFrame();
    EXPECT_EQ(Score, ScoreCap);

    // A shot inside target 0's box as the last frame left it.
    const SceneObject& first = *TargetScene.objects[0];
    MouseX = first.screenX;
    MouseY = first.screenY;
    int expectedHits = 0;
    for (int i = 0; i < 20; ++i) {
        const SceneObject& t = *TargetScene.objects[i];
        expectedHits += InsideBox(MouseX, MouseY, t.screenX, t.screenY, t.screenRadius);
    }
    Score = 1000;
    FireFlag = 1;
    recorder.log.clear();
    GameFrame();
    EXPECT_EQ(first.hit, 1);
    EXPECT_EQ(Score, 1000 - FiringCost + HitReward * expectedHits);
    FireFlag = 0;
    const int32_t before = Score;
    GameFrame();  // an already hit target earns nothing more
    EXPECT_EQ(Score, before);

    // Firing at the uncle's box dims both lights by 0.8 a frame.
    const float s = NextWobble();
    const double d = 30.0 - s;
    MouseX = int32_t(ScreenWidth * s / d + ScreenWidth / 2.0);
    MouseY = int32_t((10.0 - s * ScreenWidth) / d + ScreenHeight / 2.0);
    FireFlag = 1;
    Score = 30000;
    GameFrame();
    EXPECT_FLOAT_EQ(TargetScene.lights[0].dcvDiffuse.r, 0.4f);
    EXPECT_FLOAT_EQ(TargetScene.lights[1].dcvDiffuse.b, 0.4f);
    FireFlag = 0;
    ResetTargets();
    EXPECT_EQ(TargetScene.lights[0].dcvDiffuse.r, 0.5f);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(TargetScene.objects[i]->hit, 0);
        EXPECT_EQ(TargetScene.objects[i]->vertexCount, 576);
    }
    RenderDevice = RealDevice;
}

TEST(Text, FormatTextAlwaysTerminatesAndCutsToTheBuffer)
{
    char line[8];
    std::memset(line, 'x', sizeof line);
    FormatText(line, sizeof line, "Score: %d", 1234);  // 11 characters do not fit
    EXPECT_STREQ(line, "Score: ");
    FormatText(line, sizeof line, "%d/%d", 3, 4);
    EXPECT_STREQ(line, "3/4");
    FormatText(line, sizeof line, "%d", -2147483647 - 1);
    EXPECT_STREQ(line, "-214748");
}

// Every target exploding (the vertices pushed out, crumbled and refilled each frame), the
// uncle and its rays, the text lines: no frame takes memory from the heap.
TEST_F(Display, GameFramesAllocateNothing)
{
    PrepareGame();
    for (int i = 0; i < 20; ++i) {
        TargetScene.objects[i]->hit = 1;
        TargetScene.objects[i]->hitAngle = 0.0f;
    }
    int frames = 0;
    StartCountingAllocations();
    void* volatile probe = std::malloc(16);  // the counter itself counts
    std::free(probe);
    const int probeCount = StopCountingAllocations();
    StartCountingAllocations();
    for (; frames < 60; ++frames)
        GameFrame();
    const int allocations = StopCountingAllocations();
    EXPECT_EQ(probeCount, 1);
    EXPECT_EQ(allocations, 0) << "over " << frames << " frames";
    EXPECT_LT(TargetScene.objects[0]->vertexCount, 576);  // the frames did explode the targets
    ResetTargets();
}

TEST_F(Display, InterludeThenTheNextLevel)
{
    RecordingDevice recorder;
    RenderDevice = &recorder;
    PrepareGame();
    GameFrame();  // screen boxes
    for (int i = 1; i < 20; ++i)
        TargetScene.objects[i]->hit = 1;
    const SceneObject& last = *TargetScene.objects[0];
    MouseX = last.screenX;
    MouseY = last.screenY;
    FireFlag = 1;
    Score = 5000;
    QuitFlag = 1;  // honoured only after the interlude
    recorder.log.clear();
    EXPECT_FALSE(GameFrame());
    EXPECT_EQ(Level, 2);
    EXPECT_EQ(Score, 5000 - FiringCost + HitReward + LevelBonus);
    EXPECT_GT(recorder.Count("Clear 0 1 00ffffff 1 0"), 25);  // about 5 units of white frames
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(TargetScene.objects[i]->hit, 0);
    QuitFlag = 0;
    FireFlag = 0;
    RenderDevice = RealDevice;
}

TEST_F(Display, DeathRestartsAtLevelOne)
{
    RecordingDevice recorder;
    RenderDevice = &recorder;
    PrepareGame();
    Level = 3;
    TargetScene.objects[4]->hit = 1;
    CreditsX = 5;
    runStart = ReadClock() - 100.0;  // 100 units of drain: 2000 points
    GameFrame();
    EXPECT_EQ(Score, RestartScore);
    EXPECT_EQ(Level, 1);
    EXPECT_EQ(TargetScene.objects[4]->hit, 0);
    EXPECT_EQ(CreditsX, int32_t(ScreenWidth) - 1);  // restarted, then this frame's step
    EXPECT_NEAR(ReadClock() - runStart, 0.0, 0.5);  // the drain starts again
    EXPECT_GT(recorder.Count("Clear 0 1 00ffffff 1 0"), 15);  // about 3 units
    RenderDevice = RealDevice;
}

}  // namespace
