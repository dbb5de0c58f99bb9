#include "core/thread_value.h"

#include <windows.h>

// Slot index + 1, 0 until first use. Allocated on first use by whichever thread comes first
// (the loser of a race frees its slot), so nothing depends on the start-up code running
// initialisers. Every slot reads 0 in a thread that has not stored to it.
static volatile LONG Slots[ThreadValueCount];

static DWORD Slot(ThreadValueId id)
{
    const LONG known = Slots[id];
    if (known != 0)
        return DWORD(known - 1);
    const DWORD fresh = TlsAlloc();
    if (fresh == TLS_OUT_OF_INDEXES)
        FatalAppExitA(0, "Out of thread-local storage.");
    const LONG previous = InterlockedCompareExchange(&Slots[id], LONG(fresh + 1), 0);
    if (previous == 0)
        return fresh;
    TlsFree(fresh);
    return DWORD(previous - 1);
}

uint32_t LoadThreadValue(ThreadValueId id)
{
    return uint32_t(reinterpret_cast<uintptr_t>(TlsGetValue(Slot(id))));
}

void StoreThreadValue(ThreadValueId id, uint32_t value)
{
    TlsSetValue(Slot(id), reinterpret_cast<void*>(uintptr_t(value)));
}
