#include "allocation_counter.h"

#include <windows.h>

#include <atomic>
#include <cstddef>

// The import slots through which every call of this executable reaches msvcrt.
extern "C" {
extern void* (*__imp_malloc)(size_t);
extern void* (*__imp_calloc)(size_t, size_t);
extern void* (*__imp_realloc)(void*, size_t);
}

namespace {

std::atomic<DWORD> CountedThread{0};
std::atomic<int> Allocations{0};
void* (*RealMalloc)(size_t);
void* (*RealCalloc)(size_t, size_t);
void* (*RealRealloc)(void*, size_t);

void Count()
{
    if (CountedThread.load() == GetCurrentThreadId())
        ++Allocations;
}

void* CountingMalloc(size_t size)
{
    Count();
    return RealMalloc(size);
}

void* CountingCalloc(size_t count, size_t size)
{
    Count();
    return RealCalloc(count, size);
}

void* CountingRealloc(void* block, size_t size)
{
    Count();
    return RealRealloc(block, size);
}

template <typename Function>
void SetSlot(Function* slot, Function value)
{
    DWORD old = 0;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old);
    *slot = value;
    VirtualProtect(slot, sizeof *slot, old, &old);
}

}  // namespace

void StartCountingAllocations()
{
    Allocations = 0;
    CountedThread = GetCurrentThreadId();
    RealMalloc = __imp_malloc;
    RealCalloc = __imp_calloc;
    RealRealloc = __imp_realloc;
    SetSlot(&__imp_malloc, CountingMalloc);
    SetSlot(&__imp_calloc, CountingCalloc);
    SetSlot(&__imp_realloc, CountingRealloc);
}

int StopCountingAllocations()
{
    SetSlot(&__imp_malloc, RealMalloc);
    SetSlot(&__imp_calloc, RealCalloc);
    SetSlot(&__imp_realloc, RealRealloc);
    CountedThread = 0;
    return Allocations.load();
}
