#include "game/game.h"

#include <cmath>
#include <cstring>

#include "content/scene.h"
#include "core/clock.h"
#include "core/random.h"
#include "core/thread_value.h"
#include "game/rules.h"
#include "game/shared_state.h"
#include "game/uncle.h"
#include "platform/platform.h"

int32_t Level = 1;
double runStart = 0.0;
int32_t CreditsX = 0;

static const char Banner[] = "QUIBEL: ALL YOUR DEZINCUBES ARE BELONG TO US";

static void Text(const char* text, int32_t x, int32_t y, uint32_t colour)
{
    TextLine(text, x, y, colour);
}

// trunc(H * 0.5 + k)
static int32_t HalfHeightPlus(double k)
{
    return int32_t(double(ScreenHeight) * 0.5 + k);
}

// --- Targets ---

bool UpdateTargets(int32_t x, int32_t y, double theta)
{
    Scene& scene = TargetScene;
    Matrix4 camera;
    MatrixIdentity(camera);
    camera(3, 2) = -CameraDistance;
    MatrixRigidInverse(scene.view, camera);

    const float d = float(std::sin(theta));
    const float c = float(std::cos(theta));
    scene.lights[0].dvPosition.x = 2.0f * d;
    scene.lights[0].dvPosition.y = -d;
    scene.lights[0].dvPosition.z = 2.0f * c;
    scene.lights[1].dvPosition.x = -20.0f * d;
    scene.lights[1].dvPosition.y = -d;
    scene.lights[1].dvPosition.z = 20.0f * c;

    bool allHit = false;
    if (x != 0 || y != 0) {
        allHit = true;
        for (int32_t i = 0; i < TargetCount; ++i) {
            SceneObject& t = *scene.objects[i];
            if (t.hit == 0 && InsideBox(x, y, t.screenX, t.screenY, t.screenRadius)) {
                AwardPoints(HitReward);
                Text("Bang!!", 40, 40, 0xFF00FF);
                t.hit = 1;
                t.hitAngle = float(theta);
            }
            if (t.hit != 1)
                allHit = false;
        }
    }

    for (int32_t i = 0; i < TargetCount; ++i) {
        SceneObject& t = *scene.objects[i];
        const TargetPose pose = PlaceTarget(i, theta, t.radius, ScreenWidth, ScreenHeight);
        t.world = pose.world;
        t.screenX = pose.screenX;
        t.screenY = pose.screenY;
        t.screenRadius = pose.screenRadius;
        if (t.hit) {
            // The debris flies out by 50 units of k for each radian the motion has turned
            // since the hit.
            const float k = float((theta - t.hitAngle) * 50.0);
            ExplodeVertices(TargetMesh, t.vertices, t.vertexCount, 0.0f, 0.0f, 0.0f, k);
            t.vertexCount = SettleDebris(t.vertices, TargetMesh, t.vertexCount, RandomNext() % 100);
            FillMeshVertexBuffer(t.vertexBuffer, t.vertices, uint32_t(t.vertexCount));
        }
    }
    DrawScene(&scene);
    return allHit;
}

void ResetTargets()
{
    for (int32_t i = 0; i < TargetScene.objectCount; ++i) {
        SceneObject& t = *TargetScene.objects[i];
        t.hit = 0;
        FreeMesh(t.vertices);
        t.vertices = AllocateMesh(TargetVertices);
        if (!t.vertices) {
            t.vertexCount = 0;
            continue;  // out of memory: this target stays empty
        }
        std::memcpy(t.vertices, TargetRestMesh, size_t(TargetVertices) * sizeof(MeshVertex));
        t.vertexCount = TargetVertices;
        FillMeshVertexBuffer(t.vertexBuffer, t.vertices, uint32_t(TargetVertices));
    }
    for (int32_t j = 0; j < TargetScene.lightCount; ++j) {
        SceneLight& light = TargetScene.lights[j];
        light.dcvDiffuse.r = light.dcvDiffuse.g = light.dcvDiffuse.b = 0.5f;
    }
}

// --- Screens between the frames ---

static void ClearToWhite()
{
    ClearFrame(0xFFFFFF, false);
    BeginScene();
    EndScene();
}

void LevelInterlude(double now, int32_t shownScore)
{
    const float t = float(now);
    char line[96];
    while (ReadClock() - t < 5.0) {
        ClearToWhite();
        FormatText(line, sizeof line, "Your score is %d and next level is: %d!", int(shownScore),
                   int(Level + 1));
        Text(line, int32_t(ScreenWidth / 2), int32_t(ScreenHeight / 2), 0x000000);
        // The banners move 500 pixels a clock unit (250 a second), some at twice or four
        // times that.
        const int32_t u = int32_t((ReadClock() - t) * 500.0);
        Text(Banner, 2 * u, HalfHeightPlus(20), 0x000000);
        Text(Banner, u - 50, HalfHeightPlus(-40), 0x000000);
        Text(Banner, u + 60, HalfHeightPlus(-80), 0x000000);
        const int32_t v = int32_t(double(ScreenWidth) - (ReadClock() - t) * 500.0);
        Text(Banner, 2 * v, HalfHeightPlus(40), 0x000000);
        Text(Banner, 4 * v, HalfHeightPlus(-20), 0x000000);
        Text(Banner, v, HalfHeightPlus(-60), 0x000000);
        Text(Banner, v + 10, HalfHeightPlus(-100), 0x000000);
        PresentFrame();
    }
    ResetTargets();
    AwardPoints(LevelBonus);
    Level += 1;
}

void DeathScreen(double now)
{
    const float t = float(now);
    char line[96];
    while (ReadClock() - t < 3.0) {
        ClearToWhite();
        FormatText(line, sizeof line,
                   "The cubes ate your fps alive at stage: %d with less than 200 in score;)", int(Level));
        Text(line, int32_t(double(ScreenWidth) * 0.5 - 300.0), int32_t(double(ScreenHeight) * 0.5), 0x000000);
        PresentFrame();
    }
    ResetTargets();
    Score.store(RestartScore);
    Level = 1;
    CreditsX = int32_t(ScreenWidth);
    runStart = ReadClock();  // the verse keeps its place
}

// --- The frame ---

void StartGame()
{
    Level = 1;
    MouseY = 0;
    MouseX = 0;
    CreateTextFont(20);
    FireFlag = 0;
    runStart = ReadClock();
    CreditsX = int32_t(ScreenWidth);
    StoreThreadValue(VerseAValue, uint32_t(ScreenWidth));  // the verse positions are thread-local
    StoreThreadValue(VerseBValue, uint32_t(ScreenWidth));
    Score.store(StartScore);
}

bool GameFrame()
{
    const double now = ReadClock();
    const float motionSpeed = float(Level * 0.7);  // radians a clock unit: each level 0.7 faster
    const float elapsed = float(now - runStart);

    ClearFrame(0x000000, true);
    BeginScene();
    const double theta = motionSpeed * now;
    const double phi = 2.0 * theta;
    const float s = float(10.0 * std::sin(phi));
    DrawUncle(phi, s, s, 30.0f);

    // The cap comes before the firing cost; rewards may carry the score above it
    // until the next frame.
    const bool firing = FireFlag.load() != 0;  // one reading decides the whole frame
    CapAndChargeFiring(firing);
    const int32_t shown = ShownScore(Score.load(), elapsed);

    if (firing) {
        if (UncleAimed(MouseX, MouseY, s, ScreenWidth, ScreenHeight)) {
            // Firing at the uncle dims the world: each light keeps 80 % of its colour a frame
            // (until the next level or death makes it 0.5 again).
            for (int32_t j = 0; j < TargetScene.lightCount; ++j) {
                LightColour& diffuse = TargetScene.lights[j].dcvDiffuse;
                diffuse.r *= 0.8f;
                diffuse.g *= 0.8f;
                diffuse.b *= 0.8f;
            }
        }
        if (UpdateTargets(MouseX, MouseY, theta))
            LevelInterlude(now, shown);
    } else {
        UpdateTargets(0, 0, theta);
    }

    Text("X", MouseX - 5, MouseY - 10, 0xFF00FF);
    EndScene();

    char line[64];
    Text("Watch out for Fat uncle Bob.. But please.. kill the evil cousins!", 20, 20, 0xFFFFFF);
    Text("Btw.. You need 200 to stay alive", 20, 40, 0xFFFFFF);
    FormatText(line, sizeof line, "Score: %d    Level: %d", int(shown), int(Level));
    Text(line, 20, 60, 0xFFFFFF);
    if (shown < SurvivalScore)
        DeathScreen(now);

    CreditsX = StepCredits(CreditsX, ScreenWidth);
    const int32_t verseAX = StepVerse(int32_t(LoadThreadValue(VerseAValue)), 3.0f * motionSpeed, ScreenWidth);
    const int32_t verseBX = StepVerse(int32_t(LoadThreadValue(VerseBValue)), 5.0f * motionSpeed, ScreenWidth);
    StoreThreadValue(VerseAValue, uint32_t(verseAX));
    StoreThreadValue(VerseBValue, uint32_t(verseBX));
    Text(CreditsText, CreditsX, int32_t(ScreenHeight) - 20, 0xBBBBBB);
    Text(VerseText, verseAX, HalfHeightPlus(-100 + 10), 0xBBBBBB);
    Text(VerseText, verseAX, HalfHeightPlus(-100), 0xFFFFFF);
    Text(VerseText, verseBX, HalfHeightPlus(-100 + 40), 0xBBBBBB);
    Text(VerseText, verseBX, HalfHeightPlus(-100 + 30), 0xFFFFFF);

    PresentFrame();
    return QuitFlag == 0;
}

void RunGame()
{
    StartGame();
    while (GameFrame())
        ;
    GameThreadDone = 1;  // the last use of the device is over
}
