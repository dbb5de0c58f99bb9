// Runs under Wine: enumeration of Wine's devices and of made-up ones, the setup window
// driven with window messages, and the main window's input.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "app/setup.h"
#include "app/shared_state.h"

namespace {

DDSURFACEDESC2 Mode(DWORD width, DWORD height, DWORD bits)
{
    DDSURFACEDESC2 mode;
    std::memset(&mode, 0, sizeof mode);
    mode.dwSize = sizeof mode;
    mode.dwWidth = width;
    mode.dwHeight = height;
    mode.ddpfPixelFormat.dwRGBBitCount = bits;
    return mode;
}

TEST(Enumeration, WineDevicesKeepOnlyHardwareAnd16Or32Bits)
{
    CardCount = 0;
    DirectDrawEnumerateExA(EnumerateDirectDrawDevice, nullptr,
                           DDENUM_ATTACHEDSECONDARYDEVICES | DDENUM_DETACHEDSECONDARYDEVICES |
                               DDENUM_NONDISPLAYDEVICES);
    ASSERT_GT(CardCount, 0u) << "Wine offers no hardware Direct3D device";
    for (uint32_t i = 0; i < CardCount; ++i) {
        const CardRecord& card = CardTable[i];
        EXPECT_NE(card.hardware, 0u) << card.name;
        EXPECT_EQ(card.deviceGuidPointer, &card.deviceGuid);
        EXPECT_GT(card.modeCount, 0u) << card.name;
        for (uint32_t m = 0; m < card.modeCount; ++m) {
            const DWORD bits = card.modes[m].ddpfPixelFormat.dwRGBBitCount;
            EXPECT_TRUE(bits == 16 || bits == 32) << card.name << " mode " << m << ": " << bits;
            EXPECT_NE(card.modes[m].dwWidth, 0u);
        }
        EXPECT_LT(std::strlen(card.name), 40u);
    }
}

TEST(Enumeration, MadeUpDevicesAndTheTableLimits)
{
    CardRecord scratch;
    std::memset(&scratch, 0, sizeof scratch);
    std::strcpy(scratch.name, "Second card");
    GUID card = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    scratch.directDrawGuidPointer = &card;
    scratch.directDrawGuid = card;
    const DWORD bits[5] = {8, 16, 24, 32, 16};
    for (DWORD b : bits) {
        DDSURFACEDESC2 mode = Mode(640, 480, b);
        CollectDisplayMode(&mode, &scratch);
    }
    DDSURFACEDESC2 noWidth = Mode(0, 480, 32);
    CollectDisplayMode(&noWidth, &scratch);
    ASSERT_EQ(scratch.modeCount, 6u);

    D3DDEVICEDESC7 hardware = {}, software = {};
    hardware.dwDevCaps = D3DDEVCAPS_HWRASTERIZATION | 0x10;
    hardware.deviceGUID = {9, 9, 9, {9, 9, 9, 9, 9, 9, 9, 9}};
    CardCount = 0;
    CollectRenderDevice(nullptr, const_cast<char*>("RGB"), &software, &scratch);
    EXPECT_EQ(CardCount, 0u);  // software devices are not kept
    CollectRenderDevice(nullptr, const_cast<char*>("HAL"), &hardware, &scratch);
    CollectRenderDevice(nullptr, const_cast<char*>("T&L HAL"), &hardware, &scratch);
    ASSERT_EQ(CardCount, 2u);
    for (uint32_t i = 0; i < 2; ++i) {
        EXPECT_STREQ(CardTable[i].name, "Second card");  // a secondary card: its own name
        EXPECT_EQ(CardTable[i].directDrawGuidPointer, &CardTable[i].directDrawGuid);
        EXPECT_EQ(CardTable[i].modeCount, 3u);  // 16, 32, 16; no 8, 24 or widthless mode
    }

    CardRecord primary;  // the primary driver: listed under the Direct3D device's name
    std::memset(&primary, 0, sizeof primary);
    DDSURFACEDESC2 deep = Mode(640, 480, 24);
    CollectDisplayMode(&deep, &primary);
    CollectRenderDevice(nullptr, const_cast<char*>("A Direct3D device name longer than thirty-nine"), &hardware, &primary);
    ASSERT_EQ(CardCount, 3u);
    EXPECT_EQ(CardTable[2].directDrawGuidPointer, nullptr);
    EXPECT_EQ(std::strlen(CardTable[2].name), 39u);
    EXPECT_EQ(CardTable[2].modeCount, 0u);  // only a 24-bit mode

    for (int i = 0; i < 30; ++i)  // the table holds 20
        CollectRenderDevice(nullptr, const_cast<char*>("HAL"), &hardware, &scratch);
    EXPECT_EQ(CardCount, MaxCards);
    for (int i = 0; i < 250; ++i)  // and a card 200 modes
        CollectDisplayMode(&deep, &scratch);
    EXPECT_EQ(scratch.modeCount, MaxModes);
}

// Fills CardTable with two made-up cards.
void TwoCards()
{
    std::memset(CardTable, 0, sizeof CardTable);
    std::strcpy(CardTable[0].name, "First");
    const DDSURFACEDESC2 first[4] = {Mode(800, 600, 16), Mode(640, 480, 32), Mode(640, 480, 16),
                                     Mode(640, 480, 32)};
    for (const DDSURFACEDESC2& m : first)
        CardTable[0].modes[CardTable[0].modeCount++] = m;
    std::strcpy(CardTable[1].name, "Second");
    CardTable[1].modes[CardTable[1].modeCount++] = Mode(1024, 768, 16);
    CardTable[1].modes[CardTable[1].modeCount++] = Mode(800, 600, 32);
    CardCount = 2;
}

// The setup window once its mode list is filled.
HWND AwaitSetupWindow()
{
    for (int i = 0; i < 200; ++i) {
        HWND w = FindWindowA("DXsetup", "Direct device setup");
        HWND list = w ? GetDlgItem(w, ModeList) : nullptr;
        if (list && SendMessageA(list, LB_GETCOUNT, 0, 0) > 0)
            return w;
        Sleep(25);
    }
    return nullptr;
}

LRESULT Item(HWND window, int id, UINT message, WPARAM w = 0, LPARAM l = 0)
{
    return SendDlgItemMessageA(window, id, message, w, l);
}

void Command(HWND window, int id, int code)
{
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(id, code), LPARAM(GetDlgItem(window, id)));
}

// Posted, as a real click arrives: the setup loop tests SetupDone after each posted
// message it dispatches.
void Click(HWND window, int id)
{
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(GetDlgItem(window, id)));
}

TEST(SetupWindow, DefaultsCardChangeAndStart)
{
    TwoCards();
    struct Seen {
        LRESULT cards = -1, modes = -1, mode = -1, card = -1;
        UINT windowed = 9, stupid = 9, retrace = 9;
        LRESULT modesAfter = -1, modeAfter = -1;
        char modeText[32] = {};
    } seen;
    std::thread user([&] {
        HWND w = AwaitSetupWindow();
        if (!w)
            return;
        seen.cards = Item(w, CardList, CB_GETCOUNT);
        seen.card = Item(w, CardList, CB_GETCURSEL);
        seen.modes = Item(w, ModeList, LB_GETCOUNT);
        seen.mode = Item(w, ModeList, LB_GETCURSEL);
        Item(w, ModeList, LB_GETTEXT, 1, LPARAM(seen.modeText));
        seen.windowed = IsDlgButtonChecked(w, WindowedBox);
        seen.stupid = IsDlgButtonChecked(w, StupidZbuffertBox);
        seen.retrace = IsDlgButtonChecked(w, WaitRetraceBox);

        Item(w, CardList, CB_SETCURSEL, 1);
        Command(w, CardList, CBN_SELCHANGE);
        seen.modesAfter = Item(w, ModeList, LB_GETCOUNT);
        seen.modeAfter = Item(w, ModeList, LB_GETCURSEL);
        CheckDlgButton(w, WindowedBox, BST_CHECKED);
        CheckDlgButton(w, WaitRetraceBox, BST_UNCHECKED);
        Click(w, StartButton);
    });
    const bool started = RunSetupWindow(GetModuleHandleA(nullptr));
    user.join();

    EXPECT_EQ(seen.cards, 2);
    EXPECT_EQ(seen.card, 0);
    EXPECT_EQ(seen.modes, 4);
    EXPECT_EQ(seen.mode, 3);  // the last 640x480 32-bit mode
    EXPECT_STREQ(seen.modeText, "640x480 32bpp");
    EXPECT_EQ(seen.windowed, BST_UNCHECKED);
    EXPECT_EQ(seen.stupid, BST_UNCHECKED);
    EXPECT_EQ(seen.retrace, BST_CHECKED);
    EXPECT_EQ(seen.modesAfter, 2);  // the whole list replaced
    EXPECT_EQ(seen.modeAfter, 0);   // no 640x480 32-bit mode: the first

    EXPECT_TRUE(started);
    EXPECT_EQ(Windowed, 1);
    EXPECT_EQ(StupidZbuffert, 0);
    EXPECT_EQ(WaitRetrace, 0);
    EXPECT_EQ(SelectedCard, 1);
    EXPECT_EQ(SelectedMode, 0);
    EXPECT_EQ(ChosenMode.dwWidth, 1024u);
    EXPECT_EQ(ChosenMode.ddpfPixelFormat.dwRGBBitCount, 16u);
}

TEST(SetupWindow, StartNeedsAModeAndClosingEndsIt)
{
    TwoCards();
    SelectedCard = 7;
    bool stillOpen = false;
    std::thread user([&] {
        HWND w = AwaitSetupWindow();
        if (!w)
            return;
        Item(w, ModeList, LB_SETCURSEL, WPARAM(-1));  // no mode selected
        Click(w, StartButton);
        Sleep(200);
        stillOpen = IsWindow(w) && !SetupDone;
        PostMessageA(w, WM_CLOSE, 0, 0);
    });
    const bool started = RunSetupWindow(GetModuleHandleA(nullptr));
    user.join();
    EXPECT_TRUE(stillOpen);
    EXPECT_FALSE(started);
    EXPECT_EQ(SelectedCard, 7);  // nothing stored
}

TEST(MainWindow, InputIntoTheSharedVariables)
{
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "%";
    RegisterClassExA(&windowClass);
    HWND w = CreateWindowExA(0, "%", "Korvastil is mad", WS_POPUP, 0, 0, 100, 100, nullptr,
                             nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(w, nullptr);
    QuitFlag = 0;
    FireFlag = 0;
    Score = 1000;

    SendMessageA(w, WM_MOUSEMOVE, 0, MAKELPARAM(33, 44));
    EXPECT_EQ(MouseX, 33);
    EXPECT_EQ(MouseY, 44);
    EXPECT_EQ(SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 60)), 0);
    EXPECT_EQ(MouseX, 50);
    EXPECT_EQ(MouseY, 60);
    EXPECT_EQ(FireFlag, 1);
    EXPECT_EQ(Score, 900);
    SendMessageA(w, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(70, 80));  // held: still firing
    EXPECT_EQ(MouseX, 70);
    EXPECT_EQ(FireFlag, 1);
    SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 2));
    EXPECT_EQ(Score, 800);  // every press costs 100
    EXPECT_EQ(SendMessageA(w, WM_LBUTTONUP, 0, MAKELPARAM(1, 2)), 0);
    EXPECT_EQ(FireFlag, 0);
    EXPECT_EQ(MouseX, 1);

    EXPECT_EQ(SendMessageA(w, WM_KEYDOWN, 'A', 0), 0);  // swallowed
    EXPECT_EQ(SendMessageA(w, WM_KEYDOWN, VK_SPACE, 0), 0);
    EXPECT_EQ(QuitFlag, 0);
    EXPECT_EQ(SendMessageA(w, WM_KEYDOWN, VK_ESCAPE, 0), 0);
    EXPECT_EQ(QuitFlag, 1);
    QuitFlag = 0;
    DestroyWindow(w);  // closing the window quits too
    EXPECT_EQ(QuitFlag, 1);
    QuitFlag = 0;
}

}  // namespace
