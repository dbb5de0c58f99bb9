// The page's allocator (see heap.cpp), over memory that `grow` adds as sbrk does.
#pragma once
#include <cstddef>
#include <cstdint>

// A block of at least `bytes`, 16-byte aligned, or null when `grow` cannot add enough.
void* HeapAllocate(size_t bytes, void* (*grow)(intptr_t));
void HeapFree(void* data);
// Forgets every block (for tests, which give each heap fresh memory).
void HeapReset();
