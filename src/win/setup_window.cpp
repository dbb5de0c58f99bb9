// "Direct device setup": the render device, the display mode and three options.

#include "win/display.h"
#include "win/setup.h"

int32_t SelectedCard = 0;
int32_t SelectedMode = 0;
DDSURFACEDESC2 ChosenMode;
uint8_t SetupDone = 0;
static uint8_t SetupClosed = 0;

struct ControlSpec {
    const char* className;
    const char* caption;
    DWORD extendedStyle;
    DWORD style;
    int32_t x, y, width, height;
    int32_t id;  // 0: none
};

static const ControlSpec Controls[8] = {
    {"STATIC", "Select render device", 0, 0x50000000, 5, 5, 250, 15, 0},
    {"COMBOBOX", "Cards", 0, 0x50200203, 5, 20, 245, 150, CardList},
    {"STATIC", "Choose videomode", 0, 0x50000000, 5, 45, 250, 15, 0},
    {"LISTBOX", "Modes", WS_EX_CLIENTEDGE, 0x50300100, 5, 60, 245, 125, ModeList},
    {"BUTTON", "Windowed", 0, 0x50000003, 5, 190, 245, 16, WindowedBox},
    {"BUTTON", "StupidZbuffert", 0, 0x50000003, 5, 210, 245, 16, StupidZbuffertBox},
    {"BUTTON", "WaitRetrace", 0, 0x50000003, 5, 230, 245, 16, WaitRetraceBox},
    {"BUTTON", "Start", 0, 0x50000001, 5, 250, 245, 30, StartButton},
};

bool RunSetupWindow(HINSTANCE instance)
{
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = SetupWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    windowClass.lpszClassName = "DXsetup";
    windowClass.hIconSm = LoadIconA(nullptr, IDI_APPLICATION);
    RegisterClassExA(&windowClass);

    HWND window = CreateWindowExA(0, "DXsetup", "Direct device setup", WS_CAPTION,
                                  GetSystemMetrics(SM_CXSCREEN) / 2 - 130,
                                  GetSystemMetrics(SM_CYSCREEN) / 2 - 75, 260, 310, nullptr,
                                  nullptr, instance, nullptr);
    ShowWindow(window, SW_SHOW);
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);

    for (const ControlSpec& c : Controls) {
        HWND control = CreateWindowExA(c.extendedStyle, c.className, c.caption, c.style, c.x, c.y,
                                       c.width, c.height, window, nullptr, instance, nullptr);
        if (c.id != 0)
            SetWindowLongA(control, GWL_ID, c.id);
        if (c.id == WindowedBox || c.id == StupidZbuffertBox)
            CheckDlgButton(window, c.id, BST_UNCHECKED);
        if (c.id == WaitRetraceBox)
            CheckDlgButton(window, c.id, BST_CHECKED);
    }
    for (uint32_t i = 0; i < CardCount; ++i)
        SendDlgItemMessageA(window, CardList, CB_ADDSTRING, 0, LPARAM(CardTable[i].name));
    SendDlgItemMessageA(window, CardList, CB_SETCURSEL, 0, 0);
    FillModeList(window, CardTable[0]);
    UpdateWindow(window);

    SetupDone = 0;
    SetupClosed = 0;
    MSG message;
    while (!SetupDone && !SetupClosed && GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    if (!SetupClosed)
        DestroyWindow(window);
    return SetupDone != 0;
}

void FillModeList(HWND window, const CardRecord& card)
{
    const LRESULT count = SendDlgItemMessageA(window, ModeList, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i)
        SendDlgItemMessageA(window, ModeList, LB_DELETESTRING, 0, 0);

    int32_t selected = 0;
    for (uint32_t i = 0; i < card.modeCount; ++i) {
        const DDSURFACEDESC2& mode = card.modes[i];
        char text[64];
        FormatText(text, sizeof text, "%dx%d %dbpp", int(mode.dwWidth), int(mode.dwHeight),
                   int(mode.ddpfPixelFormat.dwRGBBitCount));
        SendDlgItemMessageA(window, ModeList, LB_ADDSTRING, 0, LPARAM(text));
        if (mode.dwWidth == 640 && mode.dwHeight == 480 && mode.ddpfPixelFormat.dwRGBBitCount == 32)
            selected = int32_t(i);
    }
    SendDlgItemMessageA(window, ModeList, LB_SETCURSEL, WPARAM(selected), 0);
}

// Start is taken only with a card and a mode selected: without them there is no
// mode to copy and nothing to create a display on.
static void PressStart(HWND window)
{
    const int32_t card = int32_t(SendDlgItemMessageA(window, CardList, CB_GETCURSEL, 0, 0));
    const int32_t mode = int32_t(SendDlgItemMessageA(window, ModeList, LB_GETCURSEL, 0, 0));
    if (card < 0 || mode < 0 || uint32_t(card) >= CardCount ||
        uint32_t(mode) >= CardTable[card].modeCount) {
        MessageBeep(MB_ICONWARNING);
        return;
    }
    Windowed = IsDlgButtonChecked(window, WindowedBox) != 0;
    StupidZbuffert = IsDlgButtonChecked(window, StupidZbuffertBox) != 0;
    WaitRetrace = IsDlgButtonChecked(window, WaitRetraceBox) != 0;
    SelectedCard = card;
    SelectedMode = mode;
    ChosenMode = CardTable[card].modes[mode];
    SetupDone = 1;
}

LRESULT CALLBACK SetupWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND: {
        const int32_t id = LOWORD(wParam);
        const int32_t code = HIWORD(wParam);
        if (id == StartButton && code == BN_CLICKED) {
            PressStart(window);
        } else if (id == CardList && code == CBN_SELCHANGE) {
            const LRESULT card = SendDlgItemMessageA(window, CardList, CB_GETCURSEL, 0, 0);
            if (card >= 0 && uint32_t(card) < CardCount)
                FillModeList(window, CardTable[card]);
        }
        return 0;
    }
    case WM_DESTROY:  // closed some other way than Start: the player chose not to play
        if (!SetupDone)
            SetupClosed = 1;
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
