#pragma once
// Device and mode enumeration, and the setup window in which the player picks them.
#include <windows.h>
#include <ddraw.h>
#include <d3d.h>

#include <cstdint>

constexpr uint32_t MaxCards = 20;
constexpr uint32_t MaxModes = 200;

struct CardRecord {
    char name[40];                // shown in the device list, at most 39 characters
    GUID* deviceGuidPointer;      // points at deviceGuid
    uint32_t hardware;            // dwDevCaps & D3DDEVCAPS_HWRASTERIZATION
    GUID* directDrawGuidPointer;  // points at directDrawGuid; null for the primary driver
    GUID deviceGuid;
    GUID directDrawGuid;
    DDSURFACEDESC2 modes[MaxModes];  // the kept 16- and 32-bit display modes
    uint32_t modeCount;
};

extern CardRecord CardTable[MaxCards];
extern uint32_t CardCount;

BOOL WINAPI EnumerateDirectDrawDevice(GUID* guid, LPSTR description, LPSTR name, LPVOID context,
                                      HMONITOR monitor);
HRESULT WINAPI CollectDisplayMode(DDSURFACEDESC2* mode, void* scratch);
HRESULT CALLBACK CollectRenderDevice(LPSTR description, LPSTR name, D3DDEVICEDESC7* device,
                                     void* scratch);

// --- Setup window ---
enum SetupControl : int32_t {
    StartButton = 1024,
    WindowedBox = 1025,
    StupidZbuffertBox = 1026,
    WaitRetraceBox = 1027,
    CardList = 2048,
    ModeList = 2049,
};

extern int32_t SelectedCard;
extern int32_t SelectedMode;
extern DDSURFACEDESC2 ChosenMode;
extern uint8_t SetupDone;

// Shows "Direct device setup" until Start is pressed (true), or until the window is
// closed (false: the player chose not to play).
bool RunSetupWindow(HINSTANCE instance);
LRESULT CALLBACK SetupWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void FillModeList(HWND window, const CardRecord& card);

// --- Main window ---
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
