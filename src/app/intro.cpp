// The intro screens: the title and the briefing over the tumbling uncle.
#include <cmath>

#include "app/shared_state.h"
#include "app/startup.h"
#include "game/uncle.h"

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

bool PumpMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
        if (message.message == WM_LBUTTONDOWN)
            break;  // let the screen see the click before its release clears FireFlag
    }
    return QuitFlag == 0;
}

// The intro frames clear the depth too: a z-buffer that is never cleared starts at
// whatever the driver left (all near under Wine) and keeps every earlier frame's
// sphere, which hides the tumbling sphere behind its own trail.
bool RunIntroScreen(float start, double limit, const IntroLine* lines, int32_t lineCount)
{
    while (ReadClock() - start < limit && FireFlag == 0) {
        RenderDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00000000, 1.0f, 0);
        RenderDevice->BeginScene();
        const double phi = ReadClock();
        const float px = float(4.0 * std::sin(ReadClock()));
        const float py = float(5.0 * std::sin(ReadClock()));
        DrawUncle(phi, px, py, 30.0f);
        RenderDevice->EndScene();
        for (int32_t i = 0; i < lineCount; ++i)
            DrawTextOnBackBuffer(lines[i].text, lines[i].x, lines[i].y, lines[i].colour, 0, BackBuffer);
        PresentFrame();
        if (!PumpMessages())
            return false;
    }
    return true;
}
