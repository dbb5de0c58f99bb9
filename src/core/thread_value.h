#pragma once
#include <cstdint>

// A few 32-bit values kept per thread, 0 in a thread that never stored one. The Windows
// build keeps them in TLS slots: the compiler's thread_local would bring in emulated TLS
// and a pthread library, a third of the executable.
enum ThreadValueId { RandomStateValue, VerseAValue, VerseBValue, ThreadValueCount };

uint32_t LoadThreadValue(ThreadValueId id);
void StoreThreadValue(ThreadValueId id, uint32_t value);
