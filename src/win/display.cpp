// The chosen card's display: full screen with a flip chain, or a window with an
// off-screen back buffer and a clipper; a z-buffer; the Direct3D device.
#include <cstring>

#include "win/display.h"
#include "win/setup.h"

IDirectDraw7* DirectDraw = nullptr;
IDirect3D7* Direct3D = nullptr;
IDirectDrawSurface7* PrimarySurface = nullptr;
IDirectDrawSurface7* BackBuffer = nullptr;
DDSURFACEDESC2 BackBufferDesc;
IDirectDrawSurface7* ZBuffer = nullptr;
IDirect3DDevice7* RenderDevice = nullptr;
HWND MainWindow = nullptr;
RECT PrimaryBounds = {0, 0, 0, 0};

static DDSURFACEDESC2 NewSurfaceDesc()
{
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    return desc;
}

HRESULT CALLBACK ChooseZBufferFormat(DDPIXELFORMAT* offered, void* context)
{
    DDPIXELFORMAT* chosen = static_cast<DDPIXELFORMAT*>(context);
    if (offered->dwFlags != DDPF_ZBUFFER)
        return D3DENUMRET_OK;  // stencil formats are skipped
    *chosen = *offered;
    if (StupidZbuffert)
        return D3DENUMRET_CANCEL;  // the first pure z format
    if (offered->dwZBufferBitDepth == BackBufferDesc.ddpfPixelFormat.dwRGBBitCount)
        return D3DENUMRET_CANCEL;
    return D3DENUMRET_OK;
}

void CreateDisplayAndDevice()
{
    const CardRecord& card = CardTable[SelectedCard];
    if (FAILED(DirectDrawCreateEx(card.directDrawGuidPointer, reinterpret_cast<void**>(&DirectDraw),
                                  IID_IDirectDraw7, nullptr)))
        FatalError("The display device could not be opened (DirectDraw).");

    if (Windowed) {
        DirectDraw->SetCooperativeLevel(MainWindow, DDSCL_NORMAL);
    } else {
        DirectDraw->SetCooperativeLevel(MainWindow, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN);
        if (FAILED(DirectDraw->SetDisplayMode(ScreenWidth, ScreenHeight,
                                              ChosenMode.ddpfPixelFormat.dwRGBBitCount, 0, 0)))
            FatalError("The chosen display mode could not be set.");
    }

    DDSURFACEDESC2 primary = NewSurfaceDesc();
    if (Windowed) {
        primary.dwFlags = DDSD_CAPS;
        primary.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    } else {
        primary.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
        primary.dwBackBufferCount = 1;
        primary.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE;
    }
    if (FAILED(DirectDraw->CreateSurface(&primary, &PrimarySurface, nullptr)))
        FatalError("The screen surface could not be created.");
    DDSURFACEDESC2 shown = NewSurfaceDesc();
    PrimarySurface->GetSurfaceDesc(&shown);
    PrimaryBounds = {0, 0, LONG(shown.dwWidth), LONG(shown.dwHeight)};

    if (Windowed) {
        RECT client;
        GetClientRect(MainWindow, &client);
        ClientToScreen(MainWindow, reinterpret_cast<POINT*>(&client.left));
        ClientToScreen(MainWindow, reinterpret_cast<POINT*>(&client.right));
        DDSURFACEDESC2 back = NewSurfaceDesc();
        back.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
        back.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE;
        back.dwWidth = DWORD(client.right - client.left);
        back.dwHeight = DWORD(client.bottom - client.top);
        if (FAILED(DirectDraw->CreateSurface(&back, &BackBuffer, nullptr)))
            FatalError("The back buffer could not be created.");
        IDirectDrawClipper* clipper = nullptr;
        if (SUCCEEDED(DirectDraw->CreateClipper(0, &clipper, nullptr))) {
            clipper->SetHWnd(0, MainWindow);
            PrimarySurface->SetClipper(clipper);
            clipper->Release();
        }
        DDSURFACEDESC2 desktop = NewSurfaceDesc();
        DirectDraw->GetDisplayMode(&desktop);
        if (desktop.ddpfPixelFormat.dwRGBBitCount <= 8)
            FatalError("Korvastil needs a desktop of more than 256 colours to run in a window.");
        ScreenWidth = uint32_t(client.right - client.left);
        ScreenHeight = uint32_t(client.bottom - client.top);
    } else {
        DDSCAPS2 caps = {};
        caps.dwCaps = DDSCAPS_3DDEVICE;
        if (FAILED(PrimarySurface->GetAttachedSurface(&caps, &BackBuffer)))
            FatalError("The back buffer could not be found.");
    }

    BackBufferDesc = NewSurfaceDesc();
    BackBuffer->GetSurfaceDesc(&BackBufferDesc);
    if (FAILED(DirectDraw->QueryInterface(IID_IDirect3D7, reinterpret_cast<void**>(&Direct3D))))
        FatalError("Direct3D 7 is not available.");

    DDPIXELFORMAT zFormat;
    std::memset(&zFormat, 0, sizeof zFormat);
    Direct3D->EnumZBufferFormats(*card.deviceGuidPointer, ChooseZBufferFormat, &zFormat);
    DDSURFACEDESC2 z = NewSurfaceDesc();
    z.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
    z.dwWidth = BackBufferDesc.dwWidth;
    z.dwHeight = BackBufferDesc.dwHeight;
    z.ddsCaps.dwCaps = DDSCAPS_ZBUFFER | DDSCAPS_VIDEOMEMORY;
    z.ddpfPixelFormat = zFormat;
    if (SUCCEEDED(DirectDraw->CreateSurface(&z, &ZBuffer, nullptr)))
        BackBuffer->AddAttachedSurface(ZBuffer);

    if (FAILED(Direct3D->CreateDevice(*card.deviceGuidPointer, BackBuffer, &RenderDevice)))
        FatalError("The Direct3D device could not be created.");
}
