// The page's allocator. The game asks for a few dozen blocks (the song, the meshes, the scene,
// the texture) and, each frame, the one Asyncify keeps a paused call's stack in, freed again
// at once; first fit over one list of blocks does all of that in a fraction of the code of a
// general allocator, whose size the page pays for in every download.
#include <cstdint>
#include <cstring>

#include "web/heap.h"

namespace {

// Each block: a 16-byte header holding the whole block's size, bit 0 set while it is in use,
// then its data, 16-byte aligned. The blocks follow each other from First to End.
const size_t HeaderSize = 16;
char* First = nullptr;
char* End = nullptr;

size_t& SizeOf(char* block) { return *reinterpret_cast<size_t*>(block); }

}  // namespace

void* HeapAllocate(size_t bytes, void* (*grow)(intptr_t))
{
    if (bytes > SIZE_MAX / 2)
        return nullptr;
    const size_t need = (bytes + HeaderSize + 15) & ~size_t(15);
    if (!First) {
        char* at = static_cast<char*>(grow(0));
        const size_t pad = size_t(-reinterpret_cast<uintptr_t>(at)) & 15;
        if (pad && grow(intptr_t(pad)) == reinterpret_cast<void*>(-1))
            return nullptr;
        First = End = at + pad;
    }
    for (char* block = First; block < End; block += SizeOf(block) & ~size_t(1)) {
        if (SizeOf(block) & 1)
            continue;
        // Free blocks that follow are joined to this one as they are met.
        for (char* next = block + SizeOf(block); next < End && !(SizeOf(next) & 1); next = block + SizeOf(block))
            SizeOf(block) += SizeOf(next);
        if (SizeOf(block) < need)
            continue;
        if (SizeOf(block) - need >= HeaderSize * 2) {
            SizeOf(block + need) = SizeOf(block) - need;
            SizeOf(block) = need;
        }
        SizeOf(block) |= 1;
        return block + HeaderSize;
    }
    if (need > size_t(INTPTR_MAX) || grow(intptr_t(need)) != End)
        return nullptr;
    char* block = End;
    End += need;
    SizeOf(block) = need | 1;
    return block + HeaderSize;
}

void HeapFree(void* data)
{
    if (data)
        SizeOf(static_cast<char*>(data) - HeaderSize) &= ~size_t(1);
}

void HeapReset()
{
    First = End = nullptr;
}

#ifdef __EMSCRIPTEN__
// The heap is the memory from the linker's heap base to the end, which does not grow.
extern "C" unsigned char __heap_base;
static uintptr_t Break = 0;

static void* Grow(intptr_t bytes)
{
    if (!Break)
        Break = reinterpret_cast<uintptr_t>(&__heap_base);
    const uintptr_t at = Break, end = uintptr_t(__builtin_wasm_memory_size(0)) * 65536;
    if (bytes < 0 || uintptr_t(bytes) > end - at)
        return reinterpret_cast<void*>(-1);
    Break += uintptr_t(bytes);
    return reinterpret_cast<void*>(at);
}

extern "C" {
void* malloc(size_t bytes) { return HeapAllocate(bytes, Grow); }
void free(void* data) { HeapFree(data); }
void* calloc(size_t count, size_t size)
{
    if (size && count > SIZE_MAX / size)
        return nullptr;
    void* data = HeapAllocate(count * size, Grow);
    if (data)
        memset(data, 0, count * size);
    return data;
}
}
#endif
