// Builds of the game that leave one part of the game thread's frame out, for the frame-time
// breakdown: linked with --wrap for the four functions below, each variant defines one of
// WITHOUT_TEXT, WITHOUT_UNCLE, WITHOUT_TARGETS, WITHOUT_REFILL, WITHOUT_EVERYTHING (all four: what
// remains is the clear, the scene brackets, the present and the game's logic) or WITHOUT_NOTHING.
// Only the game thread's calls are left out; loading and the intro screens run unchanged.
#include <windows.h>

#include "content/scene.h"
#include "render/display.h"

extern "C" {
void __real__Z20DrawTextOnBackBufferPKciimmP19IDirectDrawSurface7(const char*, int32_t, int32_t,
                                                                    COLORREF, COLORREF,
                                                                    IDirectDrawSurface7*);
void __real__Z9DrawUncledfff(double, float, float, float);
void __real__Z9DrawSceneP5Scene(Scene*);
void __real__Z20FillMeshVertexBufferP22IDirect3DVertexBuffer7PKvm(IDirect3DVertexBuffer7*,
                                                                   const void*, DWORD);
}

// The main thread makes the first of these calls (the "Loading" line).
static bool OnGameThread()
{
    static DWORD mainThread = 0;
    if (mainThread == 0)
        mainThread = GetCurrentThreadId();
    return GetCurrentThreadId() != mainThread;
}

template <typename Call>
static void Unless(bool leaveOut, Call call)
{
    if (!(leaveOut && OnGameThread()))
        call();
}

#if defined(WITHOUT_EVERYTHING)
#define WITHOUT_TEXT
#define WITHOUT_UNCLE
#define WITHOUT_TARGETS
#define WITHOUT_REFILL
#endif

#if defined(WITHOUT_TEXT)
static const bool WithoutText = true;
#else
static const bool WithoutText = false;
#endif
#if defined(WITHOUT_UNCLE)
static const bool WithoutUncle = true;
#else
static const bool WithoutUncle = false;
#endif
#if defined(WITHOUT_TARGETS)
static const bool WithoutTargets = true;
#else
static const bool WithoutTargets = false;
#endif
#if defined(WITHOUT_REFILL)
static const bool WithoutRefill = true;
#else
static const bool WithoutRefill = false;
#endif

extern "C" {
void __wrap__Z20DrawTextOnBackBufferPKciimmP19IDirectDrawSurface7(const char* text, int32_t x,
                                                                    int32_t y, COLORREF colour,
                                                                    COLORREF background,
                                                                    IDirectDrawSurface7* surface)
{
    Unless(WithoutText, [&] {
        __real__Z20DrawTextOnBackBufferPKciimmP19IDirectDrawSurface7(text, x, y, colour, background,
                                                                       surface);
    });
}

void __wrap__Z9DrawUncledfff(double phi, float px, float py, float pz)
{
    Unless(WithoutUncle, [&] { __real__Z9DrawUncledfff(phi, px, py, pz); });
}

void __wrap__Z9DrawSceneP5Scene(Scene* scene)
{
    Unless(WithoutTargets, [&] { __real__Z9DrawSceneP5Scene(scene); });
}

void __wrap__Z20FillMeshVertexBufferP22IDirect3DVertexBuffer7PKvm(IDirect3DVertexBuffer7* buffer,
                                                                   const void* vertices, DWORD count)
{
    Unless(WithoutRefill, [&] {
        __real__Z20FillMeshVertexBufferP22IDirect3DVertexBuffer7PKvm(buffer, vertices, count);
    });
}
}
