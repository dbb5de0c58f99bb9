#pragma once
// The generated texture as a managed 256x256 DirectDraw texture with 8 mip levels,
// in the pixel format of the chosen display mode.
#include "render/display_win.h"

extern IDirectDrawSurface7* TextureSurfaces[1];

void UploadTextures();
IDirectDrawSurface7* CreateTextureSurface(DWORD width, DWORD height, bool mipmapped, bool managed);
void UploadMipChain(IDirectDrawSurface7* surface, const uint32_t* image);
void UploadTextureLevel(IDirectDrawSurface7* level, const uint32_t* image);
