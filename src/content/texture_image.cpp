#include "content/texture_image.h"

#include <cstdlib>

uint32_t* WorkingImageFromUploadSlot()
{
    uint32_t* image = static_cast<uint32_t*>(std::malloc(TextureSize * TextureSize * 4));
    if (!image)
        return nullptr;
    const uint8_t* rgb = UploadSlot.pixels;
    for (int32_t i = 0; i < TextureSize * TextureSize; ++i, rgb += 3)
        image[i] = uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | rgb[2];
    return image;
}

uint32_t* HalveImage(const uint32_t* image, int32_t width, int32_t height)
{
    const int32_t w = width / 2, h = height / 2;
    uint32_t* out = static_cast<uint32_t*>(std::malloc(size_t(w > 0 ? w : 1) * size_t(h > 0 ? h : 1) * 4));
    if (!out)
        return nullptr;
    for (int32_t y = 0; y < h; ++y) {
        const uint32_t* top = image + size_t(2 * y) * size_t(width);
        const uint32_t* bottom = top + width;
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t p[4] = {top[2 * x], top[2 * x + 1], bottom[2 * x], bottom[2 * x + 1]};
            uint32_t pixel = 0;
            for (int32_t shift = 0; shift < 32; shift += 8) {
                const uint32_t sum = (p[0] >> shift & 255) + (p[1] >> shift & 255) +
                                     (p[2] >> shift & 255) + (p[3] >> shift & 255);
                pixel |= (sum >> 2) << shift;
            }
            out[size_t(y) * size_t(w) + size_t(x)] = pixel;
        }
    }
    return out;
}

void FreeImage(uint32_t* image)
{
    std::free(image);
}

void ForEachMipLevel(MipLevelSink take, void* context)
{
    uint32_t* image = WorkingImageFromUploadSlot();
    for (int32_t level = 0, size = TextureSize; image && level < MipLevelCount; ++level, size /= 2) {
        uint32_t* half = nullptr;
        if (take(level, size, image, context) && level + 1 < MipLevelCount)
            half = HalveImage(image, size, size);
        FreeImage(image);
        image = half;
    }
}
