#pragma once
#include <cstdint>

#include "content/texture_script.h"

// The working images of the texture upload: 32-bit pixels red << 16 | green << 8 | blue.

// The upload slot as a new 256x256 working image; null when memory runs out.
uint32_t* WorkingImageFromUploadSlot();
// A new image of w/2 x h/2: each byte the truncated mean of a 2x2 block.
uint32_t* HalveImage(const uint32_t* image, int32_t width, int32_t height);
void FreeImage(uint32_t* image);

// The upload slot's mip chain: level 0 is the 256x256 working image, each next level the
// halving of the one before, down to 2x2 (8 levels). Hands the levels to `take` in order;
// stops early when it returns false or memory runs out.
constexpr int32_t MipLevelCount = 8;
typedef bool (*MipLevelSink)(int32_t level, int32_t size, const uint32_t* image, void* context);
void ForEachMipLevel(MipLevelSink take, void* context);
// ((red >> 3) << 11) | ((green >> 2) << 5) | (blue >> 3)
inline uint16_t PackRgb565(uint32_t pixel)
{
    return uint16_t(((pixel >> 19) & 31) << 11 | ((pixel >> 10) & 63) << 5 | ((pixel >> 3) & 31));
}
