// The program in a browser: the page's setup form calls WebStart with the player's
// choices; then the same start-up, intro screens and game as on Windows run on the page's
// one thread, each frame yielding to the browser when it is presented.
#include <emscripten.h>

#include <cstdlib>

#include "content/scene.h"
#include "content/texture_script.h"
#include "core/clock.h"
#include "game/game.h"
#include "game/shared_state.h"
#include "game/startup.h"
#include "music/xm.h"
#include "platform/audio_output.h"
#include "web/web.h"

EM_JS(void, WebMessage, (const char* text), { Module.korvaMessage(UTF8ToString(text)); });
EM_JS(void, WebState, (const char* state), { Module.korvaState(UTF8ToString(state)); });

void ScreenChanged(const char* name) { WebState(name); }

static uint32_t PageMilliseconds() { return uint32_t(uint64_t(emscripten_get_now())); }

void FatalError(const char* message)
{
    WebMessage(message);
    WebState("ended");
    emscripten_force_exit(1);
    std::abort();  // not reached
}

static void Shutdown()
{
    FreeModule(Song);  // stops the sound first
    Song = nullptr;
    CloseAudioOutput();
    WebState("ended");
}

extern "C" EMSCRIPTEN_KEEPALIVE void WebStart(uint32_t width, uint32_t height, int windowed,
                                              int stupidZbuffert, int waitRetrace)
{
    ClockMilliseconds = PageMilliseconds;
    ScreenWidth = width;
    ScreenHeight = height;
    Windowed = uint8_t(windowed != 0);
    StupidZbuffert = uint8_t(stupidZbuffert != 0);
    WaitRetrace = uint8_t(waitRetrace != 0);
    Score = 0;
    CreateTextFont(60);
    OpenDevice();
    WebState("loading");
    if (LoadAndIntroduce())
        RunGame();
    Shutdown();
}

// The page's mouse and keys, as the Windows window procedure takes them; Escape or leaving
// the page quits.
extern "C" EMSCRIPTEN_KEEPALIVE void WebInput(int32_t kind, int32_t x, int32_t y)
{
    switch (kind) {
    case 0: MoveMouse(x, y); break;
    case 1: PressFire(x, y); break;
    case 2: ReleaseFire(); break;
    default: RequestQuit(); break;
    }
}

// For the page's tests: the texture as texgen writes it, the score, the level and the
// targets' boxes.
extern "C" EMSCRIPTEN_KEEPALIVE const uint8_t* WebTexture() { return UploadSlot.pixels; }
extern "C" EMSCRIPTEN_KEEPALIVE int32_t WebScore() { return Score.load(); }
extern "C" EMSCRIPTEN_KEEPALIVE int32_t WebLevel() { return Level; }
extern "C" EMSCRIPTEN_KEEPALIVE int32_t WebTargetCount() { return TargetScene.objectCount; }
extern "C" EMSCRIPTEN_KEEPALIVE const SceneObject* WebTarget(int32_t i) { return TargetScene.objects[i]; }
