// The main window: the game's only input path (mouse and keys into the shared variables),
// and the one message that ends a start-up which cannot go on.
#include "game/shared_state.h"
#include "platform/platform.h"
#include "win/display.h"
#include "win/setup.h"

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_MOUSEMOVE:
        MoveMouse(int32_t(LOWORD(lParam)), int32_t(HIWORD(lParam)));
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_LBUTTONDOWN:
        PressFire(int32_t(LOWORD(lParam)), int32_t(HIWORD(lParam)));
        return 0;
    case WM_LBUTTONUP:
        ReleaseFire();
        return 0;
    case WM_DESTROY:
        RequestQuit();
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE)
            RequestQuit();
        return 0;  // every other key is swallowed
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

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

void ScreenChanged(const char*) {}

void FatalError(const char* message)
{
    if (DirectDraw && !Windowed) {  // give the desktop back, so the message can be seen
        DirectDraw->RestoreDisplayMode();
        DirectDraw->SetCooperativeLevel(MainWindow, DDSCL_NORMAL);
    }
    if (MainWindow)
        ShowWindow(MainWindow, SW_HIDE);
    MessageBoxA(nullptr, message, "Korvastil", MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    ExitProcess(1);
}
