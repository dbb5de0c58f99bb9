// Runs under Wine: the card table's limits and the setup window driven with window messages.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "win/setup.h"

namespace {

DDSURFACEDESC2 Mode(DWORD width, DWORD height, DWORD bits)
{
    DDSURFACEDESC2 mode = {};
    mode.dwSize = sizeof mode;
    mode.dwWidth = width;
    mode.dwHeight = height;
    mode.ddpfPixelFormat.dwRGBBitCount = bits;
    return mode;
}

int Item(HWND w, int id, UINT message, WPARAM wParam = 0) { return int(SendDlgItemMessageA(w, id, message, wParam, 0)); }
void Notify(HWND w, int id, int code) { SendMessageA(w, WM_COMMAND, MAKEWPARAM(id, code), LPARAM(GetDlgItem(w, id))); }

// The card table stops at 20 cards of 200 modes. Then two made-up cards, the first with
// 640x480 at 32 bits twice, the second without it: at first the first card's last 640x480
// 32-bit mode and WaitRetrace alone are chosen; Start does nothing without a mode; the
// second card offers its first mode; Start stores the choices.
TEST(SetupWindow, TableLimitsDefaultsStartNeedsAModeCardChangeAndStart)
{
    static CardRecord card;
    DDSURFACEDESC2 mode = Mode(640, 480, 32);
    D3DDEVICEDESC7 hardware = {};
    hardware.dwDevCaps = D3DDEVCAPS_HWRASTERIZATION;
    for (int i = 0; i < 250; ++i, CollectDisplayMode(&mode, &card))
        CollectRenderDevice(nullptr, const_cast<char*>("HAL"), &hardware, &card);
    EXPECT_EQ(std::make_pair(CardCount, card.modeCount), std::make_pair(MaxCards, MaxModes));

    std::memset(CardTable, 0, sizeof CardTable);
    for (const DDSURFACEDESC2& m : {Mode(800, 600, 16), Mode(640, 480, 32), Mode(640, 480, 16), Mode(640, 480, 32)})
        CardTable[0].modes[CardTable[0].modeCount++] = m;
    for (const DDSURFACEDESC2& m : {Mode(1024, 768, 16), Mode(800, 600, 32)})
        CardTable[1].modes[CardTable[1].modeCount++] = m;
    CardCount = 2;
    std::string seen;
    std::thread user([&seen] {
        HWND w = nullptr;
        for (int i = 0; i < 200 && !(w && Item(w, ModeList, LB_GETCOUNT) > 0); ++i, Sleep(25))
            w = FindWindowA("DXsetup", "Direct device setup");
        char line[120];
        std::snprintf(line, sizeof line, "card %d of %d, mode %d of %d, boxes %u%u%u; ", Item(w, CardList, CB_GETCURSEL),
                      Item(w, CardList, CB_GETCOUNT), Item(w, ModeList, LB_GETCURSEL), Item(w, ModeList, LB_GETCOUNT),
                      IsDlgButtonChecked(w, WindowedBox), IsDlgButtonChecked(w, StupidZbuffertBox),
                      IsDlgButtonChecked(w, WaitRetraceBox));
        Item(w, ModeList, LB_SETCURSEL, WPARAM(-1));
        Notify(w, StartButton, BN_CLICKED);
        seen = line + std::string(SetupDone ? "started without a mode; " : "");
        Item(w, CardList, CB_SETCURSEL, 1);
        Notify(w, CardList, CBN_SELCHANGE);
        seen += std::to_string(Item(w, ModeList, LB_GETCURSEL)) + " of " + std::to_string(Item(w, ModeList, LB_GETCOUNT));
        CheckDlgButton(w, WindowedBox, BST_CHECKED);
        CheckDlgButton(w, WaitRetraceBox, BST_UNCHECKED);
        // Posted, as a real click arrives: the setup loop looks for Start after each posted message.
        PostMessageA(w, WM_COMMAND, MAKEWPARAM(StartButton, BN_CLICKED), LPARAM(GetDlgItem(w, StartButton)));
    });
    EXPECT_TRUE(RunSetupWindow(GetModuleHandleA(nullptr)));
    user.join();
    EXPECT_EQ(seen, "card 0 of 2, mode 3 of 4, boxes 001; 0 of 2");
    char chosen[64];
    std::snprintf(chosen, sizeof chosen, "boxes %u%u%u, card %d, mode %d, %lu wide", Windowed, StupidZbuffert, WaitRetrace,
                  SelectedCard, SelectedMode, ChosenMode.dwWidth);
    EXPECT_STREQ(chosen, "boxes 100, card 1, mode 0, 1024 wide");
}

}  // namespace
