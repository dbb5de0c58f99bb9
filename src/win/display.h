#pragma once
// The display, the Direct3D device and what every drawing step uses around it:
// render states, vertex buffers, presentation and GDI text on the back buffer.
#include <windows.h>
#include <ddraw.h>
#include <d3d.h>

#include <cstdint>

#include "core/matrix.h"
#include "platform/platform.h"

// --- Created by CreateDisplayAndDevice, released by Shutdown ---
extern IDirectDraw7* DirectDraw;
extern IDirect3D7* Direct3D;
extern IDirectDrawSurface7* PrimarySurface;
extern IDirectDrawSurface7* BackBuffer;
extern DDSURFACEDESC2 BackBufferDesc;
extern IDirectDrawSurface7* ZBuffer;
extern IDirect3DDevice7* RenderDevice;

extern HWND MainWindow;
// The primary surface's size: the part of a window's client area that can be shown.
extern RECT PrimaryBounds;

// --- Display and device ---
void CreateDisplayAndDevice();
HRESULT CALLBACK ChooseZBufferFormat(DDPIXELFORMAT* offered, void* chosen);

// --- Frame and render states ---
void SetInitialRenderStates(IDirect3DDevice7* device);
void SetProjection();
void SetWhiteMaterial();
void SetAdditiveBlend();
void SetAlphaBlend(bool on);
void SetupSingleTexture();
void SetupDualTexture(DWORD stage1ColourOperation);
IDirect3DVertexBuffer7* NewVertexBuffer(DWORD count, DWORD format);
void FillVertexBuffer(IDirect3DVertexBuffer7* buffer, const void* vertices, DWORD count, DWORD stride);
// The game's matrices are laid out as the device's.
inline D3DMATRIX* AsD3D(const Matrix4& m)
{
    return reinterpret_cast<D3DMATRIX*>(const_cast<float*>(m.m));
}
// The platform's opaque vertex buffer is the device's.
inline IDirect3DVertexBuffer7* AsDevice(VertexBuffer* buffer)
{
    return reinterpret_cast<IDirect3DVertexBuffer7*>(buffer);
}

// --- Text ---
extern HFONT TextFont;
void DrawTextLine(const char* text, int32_t x, int32_t y, COLORREF colour, COLORREF background, HDC dc);
void DrawTextOnBackBuffer(const char* text, int32_t x, int32_t y, COLORREF colour,
                          COLORREF background, IDirectDrawSurface7* surface);
