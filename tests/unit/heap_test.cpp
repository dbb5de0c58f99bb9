// The page's allocator over a fixed arena, grown as sbrk grows the page's memory.
#include <gtest/gtest.h>

#include <cstring>

#include "web/heap.h"

alignas(16) static unsigned char Arena[8192 + 8];
static size_t Used;

// Like sbrk: the old break, or -1 when the arena has no room. Starts 8 bytes off alignment.
static void* Grow(intptr_t bytes)
{
    if (Used + size_t(bytes) > sizeof Arena - 8)
        return reinterpret_cast<void*>(-1);
    Used += size_t(bytes);
    return Arena + 8 + Used - size_t(bytes);
}

TEST(Heap, BlocksAlignedApartReusedJoinedAndRefused)
{
    HeapReset();
    Used = 0;
    unsigned char* a = static_cast<unsigned char*>(HeapAllocate(100, Grow));
    unsigned char* b = static_cast<unsigned char*>(HeapAllocate(1, Grow));
    unsigned char* c = static_cast<unsigned char*>(HeapAllocate(300, Grow));
    ASSERT_TRUE(a && b && c);
    for (void* p : {a, b, c})
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
    memset(a, 0xAA, 100), memset(b, 0xBB, 1), memset(c, 0xCC, 300);
    EXPECT_TRUE(a + 100 <= b && b + 1 <= c);  // apart, in order

    // A freed block is taken again, without growing; two freed neighbours make one.
    const size_t grown = Used;
    HeapFree(b);
    EXPECT_EQ(HeapAllocate(1, Grow), b);
    HeapFree(a), HeapFree(b);
    unsigned char* joined = static_cast<unsigned char*>(HeapAllocate(120, Grow));
    EXPECT_EQ(joined, a);
    EXPECT_EQ(Used, grown);
    EXPECT_EQ(c[0], 0xCC);
    EXPECT_EQ(c[299], 0xCC);

    // What the arena cannot hold is refused and leaves the rest usable; so is a size that
    // would wrap around.
    EXPECT_EQ(HeapAllocate(8000, Grow), nullptr);
    EXPECT_EQ(HeapAllocate(SIZE_MAX - 8, Grow), nullptr);
    unsigned char* d = static_cast<unsigned char*>(HeapAllocate(5000, Grow));
    ASSERT_NE(d, nullptr);
    EXPECT_GE(d, c + 300);
    HeapFree(nullptr);
}
