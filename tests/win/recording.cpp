// The stand-ins fill C-style interface tables: each method they do not record accepts its
// call through one function, which the x86-64 convention (the caller removes the
// arguments) allows whatever the method's arguments. Text and allocations are caught in
// this executable's import slots, through which its code calls GDI and msvcrt.
#define CINTERFACE
#include "recording.h"

#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>

#include "core/clock.h"
#include "game/rules.h"
#include "game/shared_state.h"
#include "win/display.h"
#include "win/setup.h"

extern "C" {
extern BOOL(WINAPI* __imp_TextOutA)(HDC, int, int, LPCSTR, int);
extern void* (*__imp_malloc)(size_t);
extern void* (*__imp_calloc)(size_t, size_t);
}

namespace {

Recording* Current;
bool Quiet;  // while the recording allocates for itself
IDirect3DDevice7Vtbl DeviceTable;
IDirectDrawSurface7Vtbl SurfaceTable;
IDirectDraw7Vtbl DirectDrawTable;
IDirect3DDevice7 Device = {&DeviceTable};
IDirectDrawSurface7 Primary = {&SurfaceTable}, Back = {&SurfaceTable};
IDirectDraw7 Draw = {&DirectDrawTable};
HDC OpenContext;  // the back buffer's, from GetDC to ReleaseDC
D3DLIGHT7 Lights[2];  // as last set
std::string Last;
int Repeats;
uint32_t Milliseconds, PerPresent, ReadsSincePresent;
std::vector<std::function<void()>> Restore;
decltype(__imp_malloc) RealMalloc;
decltype(__imp_calloc) RealCalloc;

// A line like the one before only counts it: "... x2".
HRESULT Record(const char* format, ...) __attribute__((format(printf, 1, 2)));
HRESULT Record(const char* format, ...)
{
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    Quiet = true;
    if (line == Last && !Current->log.empty())
        Current->log.back() = Last + " x" + std::to_string(++Repeats);
    else
        Current->log.push_back(Last = line), Repeats = 1;
    Quiet = false;
    return DD_OK;
}

// Sets a global or an import slot (on a page made writable) until the recording ends.
template <typename T>
void Replace(T& global, T value)
{
    DWORD access = 0;
    VirtualProtect(&global, sizeof global, PAGE_READWRITE, &access);
    Restore.push_back([&global, old = global] { global = old; });
    global = value;
}

void* Counted(void* block) { return Current->allocations += !Quiet, block; }
HRESULT WINAPI Accept() { return DD_OK; }

template <typename Table>
void AcceptAll(Table& table)
{
    auto* slot = reinterpret_cast<void (**)()>(&table);
    std::fill(slot, slot + sizeof table / sizeof *slot, reinterpret_cast<void (*)()>(Accept));
}

// A loop that never presents is ended by a jump of the clock.
uint32_t TestClock() { return ++ReadsSincePresent % 100000 ? Milliseconds : Milliseconds += 10000000; }
HRESULT Presented()
{
    Milliseconds += PerPresent;
    ReadsSincePresent = 0;
    return DD_OK;
}

const char* Name(IDirectDrawSurface7* s) { return s == &Primary ? "primary" : s == &Back ? "back" : s ? "other" : "null"; }

BOOL WINAPI RecordText(HDC dc, int x, int y, LPCSTR text, int length)
{
    Quiet = true;
    std::string s(text, size_t(length));
    s = s == CreditsText ? "<credits>" : s == VerseText ? "<verse>" : s;
    Record("Text %d %d %06lx %s%s%s", x, y, GetTextColor(dc), s.c_str(),
           GetBkMode(dc) == TRANSPARENT ? "" : " (opaque)", dc == OpenContext ? "" : " (not the back buffer's)");
    return TRUE;
}

void FillTables()
{
    IDirect3DDevice7Vtbl& d = DeviceTable;
    AcceptAll(d);
    d.BeginScene = [](auto) { return Record("BeginScene"); };
    d.EndScene = [](auto) { return Record("EndScene"); };
    d.Clear = [](auto, DWORD n, auto, DWORD flags, D3DCOLOR c, D3DVALUE z, DWORD s) {
        return Record("Clear %lu %lu %08lx %g %lu", n, flags, c, z, s);
    };
    d.SetLight = [](auto, DWORD i, D3DLIGHT7* l) {  // a light set again as it is changes nothing
        if (std::memcmp(&Lights[i % 2], l, sizeof *l) == 0)
            return DD_OK;
        Lights[i % 2] = *l;
        return Record("SetLight %lu %d %g %g %g at %.3f %.3f %.3f", i, int(l->dltType), l->dcvDiffuse.r,
                      l->dcvDiffuse.g, l->dcvDiffuse.b, l->dvPosition.x, l->dvPosition.y, l->dvPosition.z);
    };
    d.DrawPrimitive = [](auto, D3DPRIMITIVETYPE type, DWORD fvf, auto, DWORD n, DWORD flags) {
        return Record("DrawPrimitive %d %lx %lu %lu", int(type), fvf, n, flags);
    };
    d.DrawPrimitiveVB = [](auto, D3DPRIMITIVETYPE type, auto, DWORD start, DWORD n, DWORD flags) {
        return Record("DrawPrimitiveVB %d %lu %lu %lu", int(type), start, n, flags);
    };
    IDirectDrawSurface7Vtbl& s = SurfaceTable;
    AcceptAll(s);
    s.Flip = [](IDirectDrawSurface7* self, IDirectDrawSurface7* to, DWORD flags) {
        Record("Flip of %s: %s %lu", Name(self), Name(to), flags);
        return Presented();
    };
    s.Blt = [](IDirectDrawSurface7* self, RECT* to, IDirectDrawSurface7* from, RECT* part, DWORD flags, auto) {
        Record("Blt to %s %ld %ld %ld %ld from %s %ld %ld %ld %ld: %lx", Name(self), to->left, to->top, to->right,
               to->bottom, Name(from), part->left, part->top, part->right, part->bottom, flags);
        return Presented();
    };
    s.GetDC = [](auto, HDC* dc) { return *dc = OpenContext = CreateCompatibleDC(nullptr), DD_OK; };  // GDI's defaults
    s.ReleaseDC = [](auto, HDC dc) { return DeleteDC(dc), OpenContext = nullptr, DD_OK; };
    AcceptAll(DirectDrawTable);
    DirectDrawTable.WaitForVerticalBlank = [](auto, DWORD flags, auto) { return Record("WaitForVerticalBlank %lu", flags); };
}

}  // namespace

Recording::Recording(uint32_t start, uint32_t perPresent)
{
    FillTables();
    Current = this;
    Milliseconds = start;
    PerPresent = perPresent;
    std::memset(Lights, 0, sizeof Lights);
    RestartClock();
    Replace(ClockMilliseconds, TestClock);
    Replace(RenderDevice, &Device);
    Replace(PrimarySurface, &Primary);
    Replace(BackBuffer, &Back);
    Replace(DirectDraw, &Draw);
    Replace(__imp_TextOutA, RecordText);
    RealMalloc = __imp_malloc;
    RealCalloc = __imp_calloc;
    Replace(__imp_malloc, +[](size_t n) { return Counted(RealMalloc(n)); });
    Replace(__imp_calloc, +[](size_t n, size_t size) { return Counted(RealCalloc(n, size)); });
    Replace(ScreenWidth, ScreenWidth);  // the rest only to be restored
    Replace(ScreenHeight, ScreenHeight);
    Replace(MainWindow, MainWindow);
}

Recording::~Recording()
{
    for (; !Restore.empty(); Restore.pop_back())
        Restore.back()();
    RestartClock();
    FireFlag = 0;
    QuitFlag = 0;
}

// On a captioned window, whose client area the display takes the size of.
void OpenDisplay()
{
    if (RenderDevice)
        return;
    CardCount = 0;
    DirectDrawEnumerateExA(EnumerateDirectDrawDevice, nullptr, DDENUM_ATTACHEDSECONDARYDEVICES);
    SelectedCard = 0;
    ChosenMode = CardTable[0].modes[0];
    Windowed = 1;
    MainWindow = CreateWindowExA(0, "STATIC", "Korvastil is mad", WS_POPUP | WS_CAPTION | WS_VISIBLE, 20, 30, 320, 240,
                                 nullptr, nullptr, nullptr, nullptr);
    CreateDisplayAndDevice();
}
