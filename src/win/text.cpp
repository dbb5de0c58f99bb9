// All text is GDI text drawn onto the back buffer in the "Impact" face.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "win/display.h"

HFONT TextFont = nullptr;

void CreateTextFont(int32_t height)
{
    HFONT font = CreateFontA(height, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                             VARIABLE_PITCH | FF_DONTCARE, "Impact");
    if (TextFont)
        DeleteObject(TextFont);  // never selected anywhere once its line is drawn
    TextFont = font;
}

void DrawTextLine(const char* text, int32_t x, int32_t y, COLORREF colour, COLORREF background, HDC dc)
{
    SelectObject(dc, TextFont);
    SetTextColor(dc, colour);
    SetBkColor(dc, background);
    SetBkMode(dc, TRANSPARENT);
    TextOutA(dc, x, y, text, int(std::strlen(text)));
}

void DrawTextOnBackBuffer(const char* text, int32_t x, int32_t y, COLORREF colour,
                          COLORREF background, IDirectDrawSurface7* surface)
{
    HDC dc = nullptr;
    if (FAILED(surface->GetDC(&dc)) || !dc)
        return;  // no context this frame: the line is skipped
    DrawTextLine(text, x, y, colour, background, dc);
    surface->ReleaseDC(dc);
}

void TextLine(const char* text, int32_t x, int32_t y, uint32_t colour)
{
    DrawTextOnBackBuffer(text, x, y, colour, 0, BackBuffer);
}

// The system C library's formatter (msvcrt): the compiler's standard-conforming one would add
// about 20 KB to the executable for the few integers the game prints.
void FormatText(char* out, size_t size, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    _vsnprintf(out, size - 1, format, arguments);
    va_end(arguments);
    out[size - 1] = 0;
}
