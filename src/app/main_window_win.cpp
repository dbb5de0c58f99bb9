// The game's only input path: mouse and keys into the shared variables.
#include "app/setup_win.h"
#include "app/shared_state.h"
#include "app/platform.h"

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_MOUSEMOVE:
        MouseX = int32_t(LOWORD(lParam));
        MouseY = int32_t(HIWORD(lParam));
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_LBUTTONDOWN:
        MouseY = int32_t(HIWORD(lParam));
        MouseX = int32_t(LOWORD(lParam));
        ChargePress();  // every press costs 100 at once
        FireFlag = 1;
        return 0;
    case WM_LBUTTONUP:
        FireFlag = 0;
        return 0;
    case WM_DESTROY:
        QuitFlag = 1;
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE)
            QuitFlag = 1;
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
