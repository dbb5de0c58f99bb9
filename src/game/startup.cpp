// The start-up sequence once the display exists: the loading line, the content, the
// music, and the intro screens (the title and the briefing over the tumbling uncle).
#include <cmath>

#include "content/scene.h"
#include "content/texture_script.h"
#include "core/clock.h"
#include "game/shared_state.h"
#include "game/startup.h"
#include "game/uncle.h"
#include "music/xm.h"
#include "platform/audio_output.h"

uint32_t ScreenWidth = 640;
uint32_t ScreenHeight = 480;
uint8_t Windowed = 0;
uint8_t StupidZbuffert = 0;
uint8_t WaitRetrace = 1;
XmModule* Song = nullptr;

const IntroLine TitleLines[6] = {
    {"Korvastil Brumsovert", 10, 20, 0xFFFFFF},
    {"A game in 26 kilobytes by:", 10, 60, 0xAAAAAA},
    {"Vexaroon", 10, 100, 0xAAAAAA},
    {"+ pimbo / trask", 20, 140, 0xFFFFFF},
    {"code: velk & ostrun", 20, 180, 0xFFFFFF},
    {"music: pimbo", 20, 220, 0xAAAAAA},
};

const IntroLine BriefingLines[9] = {
    {"You are Korvastil.. and KiiiLING dezinkUBES from dezinhell!", 0, 40, 0xBBBBBB},
    {"But.ALLWAYS!protect FAT uncle BOB!", 100, 60, 0xFFFFFF},
    {"since hes the one who LIGHTS UP! the entire universe!", 100, 80, 0xFFFFFF},
    {"(NO! He never really DIED in Quenthory!)", 0, 120, 0xBBBBBB},
    {"Shoot with left mousebutton but you loose score all the time you press it..", 0, 140, 0xFFFFFF},
    {"And you need at least 200 points to stay alive!", 100, 160, 0xFFFFFF},
    {"Good luck!", 200, 180, 0xBBBBBB},
    {"//Anti Dezin GOD", 100, 200, 0xFFFFFF},
    {"Be READY!! (loading)", 300, 300, 0xBBBBBB},
};

// The intro frames clear the depth too: a z-buffer that is never cleared starts at
// whatever the driver left (all near under Wine) and keeps every earlier frame's
// sphere, which hides the tumbling sphere behind its own trail.
bool RunIntroScreen(float start, double limit, const IntroLine* lines, int32_t lineCount)
{
    while (ReadClock() - start < limit && FireFlag == 0) {
        ClearFrame(0x000000, true);
        BeginScene();
        const double phi = ReadClock();
        const float px = float(4.0 * std::sin(ReadClock()));
        const float py = float(5.0 * std::sin(ReadClock()));
        DrawUncle(phi, px, py, 30.0f);
        EndScene();
        for (int32_t i = 0; i < lineCount; ++i)
            TextLine(lines[i].text, lines[i].x, lines[i].y, lines[i].colour);
        PresentFrame();
        if (!PumpMessages())
            return false;
    }
    return true;
}

bool LoadAndIntroduce()
{
    ClearFrame(0x000000, false);
    TextLine("Loading", int32_t(ScreenWidth * 0.5), int32_t(ScreenHeight * 0.5), 0xBBBBBB);
    PresentFrame();
    if (!PumpMessages())
        return false;

    RunTextureScript();
    UploadTextures();
    if (!PumpMessages())
        return false;
    BuildUncle();
    UploadUncle();
    if (!InitScene(&TargetScene, 20, 2))
        FatalError("Out of memory while building the scene.");
    BuildTargets();
    if (!PumpMessages())
        return false;

    QuitFlag = 0;
    GameThreadDone = 0;
    InstallImageReader();
    if (!OpenAudioOutput(44100))
        FatalError("No sound output could be opened (16-bit stereo at 44,100 Hz).");
    SetModuleImage(SongImage, uint32_t(SongImageEnd - SongImage));
    Song = LoadModule(nullptr);
    if (!Song)
        FatalError("The music could not be loaded.");

    // No frame of the game has placed the lights yet: the intro lights the sphere with
    // the scene's two lights where they start, as the first game frame would.
    EnableSceneLights(&TargetScene);

    ReadClock();
    const float start = float(ReadClock());
    FireFlag = 0;
    ScreenChanged("title");
    if (!RunIntroScreen(start, 3.0, TitleLines, 6))
        return false;
    FireFlag = 0;
    CreateTextFont(30);
    ScreenChanged("briefing");
    if (!RunIntroScreen(start, 15.0, BriefingLines, 9))
        return false;
    StartPlayback(Song);
    ScreenChanged("game");
    return true;
}
