#include "win/texture_upload.h"

#include <cstring>

#include "content/texture_image.h"
#include "win/setup.h"

IDirectDrawSurface7* TextureSurfaces[1] = {nullptr};

IDirectDrawSurface7* CreateTextureSurface(DWORD width, DWORD height, bool mipmapped, bool managed)
{
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
    desc.ddsCaps.dwCaps = DDSCAPS_TEXTURE;
    if (mipmapped) {
        desc.dwFlags |= DDSD_MIPMAPCOUNT | DDSD_TEXTURESTAGE;
        desc.dwMipMapCount = 8;
        desc.ddsCaps.dwCaps |= DDSCAPS_MIPMAP | DDSCAPS_COMPLEX;
    }
    if (managed)
        desc.ddsCaps.dwCaps2 = DDSCAPS2_TEXTUREMANAGE;
    desc.dwWidth = width;
    desc.dwHeight = height;
    desc.ddpfPixelFormat = ChosenMode.ddpfPixelFormat;
    IDirectDrawSurface7* surface = nullptr;
    if (FAILED(DirectDraw->CreateSurface(&desc, &surface, nullptr)))
        return nullptr;
    return surface;
}

// A system-memory surface of the level's size and format, for levels that cannot be
// locked directly.
static IDirectDrawSurface7* CreateStagingSurface(const DDSURFACEDESC2& level)
{
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
    desc.dwWidth = level.dwWidth;
    desc.dwHeight = level.dwHeight;
    desc.ddpfPixelFormat = ChosenMode.ddpfPixelFormat;
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    IDirectDrawSurface7* surface = nullptr;
    if (FAILED(DirectDraw->CreateSurface(&desc, &surface, nullptr)))
        return nullptr;
    return surface;
}

void UploadTextureLevel(IDirectDrawSurface7* level, const uint32_t* image)
{
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    level->GetSurfaceDesc(&desc);
    const DWORD bits = desc.ddpfPixelFormat.dwRGBBitCount;
    if (bits != 32 && bits != 16)
        return;

    IDirectDrawSurface7* target = level;
    IDirectDrawSurface7* staging = nullptr;
    DDSURFACEDESC2 locked;
    std::memset(&locked, 0, sizeof locked);
    locked.dwSize = sizeof locked;
    if (FAILED(level->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr))) {
        staging = CreateStagingSurface(desc);
        if (!staging || FAILED(staging->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr))) {
            if (staging)
                staging->Release();
            return;
        }
        target = staging;
    }

    uint8_t* row = static_cast<uint8_t*>(locked.lpSurface);
    for (DWORD y = 0; y < desc.dwHeight; ++y, row += locked.lPitch, image += desc.dwWidth) {
        if (bits == 32) {
            std::memcpy(row, image, desc.dwWidth * 4);
        } else {
            uint16_t* out = reinterpret_cast<uint16_t*>(row);
            for (DWORD x = 0; x < desc.dwWidth; ++x)
                out[x] = PackRgb565(image[x]);
        }
    }
    target->Unlock(nullptr);

    if (staging) {
        DDBLTFX effects;
        std::memset(&effects, 0, sizeof effects);
        effects.dwSize = sizeof effects;
        level->Blt(nullptr, staging, nullptr, DDBLT_WAIT, &effects);
        staging->Release();
    }
}

// The chain's surfaces are reached one from the next; each level is uploaded before the
// reference to the one above it is given back.
struct MipChain {
    IDirectDrawSurface7* top;
    IDirectDrawSurface7* level;  // the last level uploaded
};

static bool UploadMipLevel(int32_t level, int32_t, const uint32_t* image, void* context)
{
    MipChain& chain = *static_cast<MipChain*>(context);
    IDirectDrawSurface7* surface = chain.top;
    if (level > 0) {
        DDSCAPS2 caps = {};
        caps.dwCaps = DDSCAPS_TEXTURE | DDSCAPS_MIPMAP;
        surface = nullptr;
        if (FAILED(chain.level->GetAttachedSurface(&caps, &surface)) || !surface)
            return false;
    }
    UploadTextureLevel(surface, image);
    if (chain.level != chain.top)
        chain.level->Release();  // GetAttachedSurface added a reference
    chain.level = surface;
    return true;
}

void UploadTextures()
{
    TextureSurfaces[0] = CreateTextureSurface(256, 256, true, true);
    if (!TextureSurfaces[0])
        return;  // no texture: drawing binds none
    MipChain chain = {TextureSurfaces[0], TextureSurfaces[0]};
    ForEachMipLevel(UploadMipLevel, &chain);
    if (chain.level != chain.top)
        chain.level->Release();
}
