// The program's entry and spine: setup, window, device, content, music, the intro
// screens, then the message loop until the player quits.
#include <windows.h>
#include <mmsystem.h>
#undef FreeModule  // a Win16 leftover macro; the name is the music's own

#include <cmath>

#include "core/clock.h"
#include "game/game.h"
#include "game/shared_state.h"
#include "game/startup.h"
#include "music/xm.h"
#include "platform/audio_output.h"
#include "win/display.h"
#include "win/setup.h"

static HANDLE GameThreadHandle = nullptr;  // set once the game thread exists

static uint32_t SystemMilliseconds() { return timeGetTime(); }

// Ends the process at once with the code. Under Wine, ExitProcess still runs the Unix
// libraries' exit handlers (Mesa joins its threads, GLX locks each X connection) after the
// server has counted the process as ended, and the server kills what is left half a second
// later: under load, or behind a lock held by a thread ended mid-call, the game ended by
// SIGKILL instead of its code. Nothing it needs runs at detach: sound and device are closed.
[[noreturn]] static void EndProcess(UINT code)
{
    TerminateProcess(GetCurrentProcess(), code);
    ExitProcess(code);  // not reached
}

[[noreturn]] static void Shutdown()
{
    FreeModule(Song);  // stops the audio thread first
    Song = nullptr;
    CloseAudioOutput();
    // The game thread may still play the level interlude or the death screen for seconds:
    // the window keeps answering its messages meanwhile.
    if (GameThreadHandle) {
        while (!GameThreadDone) {
            PumpMessages();
            Sleep(1);
        }
        WaitForSingleObject(GameThreadHandle, INFINITE);  // its own exit done too
    }
    if (RenderDevice) RenderDevice->Release();
    if (Direct3D) Direct3D->Release();
    if (DirectDraw) DirectDraw->Release();
    // A lock returns once the device has carried out all the drawing queued before it, so
    // no thread is inside the graphics or X libraries when the process ends (the surface
    // holds DirectDraw alive).
    DDSURFACEDESC2 settled = {};
    settled.dwSize = sizeof settled;
    if (BackBuffer &&
        SUCCEEDED(BackBuffer->Lock(nullptr, &settled, DDLOCK_WAIT | DDLOCK_READONLY, nullptr)))
        BackBuffer->Unlock(nullptr);
    EndProcess(0);
}

static DWORD WINAPI GameThread(LPVOID)
{
    RunGame();
    ExitThread(0);
}

static void CreateMainWindow(HINSTANCE instance, int showCommand)
{
    if (Windowed) {
        MainWindow = CreateWindowExA(0, "%", "Korvastil is mad", WS_POPUP | WS_CAPTION, 0, 0, 200,
                                     200, nullptr, nullptr, instance, nullptr);
        RECT window, client;
        GetWindowRect(MainWindow, &window);
        GetClientRect(MainWindow, &client);
        const int cx = (window.right - window.left) - (client.right - client.left) + int(ScreenWidth);
        const int cy = (window.bottom - window.top) - (client.bottom - client.top) + int(ScreenHeight);
        SetWindowPos(MainWindow, nullptr, 0, 0, cx, cy, SWP_NOMOVE | SWP_NOZORDER);
    } else {
        MainWindow = CreateWindowExA(0, "%", "Korvastil is mad", WS_POPUP, 0, 0,
                                     GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                                     nullptr, nullptr, instance, nullptr);
    }
    if (!MainWindow)
        FatalError("The game window could not be created.");
    ShowWindow(MainWindow, showCommand);
    UpdateWindow(MainWindow);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    ClockMilliseconds = SystemMilliseconds;

    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "%";
    RegisterClassExA(&windowClass);

    Score = 0;
    CardCount = 0;
    DirectDrawEnumerateExA(EnumerateDirectDrawDevice, nullptr,
                           DDENUM_ATTACHEDSECONDARYDEVICES | DDENUM_DETACHEDSECONDARYDEVICES |
                               DDENUM_NONDISPLAYDEVICES);
    if (CardCount == 0)
        FatalError("No hardware Direct3D 7 device was found.");
    if (!RunSetupWindow(instance))
        EndProcess(0);  // the setup window was closed: nothing to play
    ScreenWidth = ChosenMode.dwWidth;
    ScreenHeight = ChosenMode.dwHeight;

    CreateMainWindow(instance, showCommand);
    CreateTextFont(60);
    CreateDisplayAndDevice();
    ShowCursor(FALSE);
    SetInitialRenderStates(RenderDevice);

    if (!LoadAndIntroduce())
        Shutdown();

    SECURITY_ATTRIBUTES security = {sizeof security, nullptr, TRUE};
    GameThreadHandle = CreateThread(&security, 0, GameThread, nullptr, 0, nullptr);
    if (!GameThreadHandle)
        Shutdown();

    for (;;) {
        if (QuitFlag)
            Shutdown();
        MSG message;
        while (GetMessageA(&message, nullptr, 0, 0)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
            if (QuitFlag)
                Shutdown();
        }
    }
}

// The process starts here, in place of the C runtime's start-up code (the linker's default
// entry for a windowed program has this name): the game needs none of its command-line
// parsing, initialiser and exit tables or TLS callbacks (the system C library initialises
// itself when it is loaded), and the executable is smaller without them.
extern "C" __attribute__((used)) void WinMainCRTStartup()
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    const int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
    static char noArguments[] = "";  // the game takes no command line
    ExitProcess(UINT(WinMain(GetModuleHandleA(nullptr), nullptr, noArguments, show)));
}
