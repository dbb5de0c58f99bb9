// Builds of the game that leave parts of the game thread's frame out, for the frame-time
// breakdown: linked with --wrap for the four functions below; WITHOUT says which are left
// out (1 the text lines, 2 the uncle, 4 the targets' drawing, 8 the refills; 0 none, 15 all
// four: what then remains is the clear, the scene brackets, the present and the logic).
// Only the game thread's calls are left out; loading and the intro screens run unchanged.
#include <windows.h>

#include "content/scene.h"
#include "win/display.h"

extern "C" {
void __real__Z20DrawTextOnBackBufferPKciimmP19IDirectDrawSurface7(const char*, int32_t, int32_t,
                                                                    COLORREF, COLORREF,
                                                                    IDirectDrawSurface7*);
void __real__Z9DrawUncledfff(double, float, float, float);
void __real__Z9DrawSceneP5Scene(Scene*);
void __real__Z20FillMeshVertexBufferP12VertexBufferPK10MeshVertexj(VertexBuffer*,
                                                                   const MeshVertex*, uint32_t);
}

// The main thread makes the first of these calls (the "Loading" line), so the first
// caller of any of them is taken as the main thread.
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
    const bool gameThread = OnGameThread();
    if (!(leaveOut && gameThread))
        call();
}

// WITHOUT: a set of bits, one per part left out.
static const bool WithoutText = (WITHOUT & 1) != 0;
static const bool WithoutUncle = (WITHOUT & 2) != 0;
static const bool WithoutTargets = (WITHOUT & 4) != 0;
static const bool WithoutRefill = (WITHOUT & 8) != 0;

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

void __wrap__Z20FillMeshVertexBufferP12VertexBufferPK10MeshVertexj(VertexBuffer* buffer,
                                                                   const MeshVertex* vertices, uint32_t count)
{
    Unless(WithoutRefill, [&] {
        __real__Z20FillMeshVertexBufferP12VertexBufferPK10MeshVertexj(buffer, vertices, count);
    });
}
}
