// The frame, the vertex buffers, the texture and the text on the web edge: thin calls
// into the page's WebGL device (device_web.js).
#include <emscripten.h>

#include <cstdarg>
#include <cstdlib>

#include "app/platform.h"
#include "app/shared_state.h"
#include "app/web.h"
#include "content/mesh.h"
#include "content/texture_image.h"
#include "render/matrix.h"

extern "C" {
int korva_device_open(uint32_t width, uint32_t height, int stupidZbuffert);
void korva_projection(const float* matrix);
void korva_clear(uint32_t colour, int depth);
void korva_present(int retrace);
void korva_texture_level(int32_t level, int32_t size, const uint8_t* rgba);
int32_t korva_buffer_new(uint32_t count);
void korva_buffer_fill(int32_t id, const MeshVertex* vertices, uint32_t count);
void korva_font(int32_t height);
void korva_text(const char* text, int32_t x, int32_t y, uint32_t colour);
}

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

// Buffer ids start at 1: the null pointer stays "no buffer".
VertexBuffer* NewMeshVertexBuffer(uint32_t count)
{
    return reinterpret_cast<VertexBuffer*>(intptr_t(korva_buffer_new(count)));
}

void FillMeshVertexBuffer(VertexBuffer* buffer, const MeshVertex* vertices, uint32_t count)
{
    if (buffer)
        korva_buffer_fill(int32_t(reinterpret_cast<intptr_t>(buffer)), vertices, count);
}

// The upload slot and its halvings, 256 down to 2 pixels: 8 levels, as on Windows.
void UploadTextures()
{
    uint32_t* image = WorkingImageFromUploadSlot();
    static uint8_t rgba[256 * 256 * 4];
    for (int32_t level = 0, size = 256; image && level < 8; ++level, size /= 2) {
        for (int32_t i = 0; i < size * size; ++i) {
            rgba[4 * i] = uint8_t(image[i] >> 16);
            rgba[4 * i + 1] = uint8_t(image[i] >> 8);
            rgba[4 * i + 2] = uint8_t(image[i]);
            rgba[4 * i + 3] = 255;
        }
        korva_texture_level(level, size, rgba);
        uint32_t* half = level < 7 ? HalveImage(image, size, size) : nullptr;
        FreeImage(image);
        image = half;
    }
}

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
