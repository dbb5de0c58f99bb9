// Every hardware Direct3D device of every DirectDraw device, with its 16- and 32-bit
// display modes, into CardTable.
#include <cstring>

#include "win/setup.h"

CardRecord CardTable[MaxCards];
uint32_t CardCount = 0;

// The DirectDraw device being enumerated: its description, GUID and every mode.
static CardRecord Scratch;

BOOL WINAPI EnumerateDirectDrawDevice(GUID* guid, LPSTR description, LPSTR, LPVOID, HMONITOR)
{
    IDirectDraw7* directDraw = nullptr;
    IDirect3D7* direct3D = nullptr;
    if (FAILED(DirectDrawCreateEx(guid, reinterpret_cast<void**>(&directDraw), IID_IDirectDraw7,
                                  nullptr)))
        return TRUE;
    directDraw->QueryInterface(IID_IDirect3D7, reinterpret_cast<void**>(&direct3D));

    std::memset(&Scratch, 0, sizeof Scratch);
    std::strncpy(Scratch.name, description ? description : "", sizeof Scratch.name - 1);
    Scratch.directDrawGuidPointer = guid;
    if (guid)
        Scratch.directDrawGuid = *guid;

    directDraw->EnumDisplayModes(0, nullptr, &Scratch, CollectDisplayMode);
    if (direct3D) {
        direct3D->EnumDevices(CollectRenderDevice, &Scratch);
        direct3D->Release();
    }
    directDraw->Release();
    return TRUE;
}

HRESULT WINAPI CollectDisplayMode(DDSURFACEDESC2* mode, void* context)
{
    CardRecord* scratch = static_cast<CardRecord*>(context);
    if (scratch->modeCount < MaxModes)  // further modes are ignored
        scratch->modes[scratch->modeCount++] = *mode;
    return DDENUMRET_OK;
}

HRESULT CALLBACK CollectRenderDevice(LPSTR, LPSTR name, D3DDEVICEDESC7* device, void* context)
{
    const CardRecord* scratch = static_cast<const CardRecord*>(context);
    if (CardCount >= MaxCards)  // further devices are ignored
        return D3DENUMRET_OK;
    CardRecord& entry = CardTable[CardCount];
    entry.deviceGuid = device->deviceGUID;
    entry.deviceGuidPointer = &entry.deviceGuid;
    entry.hardware = device->dwDevCaps & D3DDEVCAPS_HWRASTERIZATION;
    entry.modeCount = 0;
    if (scratch->directDrawGuidPointer) {
        entry.directDrawGuid = scratch->directDrawGuid;
        entry.directDrawGuidPointer = &entry.directDrawGuid;
        std::memcpy(entry.name, scratch->name, sizeof entry.name);
    } else {
        entry.directDrawGuidPointer = nullptr;  // the primary display driver
        std::memset(entry.name, 0, sizeof entry.name);
        std::strncpy(entry.name, name ? name : "", sizeof entry.name - 1);
    }
    if (entry.hardware == 0)
        return D3DENUMRET_OK;  // software devices are not kept; the slot is reused

    for (uint32_t i = 0; i < scratch->modeCount; ++i) {
        const DDSURFACEDESC2& mode = scratch->modes[i];
        const DWORD bits = mode.ddpfPixelFormat.dwRGBBitCount;
        if ((bits == 32 || bits == 16) && mode.dwWidth != 0)
            entry.modes[entry.modeCount++] = mode;
    }
    ++CardCount;
    return D3DENUMRET_OK;
}
