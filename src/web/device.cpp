// The frame, the vertex buffers, the texture and the text on the web edge: thin calls
// into the page's WebGL device (device.js).
#include <emscripten.h>

#include <cstdarg>
#include <cstdlib>

#include "content/mesh.h"
#include "content/texture_image.h"
#include "core/matrix.h"
#include "game/shared_state.h"
#include "platform/platform.h"
#include "web/web.h"

void OpenDevice()
{
    if (!korva_device_open(ScreenWidth, ScreenHeight, StupidZbuffert))
        FatalError("This browser cannot show WebGL 2, which the game draws with.");
    Matrix4 projection;
    ProjectionMatrix(projection, ScreenWidth, ScreenHeight);
    korva_projection(projection.m);
}

void ClearFrame(uint32_t colour, bool depth) { korva_clear(colour, depth); }
void BeginScene() {}
void EndScene() {}
void PresentFrame() { korva_present(WaitRetrace); }

VertexBuffer* NewMeshVertexBuffer(uint32_t count)
{
    return reinterpret_cast<VertexBuffer*>(intptr_t(korva_buffer_new(count)));
}

void OptimizeVertexBuffer(VertexBuffer*) {}

void FillMeshVertexBuffer(VertexBuffer* buffer, const MeshVertex* vertices, uint32_t count)
{
    if (buffer)
        korva_buffer_fill(BufferId(buffer), vertices, count);
}

// Each level of the mip chain as RGBA bytes.
static bool UploadMipLevel(int32_t level, int32_t size, const uint32_t* image, void*)
{
    static uint8_t rgba[256 * 256 * 4];
    for (int32_t i = 0; i < size * size; ++i) {
        rgba[4 * i] = uint8_t(image[i] >> 16);
        rgba[4 * i + 1] = uint8_t(image[i] >> 8);
        rgba[4 * i + 2] = uint8_t(image[i]);
        rgba[4 * i + 3] = 255;
    }
    korva_texture_level(level, size, rgba);
    return true;
}

void UploadTextures() { ForEachMipLevel(UploadMipLevel, nullptr); }

void CreateTextFont(int32_t height) { korva_font(height); }

void TextLine(const char* text, int32_t x, int32_t y, uint32_t colour) { korva_text(text, x, y, colour); }

// The game formats only whole numbers (%d) and %%: this is all of printf it needs, and
// leaving the library's out takes its float formatting with it (a fifth of the wasm).
// Anything else is copied as written; the result is cut at size - 1 and always ended.
void FormatText(char* out, size_t size, const char* format, ...)
{
    if (size == 0)
        return;
    va_list arguments;
    va_start(arguments, format);
    size_t n = 0;
    auto put = [&](char c) { if (n + 1 < size) out[n++] = c; };
    for (const char* f = format; *f; ++f) {
        if (f[0] == '%' && f[1] == '%') {
            put('%');
            ++f;
        } else if (f[0] == '%' && f[1] == 'd') {
            const int value = va_arg(arguments, int);
            uint32_t magnitude = value < 0 ? 0u - uint32_t(value) : uint32_t(value);
            char digits[10];
            int32_t count = 0;
            do {
                digits[count++] = char('0' + magnitude % 10);
                magnitude /= 10;
            } while (magnitude);
            if (value < 0)
                put('-');
            while (count)
                put(digits[--count]);
            ++f;
        } else {
            put(*f);
        }
    }
    out[n] = 0;
    va_end(arguments);
}

// Events arrive while the frame waits in PresentFrame; between the steps of loading
// there is nothing to wait for.
bool PumpMessages() { return QuitFlag == 0; }
