#pragma once
// The display, the Direct3D device and what every drawing step uses around it:
// render states, vertex buffers, presentation and GDI text on the back buffer.
#include <windows.h>
#include <ddraw.h>
#include <d3d.h>

#include <cstdint>

#include "render/matrix.h"

// --- Created by CreateDisplayAndDevice, released by Shutdown ---
extern IDirectDraw7* DirectDraw;
extern IDirect3D7* Direct3D;
extern IDirectDrawSurface7* PrimarySurface;
extern IDirectDrawSurface7* BackBuffer;
extern DDSURFACEDESC2 BackBufferDesc;
extern IDirectDrawSurface7* ZBuffer;
extern IDirect3DDevice7* RenderDevice;

// The frame size in pixels: the chosen mode's, or the client size in a window.
extern uint32_t ScreenWidth;
extern uint32_t ScreenHeight;
extern HWND MainWindow;
// The primary surface's size: the part of a window's client area that can be shown.
extern RECT PrimaryBounds;

// Ends the program with one message box and exit code 1: for the start-up
// conditions under which it cannot run (a failure must not look like success).
[[noreturn]] void FatalError(const char* message);

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
IDirect3DVertexBuffer7* NewMeshVertexBuffer(DWORD count);
void FillVertexBuffer(IDirect3DVertexBuffer7* buffer, const void* vertices, DWORD count, DWORD stride);
void FillMeshVertexBuffer(IDirect3DVertexBuffer7* buffer, const void* vertices, DWORD count);
void PresentFrame();
// The fixed projection: _11 2, _22 2W/H, _33 1, _34 1, _43 -1, the rest 0.
void ProjectionMatrix(Matrix4& m, uint32_t width, uint32_t height);

// --- Text ---
extern HFONT TextFont;
void CreateTextFont(int32_t height);
void DrawTextLine(const char* text, int32_t x, int32_t y, COLORREF colour, COLORREF background, HDC dc);
void DrawTextOnBackBuffer(const char* text, int32_t x, int32_t y, COLORREF colour,
                          COLORREF background, IDirectDrawSurface7* surface);
// printf-style formatting into out (always terminated, cut to size - 1 characters).
void FormatText(char* out, size_t size, const char* format, ...)
    __attribute__((format(ms_printf, 3, 4)));
