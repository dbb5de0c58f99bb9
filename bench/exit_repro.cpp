// How a program that drew with Direct3D 7 ends under Wine: draws some frames (triangles, GDI
// text on the back buffer, a Blt to the window), releases the device, Direct3D and DirectDraw
// as the game's shutdown does, then ends in the way its argument names:
//   exit             ExitProcess(0)
//   terminate        TerminateProcess(GetCurrentProcess(), 0)
//   ...-settled      after a lock of the back buffer (the device has done all queued work)
// bench/exit_repro.sh runs it many times under load and counts how each way ended.
#include <windows.h>
#include <ddraw.h>
#include <d3d.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    const char* way = argc > 1 ? argv[1] : "exit";
    const int frames = argc > 2 ? std::atoi(argv[2]) : 30;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "exit_repro";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowA("exit_repro", "exit_repro", WS_POPUP | WS_VISIBLE, 0, 0, 320, 240,
                                nullptr, nullptr, windowClass.hInstance, nullptr);

    IDirectDraw7* directDraw = nullptr;
    if (FAILED(DirectDrawCreateEx(nullptr, reinterpret_cast<void**>(&directDraw), IID_IDirectDraw7, nullptr)))
        return 2;
    directDraw->SetCooperativeLevel(window, DDSCL_NORMAL);
    DDSURFACEDESC2 desc = {};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    IDirectDrawSurface7 *primary = nullptr, *back = nullptr;
    if (FAILED(directDraw->CreateSurface(&desc, &primary, nullptr)))
        return 3;
    desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE;
    desc.dwWidth = 320;
    desc.dwHeight = 240;
    if (FAILED(directDraw->CreateSurface(&desc, &back, nullptr)))
        return 4;
    IDirect3D7* direct3D = nullptr;
    IDirect3DDevice7* device = nullptr;
    if (FAILED(directDraw->QueryInterface(IID_IDirect3D7, reinterpret_cast<void**>(&direct3D))) ||
        FAILED(direct3D->CreateDevice(IID_IDirect3DHALDevice, back, &device)))
        return 5;

    struct Vertex { float x, y, z, rhw; DWORD colour; };
    for (int i = 0; i < frames; ++i) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET, (i & 1) ? 0xFFFFFF : 0x000000, 1.0f, 0);
        device->BeginScene();
        Vertex triangle[3] = {{10, 10, 0.5f, 1, 0xFF0000}, {300, 50, 0.5f, 1, 0x00FF00},
                              {150, 230, 0.5f, 1, 0x0000FF}};
        device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_XYZRHW | D3DFVF_DIFFUSE, triangle, 3, 0);
        device->EndScene();
        HDC dc;
        if (SUCCEEDED(back->GetDC(&dc))) {
            TextOutA(dc, 20, 100, "exit_repro", 10);
            back->ReleaseDC(dc);
        }
        RECT all = {0, 0, 320, 240};
        primary->Blt(&all, back, nullptr, DDBLT_WAIT, nullptr);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
    }
    device->Release();
    direct3D->Release();
    directDraw->Release();

    if (std::strstr(way, "settled")) {
        DDSURFACEDESC2 locked = {};
        locked.dwSize = sizeof locked;
        if (FAILED(back->Lock(nullptr, &locked, DDLOCK_WAIT | DDLOCK_READONLY, nullptr)))
            return 6;
        back->Unlock(nullptr);
    }
    if (std::strncmp(way, "terminate", 9) == 0)
        TerminateProcess(GetCurrentProcess(), 0);
    ExitProcess(0);
}
