#pragma once
// The generated texture as a managed 256x256 DirectDraw texture with 8 mip levels,
// in the pixel format of the chosen display mode.
#include "win/display.h"

extern IDirectDrawSurface7* TextureSurfaces[1];

IDirectDrawSurface7* CreateTextureSurface(DWORD width, DWORD height, bool mipmapped, bool managed);
void UploadTextureLevel(IDirectDrawSurface7* level, const uint32_t* image);
